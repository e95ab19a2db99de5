#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// Hands a file to the desktop's opener (xdg-open through QDesktopServices).
// Tests replace the opener so no program is started.
namespace DesktopOpener {

using Opener = std::function<bool(const QString& path)>;

// False when the opener could not be started; `failedLater` runs when it
// ends reporting that it could not open the file (no program for its type).
// While the opener of `path` still runs, opening it again starts nothing.
bool open(const QString& path, const std::function<void()>& failedLater = {});

// An empty opener restores the desktop's own.
void setOpener(Opener opener);
// The opener program run before the path (xdg-open when not set).
void setProgram(const QString& program, const QStringList& leadingArguments = {});

} // namespace DesktopOpener
