#pragma once

#include "base/Result.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <functional>
#include <optional>

// The words in which SQLite's SQL and a PostgreSQL server's differ, so that
// each statement both kinds of register run is written once. Both keep the
// same tables and column names; what differs is how a record is named, how
// Nulls compare and sort, how a bound value gets its type, and the upsert,
// RETURNING and lock statements.
class SqlDialect {
public:
    static const SqlDialect& sqlite();
    static const SqlDialect& server();
    // The dialect of the connection's kind of database: the one place that
    // asks which kind it is.
    static const SqlDialect& of(const QSqlDatabase& db);
    // Whether it is a server's, for the code that speaks to a server alone.
    bool onServer() const { return m_server; }

    // The record table's identity, unquoted: SQLite's rowid (which the
    // identity column aliases), the server's identity column.
    QString identityName() const;
    // The same for SQL text, after `prefix` (an alias and a dot).
    QString identity(const QString& prefix = QString()) const;
    // The column whose order makes the saved queries' slots.
    QString queryOrder() const;

    // Bound values, typed for a server, which cannot tell the type of one
    // from every place it stands in (a select list, IS NOT DISTINCT FROM).
    QString number() const; // a 64-bit integer
    QString text() const;
    QString count() const; // a LIMIT or an OFFSET

    // `left` equals `right`, two Nulls counting as equal.
    QString same(const QString& left, const QString& right) const;
    // After an ORDER BY term: texts in byte order, as SQLite sorts them,
    // whatever the server's locale.
    QString byteOrder() const;
    // After an ORDER BY term: Nulls first, as SQLite sorts them.
    QString nullsFirst() const;
    // What `column` holds, named as SQLite's typeof() names it.
    QString typeOf(const QString& column) const;

    // The condition that the serial column `column` holds `serial`, with its
    // values; none when no serial of this kind can be `serial`. SQLite's
    // column may hold a serial as text, the server's holds only numbers.
    struct Condition {
        QString sql;
        QVariantList values;
    };
    std::optional<Condition> serialIs(const QString& column, const QVariant& serial) const;

    // INSERT INTO `table` (`columns`, quoted) `select`, replacing the row
    // whose first column is the same.
    QString upsert(const QString& table, const QStringList& columns, const QString& select) const;
    // Ends an INSERT of one row whose identity insertedIdentity() then reads.
    QString returningIdentity() const;
    // The identity of the record that INSERT added; none when it added none.
    std::optional<qint64> insertedIdentity(QSqlQuery& query) const;

    // Locks the records `identities` in one order, so that two writers never
    // wait on each other crosswise. SQLite's write transaction already holds
    // the whole file.
    Status lockRecords(const QSqlDatabase& db, const QVariantList& identities) const;
    // Locks `table` against other writers until the transaction ends.
    Status lockTable(const QSqlDatabase& db, const QString& table) const;
    // Runs `attempt` (one whole write transaction), again while a server
    // refused it because another writer was in the way. SQLite has already
    // waited its busy timeout.
    Status retried(const std::function<Status()>& attempt) const;

    // The user's text and the technical detail of a failed statement.
    Error errorFrom(const QSqlError& error, const QString& what) const;
    // Runs a statement that makes or changes a table: a server prepares none.
    Status define(const QSqlDatabase& db, const QString& sql) const;
    // A query counting the tables of the register's schema named as its one value.
    QString tableCount() const;
    // A query counting the columns of table ? named ? (1 when it has it).
    QString columnCount() const;

    // The statement that begins a write transaction: SQLite's BEGIN IMMEDIATE
    // takes its write lock at once.
    QString beginWrite() const;
    // Inside a write transaction just begun, the register's write lock: a
    // server's advisory lock, waited for at most its lock_timeout (SQLite
    // already holds it). Gives the transaction's id, by which a server tells
    // later whether a COMMIT cut in flight landed (SQLite's is empty).
    Result<QString> lockForWrite(const QSqlDatabase& db) const;
    // What a failed COMMIT of transaction `id` came to: on a server it is looked
    // up before anyone cleans up after a write that may have landed.
    Status commitFailed(const QSqlDatabase& db, const QString& id, const Error& failure) const;

private:
    explicit SqlDialect(bool server) : m_server(server) {}

    bool m_server;
};
