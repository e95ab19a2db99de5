#pragma once

#include "store/Register.h"
#include "support/PgCluster.h"

#include <QTest>

// Cases run on either kind of register take a bool column `server`: false
// for an SQLite register, true for one on the test server.
inline Register::Kind kindOf(bool server)
{
    return server ? Register::Kind::Postgres : Register::Kind::Sqlite;
}

inline const char* kindName(bool server)
{
    return server ? "postgresql" : "sqlite";
}

// The column and one row per kind, for a case with no other data.
inline void kinds()
{
    QTest::addColumn<bool>("server");
    for (bool server : {false, true})
        QTest::newRow(kindName(server)) << server;
}

// A row `name` on the kind `server`, for tables with more columns: add
// `server` first, then each row once per kind.
inline QTestData& kindRow(bool server, const char* name)
{
    return QTest::addRow("%s: %s", kindName(server), name) << server;
}

// In a test function: `kind`, the register kind of the current row, with the
// row skipped (failed where the server is required) when it needs a server
// there is not.
#define FETCH_KIND(kind)                                                                           \
    QFETCH(bool, server);                                                                          \
    NEED_KIND(server);                                                                             \
    const Register::Kind kind = kindOf(server)
