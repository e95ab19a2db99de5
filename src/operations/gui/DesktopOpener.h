#pragma once

#include <QString>

#include <functional>

// Hands a file to the desktop's opener (xdg-open through QDesktopServices).
// Tests replace the opener so no program is started.
namespace DesktopOpener {

using Opener = std::function<bool(const QString& path)>;

// False when the opener could not be started; `failedLater` runs when it
// ends reporting that it could not open the file (no program for its type).
bool open(const QString& path, const std::function<void()>& failedLater = {});

// An empty opener restores the desktop's own.
void setOpener(Opener opener);

} // namespace DesktopOpener
