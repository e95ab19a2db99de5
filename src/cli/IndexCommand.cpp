#include "cli/Command.h"

#include "content/ContentQueue.h"
#include "content/ContentReading.h"

namespace {

// `index status`, `index run [--limit N]`, `index rebuild`, `index ocr on|off`:
// the reading of stored copies' content for searches by content.
class IndexCommand : public Command {
public:
    QString name() const override { return QStringLiteral("index"); }
    QString description() const override
    {
        return QStringLiteral("文件内容索引：status 状态，run 读取，rebuild 全部重读，ocr on|off "
                              "图片文字识别");
    }

    void configure(QCommandLineParser& parser) override
    {
        parser.addPositionalArgument(
            QStringLiteral("status|run|rebuild|ocr"),
            QStringLiteral("查看状态、读取排队的副本、全部重读，或开关图片文字识别"));
        parser.addPositionalArgument(QStringLiteral("on|off"), QStringLiteral("ocr：开或关"));
        parser.addOption(m_limit);
    }

    int run(const QCommandLineParser& parser, CliContext& context) override
    {
        const QStringList arguments = parser.positionalArguments();
        const QString action = arguments.value(0);
        const bool ocr = action == QLatin1String("ocr");
        const bool takesSwitch =
            ocr && arguments.size() == 2 &&
            (arguments.at(1) == QLatin1String("on") || arguments.at(1) == QLatin1String("off"));
        if (!(takesSwitch || (!ocr && arguments.size() == 1 &&
                              QStringList{QStringLiteral("status"), QStringLiteral("run"),
                                          QStringLiteral("rebuild")}
                                  .contains(action)))) {
            context.error() << "需要 status、run、rebuild 或 ocr on|off" << Qt::endl;
            return ExitUsage;
        }
        qint64 limit = -1;
        if (parser.isSet(m_limit)) {
            bool ok = false;
            limit = parser.value(m_limit).toLongLong(&ok);
            if (!ok || limit < 0 || action != QLatin1String("run")) {
                context.error() << "--limit 只用于 run，取一个非负的数" << Qt::endl;
                return ExitUsage;
            }
        }
        std::optional<Register> reg = context.openRegister();
        if (!reg)
            return ExitFailed;
        if (ocr)
            return switchOcr(*reg, arguments.at(1) == QLatin1String("on"), context);
        if (action == QLatin1String("status"))
            return status(*reg, context);
        if (action == QLatin1String("rebuild")) {
            if (Status requeued = ContentQueue::requeueAll(*reg); !requeued) {
                context.fail(requeued.error());
                return ExitFailed;
            }
            context.err << "所有副本已重新排队，开始读取" << Qt::endl;
        }
        return read(*reg, limit, context);
    }

private:
    static int switchOcr(const Register& reg, bool on, CliContext& context)
    {
        if (Status set = ContentQueue::setOcrEnabled(reg, on); !set) {
            context.fail(set.error());
            return ExitFailed;
        }
        context.out << (on ? "图片文字识别已打开" : "图片文字识别已关闭") << Qt::endl;
        return ExitDone;
    }

    static int status(const Register& reg, CliContext& context)
    {
        Result<ContentQueue::Counts> counts = ContentQueue::counts(reg);
        Result<bool> ocr = ContentQueue::ocrEnabled(reg);
        Result<QList<ContentQueue::Skip>> skips = ContentQueue::skips(reg);
        for (const Error* error : {counts ? nullptr : &counts.error(), ocr ? nullptr : &ocr.error(),
                                   skips ? nullptr : &skips.error()}) {
            if (error) {
                context.fail(*error);
                return ExitFailed;
            }
        }
        context.out << QStringLiteral("已读取：%1（共 %2 个字符）\n")
                           .arg(counts->read)
                           .arg(counts->textCharacters)
                    << QStringLiteral("等待读取：%1\n").arg(counts->waiting)
                    << QStringLiteral("等待图片文字识别：%1\n").arg(counts->waitingForOcr)
                    << QStringLiteral("未能读取：%1\n").arg(counts->skipped)
                    << QStringLiteral("不读取的格式：%1\n").arg(counts->notRead)
                    << QStringLiteral("图片文字识别：%1\n")
                           .arg(*ocr ? QStringLiteral("开") : QStringLiteral("关"));
        for (const ContentQueue::Skip& skip : *skips)
            context.out << QStringLiteral("未能读取“%1”：%2\n").arg(skip.fileName, skip.reason);
        context.out.flush();
        return ExitDone;
    }

    static int read(const Register& reg, qint64 limit, CliContext& context)
    {
        ContentReading::Options options;
        options.limit = limit;
        Result<ContentReading::Summary> summary =
            ContentReading::run(reg, options, [&](const ContentReading::Progress& progress) {
                if (progress.fileName.isEmpty())
                    return;
                context.err << QStringLiteral("%1 %2 / %3：%4")
                                   .arg(progress.ocr ? QStringLiteral("正在识别图片文字")
                                                     : QStringLiteral("正在读取文件内容"))
                                   .arg(progress.done + 1)
                                   .arg(progress.total)
                                   .arg(progress.fileName)
                            << Qt::endl;
            });
        if (!summary) {
            context.fail(summary.error());
            return ExitFailed;
        }
        context.out << QStringLiteral("读取 %1 份，未能读取 %2 份，不读取的格式 %3 份")
                           .arg(summary->read)
                           .arg(summary->skipped)
                           .arg(summary->notRead);
        if (summary->waitingForOcr > 0)
            context.out << QStringLiteral("，%1 份等待图片文字识别").arg(summary->waitingForOcr);
        context.out << Qt::endl;
        return ExitDone;
    }

    const QCommandLineOption m_limit{QStringLiteral("limit"), QStringLiteral("run：最多读取 N 份"),
                                     QStringLiteral("N")};
};

const CommandRegistration<IndexCommand> registration;

} // namespace
