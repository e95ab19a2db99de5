#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>

#include <optional>

// Statements kept prepared on their server connection while it writes. Qt's
// driver prepares a server statement, executes it and deallocates it again,
// three round trips; one kept prepared runs in one, and an add, a move or a
// delete runs a dozen. Kept per connection on the thread that owns it, the
// least recently used given up past a bound. Reads outside a write keep
// none: their rows are streamed, and a statement kept with rows unread
// would hold the connection. SQLite connections keep none either: preparing
// there costs no round trip.
namespace PreparedStatements {

// Whether statements run on `db` now are kept.
bool keeps(const QSqlDatabase& db);

// The statement `sql` as prepared on `db` by an earlier keep(), if it is
// kept. Running it again ends what its last run left unread.
std::optional<QSqlQuery> find(const QSqlDatabase& db, const QString& sql);

// Keeps `query`, prepared from `sql` on `db`, for the next find().
void keep(const QSqlDatabase& db, const QString& sql, const QSqlQuery& query);

// Gives up the statement `sql` on `db`, after it failed: a server plan
// turned invalid by a changed table is prepared afresh next time.
void drop(const QSqlDatabase& db, const QString& sql);

// Gives up every statement kept on `db`, before it is closed or opened
// again: a new session has none of them.
void forget(const QSqlDatabase& db);

} // namespace PreparedStatements
