#pragma once

#include <QString>

// Small helpers shared by every subsystem.
namespace GeneralRoutines {

// Ten characters drawn from the 62 ASCII letters and digits. The generator is
// seeded once per process, so two calls in the same clock tick still differ.
QString RandomName();

// Text after the last "."; empty when the name holds no ".".
QString FileExtension(const QString& name);

// Text before the last "."; the whole name when it holds no ".".
QString FileBaseName(const QString& name);

// True when another process holds the file open or holds a lock on it. Never
// creates a file: a missing path gives false.
bool IsFileLocked(const QString& path);
// The same for a regular file this process has open as `fd`.
bool IsFileLocked(int fd);

template <typename T> T MaxValue(T a, T b)
{
    return a > b ? a : b;
}

template <typename T> T MinValue(T a, T b)
{
    return a > b ? b : a;
}

} // namespace GeneralRoutines
