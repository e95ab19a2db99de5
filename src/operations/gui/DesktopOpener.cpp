#include "operations/gui/DesktopOpener.h"

#include <QDesktopServices>
#include <QProcess>
#include <QSet>
#include <QUrl>

namespace DesktopOpener {

namespace {

struct State {
    Opener replacement;
    QString program = QStringLiteral("xdg-open");
    QStringList leadingArguments;
    // Files whose opener has not ended yet.
    QSet<QString> opening;
};

State& state()
{
    static State instance;
    return instance;
}

} // namespace

bool open(const QString& path, const std::function<void()>& failedLater)
{
    if (state().replacement)
        return state().replacement(path);
    // A second double-click while the first opener still runs would only
    // start a second viewer, or a second warning.
    if (state().opening.contains(path))
        return true;
    // xdg-open is run directly rather than through QDesktopServices, which
    // reports success as soon as the opener starts: its exit status is the
    // only word that no program handles this type of file.
    auto* process = new QProcess;
    process->setProgram(state().program);
    process->setArguments(state().leadingArguments + QStringList{path});
    process->setStandardInputFile(QProcess::nullDevice());
    QObject::connect(process, &QProcess::finished, process,
                     [process, path, failedLater](int exitCode, QProcess::ExitStatus status) {
                         state().opening.remove(path);
                         if ((status != QProcess::NormalExit || exitCode != 0) && failedLater)
                             failedLater();
                         process->deleteLater();
                     });
    process->start();
    if (!process->waitForStarted(3000)) {
        delete process;
        return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    }
    state().opening.insert(path);
    return true;
}

void setOpener(Opener opener)
{
    state().replacement = std::move(opener);
}

void setProgram(const QString& program, const QStringList& leadingArguments)
{
    state().program = program;
    state().leadingArguments = leadingArguments;
}

} // namespace DesktopOpener
