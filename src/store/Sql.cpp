#include "store/Sql.h"

#include "store/PgSql.h"
#include "store/RegisterWatch.h"

#include <QSqlError>

namespace Sql {

QString busyMessage()
{
    return QStringLiteral("登记库正被其他程序使用，请稍后再试。");
}

bool isBusy(const Error& error)
{
    return error.code == ErrorCode::Busy;
}

Error errorFrom(const QSqlError& error, const QString& what)
{
    const QString text = error.text();
    // SQLITE_BUSY (5) and SQLITE_LOCKED (6): another program holds the register.
    const QString code = error.nativeErrorCode();
    if (code == QLatin1String("5") || code == QLatin1String("6") ||
        text.contains(QLatin1String("locked"), Qt::CaseInsensitive)) {
        return {busyMessage(), what + QStringLiteral(": ") + text, ErrorCode::Busy};
    }
    if (text.contains(QLatin1String("readonly"), Qt::CaseInsensitive) ||
        text.contains(QLatin1String("read-only"), Qt::CaseInsensitive)) {
        return {QStringLiteral("登记库是只读的，无法保存更改。"),
                what + QStringLiteral(": ") + text};
    }
    if (text.contains(QLatin1String("malformed"), Qt::CaseInsensitive) ||
        text.contains(QLatin1String("not a database"), Qt::CaseInsensitive)) {
        return {QStringLiteral("登记库文件已损坏。"), what + QStringLiteral(": ") + text,
                ErrorCode::Damaged};
    }
    if (text.contains(QLatin1String("disk is full"), Qt::CaseInsensitive) ||
        text.contains(QLatin1String("disk full"), Qt::CaseInsensitive)) {
        return {QStringLiteral("磁盘已满，无法保存更改。"), what + QStringLiteral(": ") + text};
    }
    return {QStringLiteral("访问登记库时出错。"), what + QStringLiteral(": ") + text};
}

Error errorOn(const QSqlDatabase& db, const QSqlError& error, const QString& what)
{
    return db.driverName() == QLatin1String("QPSQL") ? PgSql::errorFrom(error, what)
                                                     : errorFrom(error, what);
}

Result<QSqlQuery> run(const QSqlDatabase& db, const QString& sql, const QVariantList& values)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        return errorOn(db, query.lastError(), sql);
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (!query.exec())
        return errorOn(db, query.lastError(), sql);
    return query;
}

Result<QVariant> scalar(const QSqlDatabase& db, const QString& sql, const QVariantList& values)
{
    Result<QSqlQuery> query = run(db, sql, values);
    if (!query)
        return query.error();
    if (!query->next())
        return QVariant();
    return query->value(0);
}

QString identifier(const QString& name)
{
    QString quoted = name;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace Sql

Transaction::Transaction(QSqlDatabase db) : m_db(std::move(db))
{
    // BEGIN IMMEDIATE takes SQLite's write lock at once; a server takes an
    // advisory lock, waiting at most its lock_timeout. Either way reading
    // the next serial and inserting never interleave with another writer.
    const bool server = m_db.driverName() == QLatin1String("QPSQL");
    QSqlQuery begin(m_db);
    if (!begin.exec(server ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE"))) {
        m_error = Sql::errorOn(m_db, begin.lastError(), QStringLiteral("BEGIN"));
        return;
    }
    m_active = true;
    if (!server)
        return;
    if (Result<QVariant> locked = Sql::scalar(
            m_db, QStringLiteral("SELECT pg_advisory_xact_lock(?)"), {PgSql::writeLock});
        !locked) {
        m_error = locked.error();
        QSqlQuery rollback(m_db);
        rollback.exec(QStringLiteral("ROLLBACK"));
        m_active = false;
    }
}

Transaction::~Transaction()
{
    if (m_active) {
        QSqlQuery rollback(m_db);
        rollback.exec(QStringLiteral("ROLLBACK"));
    }
}

Result<std::unique_ptr<StoreTransaction>> Transaction::begin(QSqlDatabase db)
{
    auto transaction = std::make_unique<Transaction>(std::move(db));
    if (!transaction->started())
        return transaction->startError();
    return std::unique_ptr<StoreTransaction>(std::move(transaction));
}

Status Transaction::commit()
{
    if (!m_active)
        return m_error;
    QSqlQuery commitQuery(m_db);
    // Announced on both sides, failed or not, so that a window of this
    // program takes the change for its own.
    RegisterWatch::commitStarting();
    const bool committed = commitQuery.exec(QStringLiteral("COMMIT"));
    RegisterWatch::commitEnded();
    if (!committed)
        return Sql::errorOn(m_db, commitQuery.lastError(), QStringLiteral("COMMIT"));
    m_active = false;
    return {};
}
