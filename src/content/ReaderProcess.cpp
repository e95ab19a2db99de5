#include "content/ReaderProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>

namespace {

const QString readerName = QStringLiteral("quorvel-reader");

// Named by the environment (tests), beside this program (a build tree), or
// where it is installed.
QString readerProgram()
{
    const QString named = qEnvironmentVariable("QUORVEL_READER");
    if (!named.isEmpty())
        return named;
    const QDir here(QCoreApplication::applicationDirPath());
    const QStringList candidates = {
        here.filePath(readerName),
        here.filePath(QStringLiteral("../libexec/quorvel/") + readerName),
        QString(QStringLiteral(QUORVEL_LIBEXEC_DIR "/") + readerName)};
    for (const QString& candidate : candidates) {
        if (QFileInfo(candidate).isExecutable())
            return candidate;
    }
    return QString();
}

struct Run {
    enum class End { Exited, Crashed, TimedOut, TooMuch, NotStarted } end = End::NotStarted;
    int exitCode = -1;
    QByteArray output;
    QString reason; // the program's last line on standard error, or why it did not run
};

Run run(const QStringList& arguments, int seconds, qint64 outputBytes)
{
    Run result;
    const QString program = readerProgram();
    if (program.isEmpty()) {
        result.reason =
            QStringLiteral("找不到读取程序 %1，Quorvel 的安装可能不完整").arg(readerName);
        return result;
    }
    QProcess reader;
    reader.setProgram(program);
    reader.setArguments(arguments);
    reader.setChildProcessModifier([] {
    // The program limits itself as well; these hold from its first step.
#ifndef __SANITIZE_ADDRESS__
        const rlimit memory{rlim_t(3) << 29, rlim_t(3) << 29};
        ::setrlimit(RLIMIT_AS, &memory);
#endif
        // Gone with the thread that waits for it.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    });
    reader.start(QIODevice::ReadOnly);
    if (!reader.waitForStarted()) {
        result.reason = QStringLiteral("无法启动读取程序 %1").arg(program);
        return result;
    }
    QElapsedTimer clock;
    clock.start();
    QByteArray errors;
    // Both outputs are drained as they come, so the program never waits on
    // a full pipe, and neither grows past its limit here.
    const auto drain = [&] {
        result.output += reader.readAllStandardOutput();
        errors += reader.readAllStandardError();
        if (errors.size() > 4096)
            errors = errors.right(2048);
    };
    while (reader.state() != QProcess::NotRunning) {
        reader.waitForReadyRead(100);
        drain();
        const bool tooMuch = result.output.size() > outputBytes;
        if (tooMuch || clock.elapsed() > qint64(seconds) * 1000) {
            reader.kill();
            reader.waitForFinished();
            result.end = tooMuch ? Run::End::TooMuch : Run::End::TimedOut;
            return result;
        }
    }
    drain();
    if (result.output.size() > outputBytes) {
        result.end = Run::End::TooMuch;
        return result;
    }
    result.end = reader.exitStatus() == QProcess::NormalExit ? Run::End::Exited : Run::End::Crashed;
    result.exitCode = reader.exitCode();
    const QList<QByteArray> lines = errors.trimmed().split('\n');
    result.reason = QString::fromUtf8(lines.back().trimmed()).left(200);
    return result;
}

// Why a run that did not end with a result gave none.
QString failure(const Run& run)
{
    switch (run.end) {
    case Run::End::NotStarted:
        return run.reason;
    case Run::End::TimedOut:
        return QStringLiteral("读取超时");
    case Run::End::TooMuch:
        return QStringLiteral("内容过多，超出上限");
    case Run::End::Crashed:
        return QStringLiteral("读取程序意外结束，文件可能已损坏");
    case Run::End::Exited:
        break;
    }
    return run.reason.isEmpty() ? QStringLiteral("无法读取") : run.reason;
}

QStringList named(const QString& fileName)
{
    return fileName.isEmpty() ? QStringList() : QStringList{QStringLiteral("--name"), fileName};
}

} // namespace

ReadOutcome readContent(const QString& path, const QString& fileName, bool ocr,
                        const ReaderLimits& limits)
{
    QStringList arguments{QStringLiteral("text")};
    if (ocr)
        arguments << QStringLiteral("--ocr");
    arguments << named(fileName) << path;
    const Run done = run(arguments, ocr ? limits.ocrSeconds : limits.seconds, limits.outputBytes);
    using Kind = ReadOutcome::Kind;
    if (done.end == Run::End::Exited) {
        switch (done.exitCode) {
        case 0:
            return {Kind::Text, QString::fromUtf8(done.output), QString()};
        case 3:
            return {Kind::NotRead, QString(), QString()};
        case 4:
            return {Kind::NeedsOcr, QString(), QString()};
        default:
            break;
        }
    }
    return {Kind::Skipped, QString(), failure(done)};
}

Result<int> pageCount(const QString& path, const QString& fileName)
{
    const Run done = run(QStringList{QStringLiteral("pages")} << named(fileName) << path, 60, 64);
    bool ok = false;
    const int pages = done.output.trimmed().toInt(&ok);
    if (done.end == Run::End::Exited && done.exitCode == 0 && ok)
        return pages;
    return Error{failure(done), QString()};
}

Result<QByteArray> renderPage(const QString& path, const QString& fileName, int page, int width)
{
    const QStringList arguments =
        QStringList{QStringLiteral("render"), QStringLiteral("--page"), QString::number(page),
                    QStringLiteral("--width"), QString::number(width)}
        << named(fileName) << path;
    const Run done = run(arguments, 60, qint64(256) << 20);
    if (done.end == Run::End::Exited && done.exitCode == 0 &&
        done.output.startsWith("\x89PNG\r\n\x1A\n"))
        return done.output;
    if (done.end == Run::End::Exited && done.exitCode == 3)
        return Error{QStringLiteral("这种文件没有可显示的页面"), QString()};
    return Error{failure(done), QString()};
}
