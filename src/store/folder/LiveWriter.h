#pragma once

#include "base/Result.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <memory>

// Which working files in a store belong to a program that is still running.
//
// A timer cannot tell: a slow batch may leave its staged copies untouched for
// minutes before it commits, and a killed one leaves them the same way. So a
// program holds a lock file in the store, ".quorvel-live-<owner>", locked
// with flock() for as long as it has working files there, and names each
// working file after that owner (StoreFiles::partName(owner)). The kernel
// drops the lock the moment the program ends, however it ends: a working file
// whose owner's lock nobody holds belongs to no live program and may go at
// once, and one whose owner holds it is never touched.
class LiveWriter {
public:
    // The lock of this process on `storeFolder`, shared by every piece of
    // work that currently has working files there; taken when none has.
    // Fails with the errno when the lock file cannot be made.
    static std::shared_ptr<LiveWriter> hold(const QString& storeFolder, int* error);

    ~LiveWriter();
    LiveWriter(const LiveWriter&) = delete;
    LiveWriter& operator=(const LiveWriter&) = delete;

    const QString& owner() const { return m_owner; }

    // Prefix of the lock file names (a reserved name, never a stored name).
    static const QString lockPrefix;
    // The owner a lock file name stands for, or an empty text.
    static QString ownerOfLockName(const QString& name);

private:
    LiveWriter(QString path, QString owner, int fd);

    QString m_path;
    QString m_owner;
    int m_fd = -1;
};

// The integrity check's side: asks whether an owner is alive. An owner found
// dead stays locked by the probe until it is destroyed, so that its working
// files can be removed without racing anyone (a writer starting up with the
// same lock file gives it up and takes another).
class LiveProbe {
public:
    explicit LiveProbe(QString storeFolder);
    ~LiveProbe();
    LiveProbe(const LiveProbe&) = delete;
    LiveProbe& operator=(const LiveProbe&) = delete;

    // Whether a running program holds `owner`'s lock. An empty owner (a
    // working file named before owners existed) belongs to no one.
    bool isAlive(const QString& owner);
    // Removes the lock file of an owner found dead. False when it was not.
    bool removeLockOf(const QString& owner);

private:
    QString m_storeFolder;
    QHash<QString, int> m_dead; // owner → descriptor holding its lock (-1: no lock file)
    QSet<QString> m_alive;
};
