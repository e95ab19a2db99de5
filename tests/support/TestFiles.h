#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTest>

// Small files the tests write and read back.
namespace TestFiles {

// Writes `content` to `path` whole; the calling test fails when it cannot.
inline void write(const QString& path, const QByteArray& content)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(file.write(content), content.size());
}

// The bytes of `path`, or "<missing>" when it cannot be read.
inline QByteArray read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace TestFiles
