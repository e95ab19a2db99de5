#include "store/sql/CopyMarker.h"

#include "store/RecordStore.h"
#include "store/sql/Sql.h"
#include "store/sql/SqlDialect.h"

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
    return SqlDialect::of(db).define(db, sql);
}

// Whether the table is there; looked for rather than read, so that reading
// a register never changes it.
Result<bool> hasTable(const QSqlDatabase& db)
{
    Result<QVariant> count = Sql::scalar(db, SqlDialect::of(db).tableCount(), {table});
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
