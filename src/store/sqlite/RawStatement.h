#pragma once

#include "base/Result.h"

#include <QByteArrayView>
#include <QSqlDatabase>
#include <QVariantList>

struct sqlite3;
struct sqlite3_stmt;

// A statement on the SQLite handle underneath a Qt connection, for the few
// hot loops (loading a view's keys) where QSqlQuery's per-row QVariant cost
// would dominate. Same connection, same transaction state.
class RawStatement {
public:
    RawStatement(const QSqlDatabase& db, const QString& sql, const QVariantList& values = {});
    ~RawStatement();
    RawStatement(const RawStatement&) = delete;
    RawStatement& operator=(const RawStatement&) = delete;

    // The SQLite handle under a Qt connection; null for another driver.
    static sqlite3* handleOf(const QSqlDatabase& db);

    bool ok() const { return m_statement != nullptr; }
    const Error& error() const { return m_error; }

    // Steps to the next row; false at the end or on failure (see error()).
    bool next();
    qint64 int64(int column) const;
    // The current row's column as SQLite holds it (SQLITE_INTEGER, …).
    int type(int column) const;
    // Its text in UTF-8, empty for NULL; valid until the next step.
    QByteArrayView utf8(int column) const;
    // Its value as Qt's SQLite driver gives it, for rows that must read as
    // QSqlQuery reads them.
    QVariant value(int column) const;
    // How many steps a full scan of a table or index has taken so far.
    int fullScanSteps() const;

private:
    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_statement = nullptr;
    Error m_error;
};
