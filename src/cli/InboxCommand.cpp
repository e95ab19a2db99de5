#include "cli/Command.h"

#include "inbox/Inbox.h"
#include "inbox/InboxWatcher.h"

#include <QCoreApplication>
#include <QDir>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int quitPipe[2] = {-1, -1};

void quitOnSignal(int)
{
    const char byte = 0;
    (void)!::write(quitPipe[1], &byte, 1);
}

// `inbox set DIR [--recipient …] [--method …] [--folder …]`, `inbox show`,
// `inbox watch [--settle SECONDS]`: the folder whose files are registered as
// they arrive, and the watch over it without a window.
class InboxCommand : public Command {
public:
    QString name() const override { return QStringLiteral("inbox"); }
    QString description() const override
    {
        return QStringLiteral("收件箱：set 设置文件夹和预设内容，show 显示设置，watch "
                              "登记放进收件箱的文件（直到被终止）");
    }

    void configure(QCommandLineParser& parser) override
    {
        parser.addPositionalArgument(QStringLiteral("set|show|watch"),
                                     QStringLiteral("设置、显示或监视收件箱"));
        parser.addPositionalArgument(QStringLiteral("DIR"), QStringLiteral("set：收件箱文件夹"));
        parser.addOptions({m_recipient, m_method, m_folder, m_settle});
    }

    int run(const QCommandLineParser& parser, CliContext& context) override
    {
        const QStringList arguments = parser.positionalArguments();
        const QString action = arguments.value(0);
        const bool setting = action == QLatin1String("set");
        if (!(setting ? arguments.size() == 2
                      : arguments.size() == 1 && (action == QLatin1String("show") ||
                                                  action == QLatin1String("watch")))) {
            context.error() << "需要 set DIR、show 或 watch" << Qt::endl;
            return ExitUsage;
        }
        for (const QCommandLineOption* option : {&m_recipient, &m_method, &m_folder}) {
            if (parser.isSet(*option) && !setting) {
                context.error() << "--" << option->names().constFirst() << " 只用于 set"
                                << Qt::endl;
                return ExitUsage;
            }
        }
        double settle = InboxWatcher::defaultSettle.count() / 1000.0;
        if (parser.isSet(m_settle)) {
            bool ok = false;
            settle = parser.value(m_settle).toDouble(&ok);
            if (!ok || settle < 0 || settle > 3600 || action != QLatin1String("watch")) {
                context.error() << "--settle 只用于 watch，取 0 到 3600 秒" << Qt::endl;
                return ExitUsage;
            }
        }
        std::optional<Register> reg = context.openRegister();
        if (!reg)
            return ExitFailed;
        if (setting)
            return set(*reg, parser, arguments.at(1), context);
        if (action == QLatin1String("show"))
            return show(*reg, context);
        return watch(*reg, std::chrono::milliseconds(qint64(settle * 1000)), context);
    }

private:
    int set(const Register& reg, const QCommandLineParser& parser, const QString& folder,
            CliContext& context)
    {
        Inbox::Settings settings{QDir::current().absoluteFilePath(folder),
                                 parser.value(m_recipient), parser.value(m_method),
                                 parser.value(m_folder)};
        if (Status stored = Inbox::setSettings(reg, settings); !stored) {
            context.fail(stored.error());
            return ExitFailed;
        }
        return show(reg, context);
    }

    static int show(const Register& reg, CliContext& context)
    {
        Result<Inbox::Settings> settings = Inbox::settings(reg);
        if (!settings) {
            context.fail(settings.error());
            return ExitFailed;
        }
        if (settings->folder.isEmpty()) {
            context.out << "没有设置收件箱" << Qt::endl;
            return ExitDone;
        }
        const QDir refused(QDir(settings->folder).filePath(Inbox::refusedFolder));
        const qsizetype notes =
            refused.entryList({QLatin1Char('*') + Inbox::noteSuffix}, QDir::Files).size();
        context.out << QStringLiteral("收件箱：%1\n接收人：%2\n传送方式：%3\n文件夹：%4\n"
                                      "未能登记：%5 个文件\n")
                           .arg(settings->folder, settings->recipient, settings->method,
                                settings->recordFolder)
                           .arg(notes)
                    << Qt::flush;
        return ExitDone;
    }

    static int watch(const Register& reg, std::chrono::milliseconds settle, CliContext& context)
    {
        InboxWatcher watcher(reg, settle);
        QObject::connect(
            &watcher, &InboxWatcher::fileRegistered,
            [&](const QString& fileName, qint64 serial, qint64) {
                context.out << QStringLiteral("已登记：%1（序号 %2）").arg(fileName).arg(serial)
                            << Qt::endl;
            });
        QObject::connect(&watcher, &InboxWatcher::fileRefused,
                         [&](const QString& fileName, const QString& reason) {
                             context.warning() << QStringLiteral("“%1”未能登记：%2，已移到 %3/")
                                                      .arg(fileName, reason, Inbox::refusedFolder)
                                               << Qt::endl;
                         });
        QObject::connect(&watcher, &InboxWatcher::problem,
                         [&](const QString& text) { context.warning() << text << Qt::endl; });
        // SIGINT and SIGTERM end the watch between files; it is safe to
        // kill at any moment all the same.
        if (::pipe2(quitPipe, O_CLOEXEC) != 0) {
            context.error() << "无法准备信号处理" << Qt::endl;
            return ExitFailed;
        }
        QSocketNotifier quit(quitPipe[0], QSocketNotifier::Read);
        QObject::connect(&quit, &QSocketNotifier::activated, [] { QCoreApplication::quit(); });
        std::signal(SIGINT, quitOnSignal);
        std::signal(SIGTERM, quitOnSignal);
        if (Status started = watcher.start(); !started) {
            context.fail(started.error());
            return ExitFailed;
        }
        context.err << QStringLiteral("正在监视收件箱（按 Ctrl+C 结束）") << Qt::endl;
        QCoreApplication::exec();
        context.err << QStringLiteral("收件箱：已登记 %1 个文件").arg(watcher.registered())
                    << Qt::endl;
        return ExitDone;
    }

    const QCommandLineOption m_recipient{QStringLiteral("recipient"),
                                         QStringLiteral("set：登记时预设的接收人"),
                                         QStringLiteral("TEXT")};
    const QCommandLineOption m_method{QStringLiteral("method"),
                                      QStringLiteral("set：登记时预设的传送方式"),
                                      QStringLiteral("TEXT")};
    const QCommandLineOption m_folder{QStringLiteral("folder"),
                                      QStringLiteral("set：登记时预设的文件夹"),
                                      QStringLiteral("TEXT")};
    const QCommandLineOption m_settle{
        QStringLiteral("settle"),
        QStringLiteral("watch：文件大小和时间须保持不变多少秒才登记（默认 2）"),
        QStringLiteral("SECONDS")};
};

const CommandRegistration<InboxCommand> registration;

} // namespace
