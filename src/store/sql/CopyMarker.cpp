#include "store/sql/CopyMarker.h"

#include "store/RecordStore.h"
#include "store/pg/PgSql.h"
#include "store/sql/Sql.h"

namespace CopyMarker {

namespace {

const QString table = QStringLiteral("复制来源");
const QString column = QStringLiteral("来源");

// The same SQL on both kinds of register; made only by a copy, so older
// registers and those never copied lack it.
Status ensureTable(const QSqlDatabase& db)
{
    const QString sql = QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2 TEXT NOT NULL)")
                            .arg(Sql::identifier(table), Sql::identifier(column));
    // A server prepares no DDL.
    if (db.driverName() == QLatin1String("QPSQL"))
        return PgSql::exec(db, sql);
    Result<QSqlQuery> made = Sql::run(db, sql);
    if (!made)
        return made.error();
    return {};
}

// Whether the table is there; looked for rather than read, so that reading
// a register never changes it.
Result<bool> hasTable(const QSqlDatabase& db)
{
    const QString sql =
        db.driverName() == QLatin1String("QPSQL")
            ? QStringLiteral("SELECT count(*) FROM pg_catalog.pg_tables WHERE schemaname = "
                             "current_schema() AND tablename = ?")
            : QStringLiteral(
                  "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = ?");
    Result<QVariant> count = Sql::scalar(db, sql, {table});
    if (!count)
        return count.error();
    return count->toLongLong() > 0;
}

} // namespace

Result<QString> read(const Register& target)
{
    const QSqlDatabase db = target.database();
    Result<bool> present = hasTable(db);
    if (!present)
        return present.error();
    if (!*present)
        return QString();
    Result<QVariant> source = Sql::scalar(
        db,
        QStringLiteral("SELECT %1 FROM %2").arg(Sql::identifier(column), Sql::identifier(table)));
    if (!source)
        return source.error();
    return source->toString();
}

Status write(const Register& target, const QString& source)
{
    const std::unique_ptr<RecordStore> records = target.records();
    Result<std::unique_ptr<StoreTransaction>> transaction = records->beginWrite();
    if (!transaction)
        return transaction.error();
    const QSqlDatabase db = target.database();
    if (Status made = ensureTable(db); !made)
        return made;
    Result<QSqlQuery> cleared =
        Sql::run(db, QStringLiteral("DELETE FROM %1").arg(Sql::identifier(table)));
    if (!cleared)
        return cleared.error();
    Result<QSqlQuery> written = Sql::run(db,
                                         QStringLiteral("INSERT INTO %1 (%2) VALUES (?)")
                                             .arg(Sql::identifier(table), Sql::identifier(column)),
                                         {source});
    if (!written)
        return written.error();
    return transaction.value()->commit();
}

} // namespace CopyMarker
