#pragma once

#include <QString>

// A size as people read it, in its natural unit: "512 B", "4.9 KiB",
// "1.2 MiB", "3.0 GiB". Shown alike in the window and on the command line.
namespace SizeText {

QString of(qint64 bytes);

} // namespace SizeText
