#pragma once

#include <QString>

#include <functional>

// Hands a file to the desktop's opener (xdg-open through QDesktopServices).
// Tests replace the opener so no program is started.
namespace DesktopOpener {

using Opener = std::function<bool(const QString& path)>;

bool open(const QString& path);

// An empty opener restores the desktop's own.
void setOpener(Opener opener);

} // namespace DesktopOpener
