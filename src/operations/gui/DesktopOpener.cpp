#include "operations/gui/DesktopOpener.h"

#include <QDesktopServices>
#include <QProcess>
#include <QUrl>

namespace DesktopOpener {

namespace {

Opener& replacement()
{
    static Opener instance;
    return instance;
}

} // namespace

bool open(const QString& path, const std::function<void()>& failedLater)
{
    if (replacement())
        return replacement()(path);
    // xdg-open is run directly rather than through QDesktopServices, which
    // reports success as soon as the opener starts: its exit status is the
    // only word that no program handles this type of file.
    auto* process = new QProcess;
    process->setProgram(QStringLiteral("xdg-open"));
    process->setArguments({path});
    process->setStandardInputFile(QProcess::nullDevice());
    QObject::connect(process, &QProcess::finished, process,
                     [process, failedLater](int exitCode, QProcess::ExitStatus status) {
                         if ((status != QProcess::NormalExit || exitCode != 0) && failedLater)
                             failedLater();
                         process->deleteLater();
                     });
    process->start();
    if (!process->waitForStarted(3000)) {
        delete process;
        return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    }
    return true;
}

void setOpener(Opener opener)
{
    replacement() = std::move(opener);
}

} // namespace DesktopOpener
