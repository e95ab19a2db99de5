#pragma once

#include <QStringList>

#include <spawn.h>
#include <sys/types.h>

// One row of the speed table every benchmark prints: the work, the number
// of records, our figure, the limit measured beside it, their ratio and the
// rule the ratio is judged by.
// The table's heading: the names of our figure, the limit and the rule.
void printBenchHeader(const char* ours, const char* limit, const char* rule);

void printBenchRow(const char* work, int count, double ours, double limit, const char* rule);

// A figure of /proc/PID/status in KiB ("VmRSS:", "VmHWM:"), 0 when gone: the
// memory rows read the measured program itself.
long statusKiB(pid_t pid, const char* field);

// Starts `command` (a program found on PATH, or by its path) with `actions`
// on its descriptors; its pid, 0 when it could not be started.
pid_t spawn(const QStringList& command, const posix_spawn_file_actions_t* actions = nullptr);
