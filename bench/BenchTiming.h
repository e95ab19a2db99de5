#pragma once

#include <QStringList>

#include <functional>
#include <utility>
#include <vector>

// Timing and intake pieces the benchmarks share.

// The median of `runs` timings of `work`, in milliseconds.
double medianMs(const std::function<void()>& work, int runs);

// The middle of `times`.
double medianOf(std::vector<double> times);

// Ours and the limit in turns, so that a busy spell of the shared machine
// falls on both alike, each going first every other time (the first to
// create files pays for what the file system has to skip); the medians of
// each. `tidy` runs untimed after each pair.
std::pair<double, double> medianMsInTurns(const std::function<void()>& ours,
                                          const std::function<void()>& limit, int runs,
                                          const std::function<void()>& tidy = {});

// A file of `size` bytes whose content depends on the size.
void writeFile(const QString& path, qint64 size);

// The bare limit of intake: each source copied into `target`, flushed and
// renamed, then `insertOne` (one record written and committed), with
// nothing else around it.
void bareIntake(const QStringList& sources, const QString& target,
                const std::function<void()>& insertOne);

// The same with each record inserted into a bare SQLite database in `target`.
void bareSqliteIntake(const QStringList& sources, const QString& target);
