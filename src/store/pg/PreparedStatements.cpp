#include "store/pg/PreparedStatements.h"

#include "store/pg/PgConnection.h"
#include "store/sql/SqlDialect.h"

#include <QPointer>
#include <QSqlDriver>

#include <unordered_map>

namespace PreparedStatements {

namespace {

// Fixed texts number a few dozen; texts built per view or search come and
// go, and each kept one holds a little memory on the server.
constexpr std::size_t keptPerConnection = 128;

struct Kept {
    QSqlQuery query;
    quint64 lastUse = 0;
};

// The statement kept and the one its caller reads must be one and the
// same, so the query is shared, which Qt keeps possible but marks as not
// meant: a caller is through with its rows before the statement runs again.
QSqlQuery shared(const QSqlQuery& query)
{
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    return QSqlQuery(query);
    QT_WARNING_POP
}

struct Connection {
    // Statements belong to the driver they were prepared on; a connection
    // of the same name opened since has none of them.
    QPointer<QSqlDriver> driver;
    std::unordered_map<QString, Kept> statements;
    quint64 uses = 0;
};

// A connection is used only on the thread that opened it, so each thread
// keeps its own, by connection name.
std::unordered_map<QString, Connection>& keptOnThisThread()
{
    thread_local std::unordered_map<QString, Connection> kept;
    return kept;
}

} // namespace

bool keeps(const QSqlDatabase& db)
{
    return SqlDialect::of(db).onServer() && PgConnection::writing(db);
}

std::optional<QSqlQuery> find(const QSqlDatabase& db, const QString& sql)
{
    if (!keeps(db))
        return std::nullopt;
    auto connection = keptOnThisThread().find(db.connectionName());
    if (connection == keptOnThisThread().end())
        return std::nullopt;
    if (connection->second.driver != db.driver()) {
        keptOnThisThread().erase(connection);
        return std::nullopt;
    }
    auto kept = connection->second.statements.find(sql);
    if (kept == connection->second.statements.end())
        return std::nullopt;
    kept->second.lastUse = ++connection->second.uses;
    return shared(kept->second.query);
}

void keep(const QSqlDatabase& db, const QString& sql, const QSqlQuery& query)
{
    if (!keeps(db))
        return;
    Connection& connection = keptOnThisThread()[db.connectionName()];
    if (connection.driver != db.driver()) {
        connection.statements.clear();
        connection.driver = db.driver();
    }
    if (connection.statements.size() >= keptPerConnection && !connection.statements.count(sql)) {
        auto oldest = connection.statements.begin();
        for (auto it = connection.statements.begin(); it != connection.statements.end(); ++it) {
            if (it->second.lastUse < oldest->second.lastUse)
                oldest = it;
        }
        connection.statements.erase(oldest);
    }
    connection.statements.insert_or_assign(sql, Kept{shared(query), ++connection.uses});
}

void drop(const QSqlDatabase& db, const QString& sql)
{
    auto connection = keptOnThisThread().find(db.connectionName());
    if (connection != keptOnThisThread().end())
        connection->second.statements.erase(sql);
}

void forget(const QSqlDatabase& db)
{
    keptOnThisThread().erase(db.connectionName());
}

} // namespace PreparedStatements
