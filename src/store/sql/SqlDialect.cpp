#include "store/sql/SqlDialect.h"

#include "store/RegisterNames.h"
#include "store/pg/PgConnection.h"
#include "store/pg/PgSchema.h"
#include "store/pg/PgSql.h"
#include "store/sql/Sql.h"

#include <QSqlError>

const SqlDialect& SqlDialect::sqlite()
{
    static const SqlDialect dialect(false);
    return dialect;
}

const SqlDialect& SqlDialect::server()
{
    static const SqlDialect dialect(true);
    return dialect;
}

const SqlDialect& SqlDialect::of(const QSqlDatabase& db)
{
    return db.driverName() == QLatin1String("QPSQL") ? server() : sqlite();
}

QString SqlDialect::identityName() const
{
    return m_server ? RegisterNames::identity : QStringLiteral("rowid");
}

QString SqlDialect::identity(const QString& prefix) const
{
    return prefix + (m_server ? Sql::identifier(RegisterNames::identity) : QStringLiteral("rowid"));
}

QString SqlDialect::queryOrder() const
{
    return m_server ? Sql::identifier(PgSchema::queryOrderColumn) : QStringLiteral("rowid");
}

QString SqlDialect::number() const
{
    return m_server ? QStringLiteral("?::bigint") : QStringLiteral("?");
}

QString SqlDialect::text() const
{
    return m_server ? QStringLiteral("?::text") : QStringLiteral("?");
}

QString SqlDialect::count() const
{
    return m_server ? QStringLiteral("?::int") : QStringLiteral("?");
}

QString SqlDialect::same(const QString& left, const QString& right) const
{
    return left + (m_server ? QStringLiteral(" IS NOT DISTINCT FROM ") : QStringLiteral(" IS ")) +
           right;
}

QString SqlDialect::byteOrder() const
{
    return m_server ? QStringLiteral(" COLLATE \"C\"") : QString();
}

QString SqlDialect::nullsFirst() const
{
    return m_server ? QStringLiteral(" NULLS FIRST") : QString();
}

QString SqlDialect::typeOf(const QString& column) const
{
    if (!m_server)
        return QStringLiteral("typeof(%1)").arg(column);
    return QStringLiteral("CASE WHEN %1 IS NULL THEN 'null' ELSE 'integer' END").arg(column);
}

std::optional<SqlDialect::Condition> SqlDialect::serialIs(const QString& column,
                                                          const QVariant& serial) const
{
    if (!m_server)
        return Condition{QStringLiteral("(%1 = ? OR %1 = ?)").arg(column),
                         {serial, serial.toString()}};
    bool isNumber = false;
    const qint64 value = serial.toLongLong(&isNumber);
    if (!isNumber)
        return std::nullopt;
    return Condition{column + QStringLiteral(" = ?::bigint"), {value}};
}

QString SqlDialect::upsert(const QString& table, const QStringList& columns,
                           const QString& select) const
{
    QStringList quoted;
    for (const QString& column : columns)
        quoted << Sql::identifier(column);
    const QString into =
        QStringLiteral("INTO %1 (%2) %3")
            .arg(Sql::identifier(table), quoted.join(QStringLiteral(", ")), select);
    if (!m_server)
        return QStringLiteral("INSERT OR REPLACE ") + into;
    QStringList updates;
    for (const QString& column : quoted.mid(1))
        updates << QStringLiteral("%1 = excluded.%1").arg(column);
    return QStringLiteral("INSERT %1 ON CONFLICT (%2) DO UPDATE SET %3")
        .arg(into, quoted.first(), updates.join(QStringLiteral(", ")));
}

QString SqlDialect::returningIdentity() const
{
    return m_server ? QStringLiteral(" RETURNING ") + identity() : QString();
}

std::optional<qint64> SqlDialect::insertedIdentity(QSqlQuery& query) const
{
    if (m_server)
        return query.next() ? std::optional<qint64>(query.value(0).toLongLong()) : std::nullopt;
    // A trigger may have skipped the row; lastInsertId() would then name an earlier one.
    if (query.numRowsAffected() != 1)
        return std::nullopt;
    return query.lastInsertId().toLongLong();
}

Status SqlDialect::lockRecords(const QSqlDatabase& db, const QVariantList& identities) const
{
    if (!m_server || identities.isEmpty())
        return {};
    QStringList marks;
    for (qsizetype i = 0; i < identities.size(); ++i)
        marks << QStringLiteral("?");
    Result<QSqlQuery> locked =
        Sql::run(db,
                 QStringLiteral("SELECT 1 FROM %1 WHERE %2 IN (%3) ORDER BY %2 FOR UPDATE")
                     .arg(Sql::identifier(RegisterNames::recordTable), identity(),
                          marks.join(QStringLiteral(", "))),
                 identities);
    if (!locked)
        return locked.error();
    return {};
}

Status SqlDialect::lockTable(const QSqlDatabase& db, const QString& table) const
{
    if (!m_server)
        return {};
    // LOCK cannot be prepared.
    return PgSql::exec(
        db,
        QStringLiteral("LOCK TABLE %1 IN SHARE ROW EXCLUSIVE MODE").arg(Sql::identifier(table)));
}

Status SqlDialect::retried(const std::function<Status()>& attempt) const
{
    return m_server ? PgSql::retried(attempt) : attempt();
}

Error SqlDialect::errorFrom(const QSqlError& error, const QString& what) const
{
    return m_server ? PgSql::errorFrom(error, what) : Sql::errorFrom(error, what);
}

Status SqlDialect::define(const QSqlDatabase& db, const QString& sql) const
{
    if (m_server)
        return PgSql::exec(db, sql);
    Result<QSqlQuery> made = Sql::run(db, sql);
    if (!made)
        return made.error();
    return {};
}

QString SqlDialect::tableCount() const
{
    return m_server ? QStringLiteral("SELECT count(*) FROM pg_catalog.pg_tables WHERE schemaname = "
                                     "current_schema() AND tablename = ?")
                    : QStringLiteral(
                          "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = ?");
}

QString SqlDialect::columnCount() const
{
    return m_server ? QStringLiteral("SELECT count(*) FROM information_schema.columns WHERE "
                                     "table_schema = current_schema() AND table_name = ? AND "
                                     "column_name = ?")
                    : QStringLiteral("SELECT count(*) FROM pragma_table_info(?) WHERE name = ?");
}

QString SqlDialect::beginWrite() const
{
    return m_server ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE");
}

Result<QString> SqlDialect::lockForWrite(const QSqlDatabase& db) const
{
    if (!m_server)
        return QString();
    PgConnection::setWriting(db, true);
    Result<QSqlQuery> locked =
        Sql::run(db, QStringLiteral("SELECT pg_advisory_xact_lock(?), pg_current_xact_id()::text"),
                 {PgSql::writeLock});
    if (locked && locked->next())
        return locked->value(1).toString();
    return locked ? Error{Sql::busyMessage(), QStringLiteral("pg_advisory_xact_lock")}
                  : locked.error();
}

Status SqlDialect::commitFailed(const QSqlDatabase& db, const QString& id,
                                const Error& failure) const
{
    return m_server ? PgConnection::commitOutcome(db, id, failure) : Status(failure);
}
