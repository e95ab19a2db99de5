#pragma once

#include <QtGlobal>

#include <functional>

// Told as printing or exporting goes (rows done of the total, the total
// counting every pass); answers false to stop the work. Called on the thread
// doing the work, often: a window may keep itself alive from it.
using PaperProgress = std::function<bool(qint64 done, qint64 total)>;
