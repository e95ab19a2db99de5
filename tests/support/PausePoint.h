#pragma once

#include <QDeadlineTimer>
#include <QFile>
#include <QProcessEnvironment>
#include <QString>
#include <QThread>

// The test's side of TestPause: the environment that holds a program at a
// point, waiting until it got there, and letting it go on.
struct PausePoint {
    QString folder;
    QString point;

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QUORVEL_PAUSE_AT"), point);
        env.insert(QStringLiteral("QUORVEL_PAUSE_DIR"), folder);
        return env;
    }

    bool waitReached(int milliseconds = 30000) const
    {
        const QDeadlineTimer deadline(milliseconds);
        while (!QFile::exists(path(QStringLiteral(".reached")))) {
            if (deadline.hasExpired())
                return false;
            QThread::msleep(5);
        }
        return true;
    }

    void release() const
    {
        QFile go(path(QStringLiteral(".go")));
        go.open(QIODevice::WriteOnly);
    }

private:
    QString path(const QString& suffix) const { return folder + QLatin1Char('/') + point + suffix; }
};
