#include "store/PgKeys.h"

#include "store/PgConnection.h"
#include "store/Sql.h"

#include <QDate>
#include <QSqlDriver>
#include <QSqlError>
#include <QtEndian>

#include <libpq-fe.h>

#include <memory>
#include <vector>

namespace PgKeys {

namespace {

struct ResultDeleter {
    void operator()(PGresult* result) const { PQclear(result); }
};
using ResultPtr = std::unique_ptr<PGresult, ResultDeleter>;

// A value as the server reads it in text; nothing for NULL.
std::optional<QByteArray> textOf(const QVariant& value)
{
    if (value.isNull())
        return std::nullopt;
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? QByteArray("true") : QByteArray("false");
    case QMetaType::QDate:
        return value.toDate().toString(Qt::ISODate).toUtf8();
    default:
        return value.toString().toUtf8();
    }
}

Status runOnce(const QSqlDatabase& db, const QByteArray& sql, const QVariantList& values,
               const std::function<void(qint64)>& each, const QString& what)
{
    std::vector<std::optional<QByteArray>> texts;
    std::vector<const char*> pointers;
    texts.reserve(std::size_t(values.size()));
    for (const QVariant& value : values)
        texts.push_back(textOf(value));
    for (const std::optional<QByteArray>& text : texts)
        pointers.push_back(text ? text->constData() : nullptr);
    // Types are left to the server, as they are when Qt's driver prepares.
    const ResultPtr result(PQexecParams(PgConnection::handleOf(db), sql.constData(),
                                        int(pointers.size()), nullptr, pointers.data(), nullptr,
                                        nullptr, 1));
    if (PQresultStatus(result.get()) != PGRES_TUPLES_OK) {
        const char* state = result ? PQresultErrorField(result.get(), PG_DIAG_SQLSTATE) : nullptr;
        const QSqlError error(QStringLiteral("QPSQL: Unable to create query"),
                              QString::fromUtf8(PQerrorMessage(PgConnection::handleOf(db))),
                              QSqlError::StatementError, QString::fromLatin1(state));
        return Sql::errorOn(db, error, what);
    }
    // Keys are bigint; a smaller integer column serves as well.
    const int width = PQnfields(result.get()) > 0 ? PQfsize(result.get(), 0) : 0;
    if (width != 8 && width != 4 && width != 2)
        return Error{QStringLiteral("访问登记库时出错。"),
                     what + QStringLiteral(": the first column is not an integer")};
    const int rows = PQntuples(result.get());
    for (int row = 0; row < rows; ++row) {
        if (PQgetisnull(result.get(), row, 0))
            continue;
        const char* bytes = PQgetvalue(result.get(), row, 0);
        each(width == 8   ? qFromBigEndian<qint64>(bytes)
             : width == 4 ? qint64(qFromBigEndian<qint32>(bytes))
                          : qint64(qFromBigEndian<qint16>(bytes)));
    }
    return {};
}

} // namespace

bool readsRaw(const QSqlDatabase& db)
{
    return PgConnection::handleOf(db) && db.driver()->subscribedToNotifications().isEmpty();
}

Status each(const QSqlDatabase& db, const QString& sql, const QVariantList& values,
            const std::function<void(qint64)>& each)
{
    const QByteArray text = numbered(sql).toUtf8();
    const bool retriable = PgConnection::retriable(db);
    Status status = runOnce(db, text, values, each, sql);
    if (!status && PgConnection::reopenedAfterBreak(db, retriable))
        status = runOnce(db, text, values, each, sql);
    return status;
}

QString numbered(const QString& sql)
{
    QString result;
    result.reserve(sql.size() + 16);
    int next = 1;
    QChar quote;
    for (const QChar c : sql) {
        if (!quote.isNull()) {
            // A doubled quote closes and opens again: same text.
            if (c == quote)
                quote = QChar();
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            quote = c;
        } else if (c == QLatin1Char('?')) {
            result += QLatin1Char('$') + QString::number(next++);
            continue;
        }
        result += c;
    }
    return result;
}

} // namespace PgKeys
