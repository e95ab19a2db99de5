#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// The whole content of a small test file, or a marker no test writes when
// it cannot be read, so that a missing file never passes for an empty one.
inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}
