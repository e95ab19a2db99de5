#pragma once

#include "base/Result.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariantList>

#include <functional>

// What a PostgreSQL connection needs beyond Sql.h, whose statements serve
// both kinds: the server's errors sorted by their SQLSTATE (so that waiting
// on another writer reads as ErrorCode::Busy), retries and lock keys.
namespace PgSql {

Status exec(const QSqlDatabase& db, const QString& sql);

Error errorFrom(const QSqlError& error, const QString& what);

// Runs `attempt` (one whole transaction) again while it fails because
// another writer was in the way, a bounded number of times.
Status retried(const std::function<Status()>& attempt);

// Advisory lock keys, one per purpose, held until the transaction ends.
constexpr qint64 writeLock = 0x5152563257524954;  // every write, one at a time
constexpr qint64 serialLock = 0x5152563253455231; // next serial
constexpr qint64 schemaLock = 0x5152563253434831; // layout changes

} // namespace PgSql
