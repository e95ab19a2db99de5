#pragma once

#include "store/Result.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariantList>

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

// How long a program waits for another that holds the register locked.
constexpr int busyTimeoutMs = 3000;

// The text for a register another program holds longer than the busy wait.
QString busyMessage();
bool isBusy(const Error& error);

// Quotes an identifier (our Chinese table and column names) for SQL text.
QString identifier(const QString& name);

} // namespace Sql

// Begins on construction; rolls back on destruction unless committed.
class Transaction {
public:
    explicit Transaction(QSqlDatabase db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    bool started() const { return m_active; }
    const Error& startError() const { return m_error; }
    Status commit();

private:
    QSqlDatabase m_db;
    bool m_active = false;
    Error m_error;
};
