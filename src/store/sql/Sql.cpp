#include "store/sql/Sql.h"

#include "store/RegisterWatch.h"
#include "store/pg/PgConnection.h"
#include "store/pg/PreparedStatements.h"
#include "store/sql/SqlDialect.h"

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
    if (PgConnection::isBroken(db))
        return PgConnection::brokenError(db, what + QStringLiteral(": ") + error.text());
    return SqlDialect::of(db).errorFrom(error, what);
}

namespace {

Result<QSqlQuery> runOnce(const QSqlDatabase& db, const QString& sql, const QVariantList& values)
{
    std::optional<QSqlQuery> kept = PreparedStatements::find(db, sql);
    QSqlQuery query = kept ? std::move(*kept) : QSqlQuery(db);
    const bool keep = !kept && PreparedStatements::keeps(db);
    if (!kept) {
        // A kept statement's rows are read whole: rows left unread would
        // hold the connection, and the notices it listens for, until the
        // statement ran again.
        query.setForwardOnly(!keep);
        if (!query.prepare(sql))
            return errorOn(db, query.lastError(), sql);
    }
    // By position, so that a kept statement's values replace its last ones.
    for (qsizetype i = 0; i < values.size(); ++i)
        query.bindValue(int(i), values[i]);
    if (!query.exec()) {
        if (kept)
            PreparedStatements::drop(db, sql);
        return errorOn(db, query.lastError(), sql);
    }
    if (keep)
        PreparedStatements::keep(db, sql, query);
    return query;
}

} // namespace

Result<QSqlQuery> run(const QSqlDatabase& db, const QString& sql, const QVariantList& values)
{
    return PgConnection::againAfterBreak(db, [&] { return runOnce(db, sql, values); });
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
    // Either way reading the next serial and inserting never interleave with
    // another writer. A server connection that broke since its last use is
    // opened again here, as nothing has been done yet.
    const SqlDialect& dialect = SqlDialect::of(m_db);
    const QString sql = dialect.beginWrite();
    QSqlQuery begin(m_db);
    const bool begun = PgConnection::againAfterBreak(m_db, [&] {
        begin = QSqlQuery(m_db);
        return begin.exec(sql);
    });
    if (!begun) {
        m_error = Sql::errorOn(m_db, begin.lastError(), sql);
        return;
    }
    m_active = true;
    Result<QString> locked = dialect.lockForWrite(m_db);
    if (!locked) {
        m_error = locked.error();
        end();
        return;
    }
    m_xid = locked.value();
}

Transaction::~Transaction()
{
    end();
}

void Transaction::end()
{
    if (!m_active)
        return;
    m_active = false;
    PgConnection::setWriting(m_db, false);
    QSqlQuery rollback(m_db);
    rollback.exec(QStringLiteral("ROLLBACK"));
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
    // Cut before the COMMIT was sent: the server rolls it back.
    if (PgConnection::isBroken(m_db)) {
        const Error cut = PgConnection::brokenError(m_db, QStringLiteral("COMMIT"));
        end();
        return cut;
    }
    QSqlQuery commitQuery(m_db);
    // Announced on both sides, failed or not, so that a window of this
    // program takes the change for its own.
    RegisterWatch::commitStarting();
    const bool committed = commitQuery.exec(QStringLiteral("COMMIT"));
    RegisterWatch::commitEnded();
    if (committed) {
        m_active = false;
        PgConnection::setWriting(m_db, false);
        return {};
    }
    const Error failure = Sql::errorOn(m_db, commitQuery.lastError(), QStringLiteral("COMMIT"));
    // SQLite's failed COMMIT leaves the transaction open for end() to roll
    // back; a server's has ended either way.
    const SqlDialect& dialect = SqlDialect::of(m_db);
    if (dialect.onServer())
        m_active = false;
    return dialect.commitFailed(m_db, m_xid, failure);
}
