#include "store/view/ReadSnapshot.h"

#include "store/pg/PgSql.h"
#include "store/sql/Sql.h"
#include "store/sqlite/RawStatement.h"

#include <sqlite3.h>

ReadSnapshot::ReadSnapshot(const Register& reg)
    : m_db(reg.database()),
      m_handle(reg.kind() == Register::Kind::Sqlite ? RawStatement::handleOf(m_db) : nullptr)
{
    if (m_handle) {
        if (sqlite3_get_autocommit(m_handle) != 0)
            m_began = sqlite3_exec(m_handle, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
        return;
    }
    // A server's statement outside a transaction block starts its own
    // transaction, so its start is the transaction's; inside a block
    // (where BEGIN would only warn) they differ.
    Result<QVariant> outside =
        Sql::scalar(m_db, QStringLiteral("SELECT transaction_timestamp() = statement_timestamp()"));
    m_began = outside && outside->toBool() &&
              PgSql::exec(m_db, QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"));
}

ReadSnapshot::~ReadSnapshot()
{
    if (!m_began)
        return;
    if (m_handle)
        sqlite3_exec(m_handle, "COMMIT", nullptr, nullptr, nullptr);
    else
        (void)PgSql::exec(m_db, QStringLiteral("COMMIT"));
}
