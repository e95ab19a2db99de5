// quorvel-web: serves one register to the browsers of an office.
#include "store/Register.h"
#include "store/RegisterLocation.h"
#include "store/RegisterWatch.h"
#include "web/WebServer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <sodium.h>

#include <csignal>
#include <thread>

namespace {

volatile std::sig_atomic_t stopAsked = 0;

void askStop(int)
{
    stopAsked = 1;
}

int numberOption(const QCommandLineParser& parser, const char* name, int fallback, bool* ok)
{
    if (!parser.isSet(QString::fromLatin1(name)))
        return fallback;
    bool valid = false;
    const int value = parser.value(QString::fromLatin1(name)).toInt(&valid);
    if (!valid || value < 0)
        *ok = false;
    return value;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quorvel-web"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUORVEL_VERSION));
    QTextStream err(stderr);
    QTextStream out(stdout);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("在浏览器中使用登记库：查看、搜索、下载、登记和修改记录"));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({
        {QStringLiteral("register"), QStringLiteral("登记库文件夹或 postgresql:// 地址"),
         QStringLiteral("DIR")},
        {QStringLiteral("listen"), QStringLiteral("接受连接的地址（默认 127.0.0.1）"),
         QStringLiteral("ADDRESS")},
        {QStringLiteral("port"), QStringLiteral("端口（默认 8080；0 由系统选择）"),
         QStringLiteral("PORT")},
        {QStringLiteral("max-upload-mb"), QStringLiteral("一次上传的最大大小，MB（默认 2048）"),
         QStringLiteral("MB")},
        {QStringLiteral("idle-minutes"),
         QStringLiteral("多少分钟没有操作后需要重新登录（默认 30）"), QStringLiteral("MINUTES")},
        {QStringLiteral("threads"), QStringLiteral("同时处理的请求数（默认 64）"),
         QStringLiteral("N")},
    });
    parser.process(app);

    WebSettings settings;
    bool ok = true;
    if (parser.isSet(QStringLiteral("listen")))
        settings.host = parser.value(QStringLiteral("listen"));
    settings.port = numberOption(parser, "port", settings.port, &ok);
    settings.maxUploadBytes =
        qint64(numberOption(parser, "max-upload-mb", 2048, &ok)) * 1024 * 1024;
    settings.idleMinutes = qMax(1, numberOption(parser, "idle-minutes", settings.idleMinutes, &ok));
    settings.threads = numberOption(parser, "threads", settings.threads, &ok);
    if (!ok || settings.port > 65535) {
        err << "quorvel-web: 选项的值必须是非负整数（端口不大于 65535）" << Qt::endl;
        return 2;
    }
    if (sodium_init() < 0) {
        err << "quorvel-web: 无法初始化密码库" << Qt::endl;
        return 1;
    }

    const QString location = RegisterLocation::resolve(parser.value(QStringLiteral("register")));
    Result<Register> reg = Register::open(location, Register::Mode::MustExist);
    if (!reg) {
        err << "quorvel-web: " << reg.error().message << Qt::endl;
        if (!reg.error().detail.isEmpty())
            err << "  (" << reg.error().detail << ")" << Qt::endl;
        return 1;
    }
    // Uploads wait here, readable by this program only, until they are registered.
    QTemporaryDir uploads(QDir::tempPath() + QStringLiteral("/quorvel-web-XXXXXX"));
    if (!uploads.isValid()) {
        err << "quorvel-web: 无法建立上传文件的临时文件夹：" << uploads.errorString() << Qt::endl;
        return 1;
    }
    settings.uploadFolder = uploads.path();

    WebContext context(*reg, settings);
    WebServer server(context);
    QString why;
    if (!server.bind(&why)) {
        err << "quorvel-web: " << why << Qt::endl;
        return 1;
    }
    out << "quorvel-web: http://" << settings.host << ':' << server.port() << '/' << Qt::endl;

    std::thread serving([&server] { server.run(); });

    // Changes by other programs make the views read again.
    RegisterWatch watch(*reg);
    QObject::connect(&watch, &RegisterWatch::changed, [&context] { context.changed(); });

    std::signal(SIGINT, askStop);
    std::signal(SIGTERM, askStop);
    QTimer stopCheck;
    QObject::connect(&stopCheck, &QTimer::timeout, [&] {
        if (stopAsked)
            app.quit();
    });
    stopCheck.start(200);
    const int code = app.exec();
    server.stop();
    serving.join();
    return code;
}
