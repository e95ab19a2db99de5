#include "reader/ToolReader.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <signal.h>
#include <sys/prctl.h>

namespace ToolReader {

namespace {

constexpr qint64 outputLimit = qint64(64) << 20;
constexpr int secondsLimit = 110;

struct Run {
    bool found = false;
    bool ok = false;
    QByteArray output;
    QString failure;
};

Run run(const QString& tool, QStringList arguments)
{
    Run result;
    const QString program = QStandardPaths::findExecutable(tool);
    if (program.isEmpty())
        return result;
    result.found = true;
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardErrorFile(QProcess::nullDevice());
    // Not left running when the reader program is killed for taking too long.
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted())
        return result;
    QElapsedTimer clock;
    clock.start();
    while (process.state() != QProcess::NotRunning) {
        process.waitForReadyRead(200);
        result.output += process.readAllStandardOutput();
        if (result.output.size() > outputLimit || clock.elapsed() > secondsLimit * 1000) {
            process.kill();
            process.waitForFinished();
            result.failure = result.output.size() > outputLimit ? Reasons::tooLarge()
                                                                : QStringLiteral("读取超时");
            return result;
        }
    }
    result.output += process.readAllStandardOutput();
    result.ok = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return result;
}

QString missing(const QString& tools)
{
    return QStringLiteral("缺少读取程序 %1").arg(tools);
}

// unrtf's text starts with a header of its own, ended by a dashed line.
QByteArray withoutUnrtfHeader(const QByteArray& output)
{
    if (!output.startsWith("###"))
        return output;
    const qsizetype rule = output.indexOf("-----------------\n");
    return rule < 0 ? output : output.mid(rule + 18);
}

} // namespace

ReadText text(const QString& path, Kind kind)
{
    struct Try {
        QString tool;
        QStringList arguments;
    };
    QList<Try> tries;
    switch (kind) {
    case Kind::Doc:
        tries = {{QStringLiteral("antiword"), {QStringLiteral("-m"), QStringLiteral("UTF-8.txt")}},
                 {QStringLiteral("catdoc"), {QStringLiteral("-d"), QStringLiteral("utf-8")}}};
        break;
    case Kind::Xls:
        tries = {{QStringLiteral("xls2csv"),
                  {QStringLiteral("-d"), QStringLiteral("utf-8"), QStringLiteral("-q"),
                   QStringLiteral("0"), QStringLiteral("-c"), QStringLiteral("\t")}}};
        break;
    case Kind::Ppt:
        tries = {{QStringLiteral("catppt"), {QStringLiteral("-d"), QStringLiteral("utf-8")}}};
        break;
    case Kind::Rtf:
        tries = {{QStringLiteral("unrtf"), {QStringLiteral("--text")}},
                 {QStringLiteral("catdoc"), {QStringLiteral("-d"), QStringLiteral("utf-8")}}};
        break;
    }
    QStringList names;
    bool anyFound = false;
    for (const Try& attempt : tries) {
        names << attempt.tool;
        Run result =
            run(attempt.tool, attempt.arguments + QStringList{QFileInfo(path).absoluteFilePath()});
        anyFound = anyFound || result.found;
        if (!result.failure.isEmpty())
            return ReadText::failed(result.failure);
        if (result.ok) {
            const QByteArray output =
                kind == Kind::Rtf ? withoutUnrtfHeader(result.output) : result.output;
            return ReadText::of(QString::fromUtf8(output));
        }
    }
    return ReadText::failed(anyFound ? Reasons::damaged() : missing(names.join(u'、')));
}

} // namespace ToolReader
