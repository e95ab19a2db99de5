#pragma once

#include "base/Result.h"
#include "store/Register.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

struct sqlite3;

// One moment of a register's database, held still for a backup: a read
// transaction begun while this program held the write lock, so that no other
// program was half-way through a change (a delete sets its copy aside inside
// its write transaction; an intake names its copy inside it). Other programs
// go on writing while the snapshot is open; it keeps seeing its moment.
class Snapshot {
public:
    // A stored copy that records name, with the digest recorded for it
    // (size -1 and no hash when none is).
    struct NamedCopy {
        QString storedName;
        qint64 size = -1;
        QString hash;
        QStringList serials; // of the records that name it
    };

    // `underLock` runs while the write lock is still held, once the moment
    // is fixed: what it sees of the store belongs to that moment.
    static Result<std::unique_ptr<Snapshot>> take(const Register& reg,
                                                  const std::function<void()>& underLock = {});
    ~Snapshot();
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;

    // Every plain stored name the records of this moment name, once each.
    Result<QList<NamedCopy>> namedCopies() const;
    // The names of the bin's copies in this moment, within the bin folder.
    Result<QList<NamedCopy>> binCopies() const;

    // Writes the database of this moment to the new file `path`, as one
    // self-contained file (no log beside it), flushed to disk. `progress`
    // hears of pages done.
    Status writeTo(const QString& path,
                   const std::function<void(int done, int total)>& progress = {}) const;

    // A backup's database, only read: fails with what is wrong when it is
    // damaged or not a register; otherwise the copies its records name.
    static Result<QList<NamedCopy>> readBackup(const QString& path);

private:
    explicit Snapshot(sqlite3* db) : m_db(db) {}

    sqlite3* m_db = nullptr;
};
