#pragma once

#include "base/Result.h"

#include <QByteArrayView>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QVariant>

#include <atomic>
#include <memory>
#include <optional>

// Size and content hash of every stored copy, kept in a side table so that
// the record table keeps exactly its stored columns. The hash (XXH3-128, as
// 32 lower-case hex digits) guards against bit rot and edits made outside
// Quorvel and spots duplicates; it is not meant to resist forgery.
//
// A row belongs to the record with that identity (SQLite's rowid) and is
// valid only while that record's stored name is the one recorded with it
// (rowids of a table without an INTEGER PRIMARY KEY may be renumbered by
// VACUUM). A trigger removes the row when its record is deleted.
namespace ContentHash {

inline const QString table = QStringLiteral("存储校验");
inline const QString recordColumn = QStringLiteral("记录");
inline const QString storedNameColumn = QStringLiteral("路径");
inline const QString sizeColumn = QStringLiteral("大小");
inline const QString hashColumn = QStringLiteral("校验");

// Fed chunk by chunk, so a copy can be hashed while it is written.
class Hasher {
public:
    Hasher();
    ~Hasher();
    Hasher(const Hasher&) = delete;
    Hasher& operator=(const Hasher&) = delete;

    void add(QByteArrayView bytes);
    qint64 size() const { return m_size; }
    // The hash of everything added so far.
    QString hex() const;

private:
    struct State;
    std::unique_ptr<State> m_state;
    qint64 m_size = 0;
};

struct Digest {
    qint64 size = 0;
    QString hash;
};

// Hashes a file by streaming it. Stops with an error when `cancelled` turns
// true. Never follows the path anywhere but where it points: callers pass
// paths they have checked.
Result<Digest> ofFile(const QString& path, const std::atomic<bool>* cancelled = nullptr);
// The same for a file the caller has open as `fd` (read from its current
// offset, left open); `shown` names it in messages.
Result<Digest> ofOpenFile(int fd, const QString& shown,
                          const std::atomic<bool>* cancelled = nullptr);

// Records the digest of record `rowid`'s stored copy, replacing an older one.
Status record(const QSqlDatabase& db, qint64 rowid, qint64 size, const QString& hash);

// The digest recorded for `rowid`, if one is recorded and still belongs to the
// record's current stored name.
Result<std::optional<Digest>> recorded(const QSqlDatabase& db, qint64 rowid);

struct SameContent {
    qint64 rowid = 0;
    QVariant serial;
    QString fileName;
    QString storedName;
};

// The first `limit` records registered whose stored copy has this size and
// hash (the duplicate warning at intake names them), in serial order.
Result<QList<SameContent>> recordsWithContent(const QSqlDatabase& db, qint64 size,
                                              const QString& hash, int limit);

} // namespace ContentHash
