#pragma once

#include "base/Result.h"

#include <QSqlDatabase>
#include <QString>

typedef struct pg_conn PGconn;

// A server connection outlives the server's restarts and a dropped link:
// libpq tells us when it is broken, and it is opened again before the next
// operation goes on. What was in flight is sorted by what may have changed:
// a read is simply asked again, a write cut before its COMMIT changed
// nothing, and a COMMIT cut in flight is looked up by its transaction id.
// SQLite connections pass through every function here untouched.
namespace PgConnection {

// The libpq connection under the server connection `db`; null for another
// driver.
PGconn* handleOf(const QSqlDatabase& db);

// Whether `db` is a server connection that libpq found broken.
bool isBroken(const QSqlDatabase& db);

// Whether a statement about to run on `db` may be run again after a break:
// a server connection outside any transaction, its session being all the
// state there is.
bool retriable(const QSqlDatabase& db);

// After a statement failed: whether the connection was broken and is open
// again, when `wasRetriable` (retriable() before the statement).
bool reopenedAfterBreak(const QSqlDatabase& db, bool wasRetriable);

// Runs `attempt` (one statement on `db`, its outcome false on failure), and
// once more when it failed on a connection that broke and is open again.
template <typename Attempt> auto againAfterBreak(const QSqlDatabase& db, const Attempt& attempt)
{
    const bool wasRetriable = retriable(db);
    auto outcome = attempt();
    if (!outcome && reopenedAfterBreak(db, wasRetriable))
        return attempt();
    return outcome;
}

// Opens a closed or broken server connection again, unless a write
// transaction is open on it (its statements must keep failing rather than
// carry on outside it); `afresh`: one that looks sound as well. The LISTENs
// it held are renewed and each announced once, as notices sent meanwhile
// were missed. Whether it is open.
bool reopen(QSqlDatabase db, bool afresh = false);

// A write transaction holds `db` from begin to its end.
void setWriting(const QSqlDatabase& db, bool writing);
// Whether a write transaction holds the server connection `db`.
bool writing(const QSqlDatabase& db);

// The text for a statement whose connection broke, in a write or not.
Error brokenError(const QSqlDatabase& db, const QString& detail);

// The outcome of the write transaction `xid` whose COMMIT failed, however
// it failed (the connection may be lost without libpq knowing yet), learned
// on a connection in a known state: nothing when it landed, `failure` when
// it was rolled back, ErrorCode::Uncertain when that cannot be known.
Status commitOutcome(QSqlDatabase db, const QString& xid, const Error& failure);

} // namespace PgConnection
