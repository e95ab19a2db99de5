#include "store/pg/PgConnection.h"

#include "store/pg/LibPq.h"
#include "store/pg/PreparedStatements.h"
#include "store/sql/Sql.h"
#include "store/sql/SqlDialect.h"

#include <QDeadlineTimer>
#include <QSqlDriver>
#include <QThread>

namespace PgConnection {

namespace {

// Kept on the driver, which lives as long as the named connection.
constexpr char writingProperty[] = "quorvelWriting";
constexpr char channelsProperty[] = "quorvelChannels";

QString cutText()
{
    return QStringLiteral("与数据库服务器的连接中断，更改未保存，未做任何更改，请再试一次。");
}

} // namespace

PGconn* handleOf(const QSqlDatabase& db)
{
    const QSqlDriver* driver = db.driver();
    if (!driver || !SqlDialect::of(db).onServer() || !LibPq::get().loaded)
        return nullptr;
    const QVariant handle = driver->handle();
    // The driver names the type by its struct tag.
    if (!handle.isValid() ||
        (qstrcmp(handle.typeName(), "pg_conn*") != 0 && qstrcmp(handle.typeName(), "PGconn*") != 0))
        return nullptr;
    return *static_cast<PGconn* const*>(handle.constData());
}

bool isBroken(const QSqlDatabase& db)
{
    PGconn* connection = handleOf(db);
    return connection && LibPq::get().status(connection) == CONNECTION_BAD;
}

bool retriable(const QSqlDatabase& db)
{
    PGconn* connection = handleOf(db);
    if (!connection || writing(db))
        return false;
    // Found broken already (a LISTEN reads the socket between statements):
    // only a write transaction could have been open on it, and that is not.
    return LibPq::get().status(connection) == CONNECTION_BAD ||
           LibPq::get().transactionStatus(connection) == PQTRANS_IDLE;
}

bool reopenedAfterBreak(const QSqlDatabase& db, bool wasRetriable)
{
    return wasRetriable && isBroken(db) && reopen(db);
}

bool reopen(QSqlDatabase db, bool afresh)
{
    QSqlDriver* driver = db.driver();
    if (!driver || !SqlDialect::of(db).onServer() || writing(db))
        return db.isOpen();
    if (db.isOpen() && !isBroken(db) && !afresh)
        return true;
    // Closing forgets the LISTENs; an open that fails now is tried again
    // later, so they are kept on the driver until one succeeds.
    QStringList channels = driver->subscribedToNotifications();
    if (channels.isEmpty())
        channels = driver->property(channelsProperty).toStringList();
    driver->setProperty(channelsProperty, channels);
    PreparedStatements::forget(db);
    db.close();
    if (!db.open())
        return false;
    driver->setProperty(channelsProperty, QVariant());
    for (const QString& channel : std::as_const(channels)) {
        driver->subscribeToNotification(channel);
        Q_EMIT driver->notification(channel, QSqlDriver::OtherSource, QVariant());
    }
    return true;
}

void setWriting(const QSqlDatabase& db, bool writing)
{
    if (QSqlDriver* driver = db.driver(); driver && SqlDialect::of(db).onServer())
        driver->setProperty(writingProperty, writing);
}

bool writing(const QSqlDatabase& db)
{
    return db.driver() && db.driver()->property(writingProperty).toBool();
}

Error brokenError(const QSqlDatabase& db, const QString& detail)
{
    if (writing(db))
        return {cutText(), detail, ErrorCode::Disconnected};
    return {QStringLiteral("与数据库服务器的连接中断，请稍后再试。"), detail,
            ErrorCode::Disconnected};
}

Status commitOutcome(QSqlDatabase db, const QString& xid, const Error& failure)
{
    const QString detail = failure.detail;
    const Error unknown{QStringLiteral("无法确认更改是否已保存：与数据库服务器的连接在保存时"
                                       "中断。请刷新后查看，必要时用“检查登记库”核对。"),
                        detail, ErrorCode::Uncertain};
    // A cut connection reads as a refusal until libpq has seen the socket
    // close, so the failure alone never tells whether the COMMIT landed.
    const Error rolledBack = failure.code == ErrorCode::Disconnected
                                 ? Error{cutText(), detail, ErrorCode::Disconnected}
                                 : failure;
    PGconn* connection = handleOf(db);
    // Asked on the same connection only when it is sound and idle: the
    // server then ended the transaction and answered for it.
    const bool sound = connection && LibPq::get().status(connection) == CONNECTION_OK &&
                       LibPq::get().transactionStatus(connection) == PQTRANS_IDLE;
    setWriting(db, false);
    if (xid.isEmpty() || !reopen(db, !sound))
        return unknown;
    // A COMMIT that reached the server finishes there however the client
    // went; one that did not is rolled back once the server notices. Until
    // then the transaction is still in progress.
    const QDeadlineTimer deadline(Sql::busyTimeoutMs);
    for (;;) {
        Result<QVariant> status =
            Sql::scalar(db, QStringLiteral("SELECT pg_xact_status(?::text::xid8)"), {xid});
        if (!status)
            return Error{unknown.message, detail + QStringLiteral("\n") + status.error().detail,
                         ErrorCode::Uncertain};
        const QString state = status->toString();
        if (state == QLatin1String("committed"))
            return {};
        if (state == QLatin1String("aborted"))
            return rolledBack;
        if (state != QLatin1String("in progress") || deadline.hasExpired())
            return unknown;
        QThread::msleep(50);
    }
}

} // namespace PgConnection
