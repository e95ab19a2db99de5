#pragma once

#include "base/Result.h"
#include "store/StoreTransaction.h"

#include <QSqlDatabase>

#include <QSqlQuery>
#include <QVariantList>
#include <memory>

// Thin helpers over QSqlQuery: statements are prepared from fixed texts and
// every value is bound, never spliced into the text.
namespace Sql {

Result<QSqlQuery> run(const QSqlDatabase& db, const QString& sql, const QVariantList& values = {});

// First column of the first row, or a null QVariant when there is no row.
Result<QVariant> scalar(const QSqlDatabase& db, const QString& sql,
                        const QVariantList& values = {});

// Turns a failed statement into a user-facing error. A locked database gets
// the "busy, try again" text so the user knows nothing is broken.
Error errorFrom(const QSqlError& error, const QString& what);
// The error as the connection's kind of database sorts it: a server's by
// its SQLSTATE, SQLite's by its codes.
Error errorOn(const QSqlDatabase& db, const QSqlError& error, const QString& what);

// How long a program waits for another that holds the register locked.
constexpr int busyTimeoutMs = 3000;

// The text for a register another program holds longer than the busy wait.
QString busyMessage();
bool isBusy(const Error& error);

// Quotes an identifier (our Chinese table and column names) for SQL text.
QString identifier(const QString& name);

} // namespace Sql

// Begins on construction, holding the register's write lock; rolls back on
// destruction unless committed. Writes take turns on both kinds of register:
// a repair, a delete or a restore acts on files by what it read, which
// another writer must not change meanwhile.
class Transaction : public StoreTransaction {
public:
    explicit Transaction(QSqlDatabase db);
    ~Transaction() override;
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // A started transaction for a store's beginWrite(), or why it could not start.
    static Result<std::unique_ptr<StoreTransaction>> begin(QSqlDatabase db);

    bool started() const { return m_active; }
    const Error& startError() const { return m_error; }
    Status commit() override;

private:
    // Rolls back what is still open.
    void end();

    QSqlDatabase m_db;
    bool m_active = false;
    Error m_error;
    QString m_xid; // a server transaction's id
};
