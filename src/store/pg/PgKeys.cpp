#include "store/pg/PgKeys.h"

#include "store/pg/LibPq.h"
#include "store/pg/PgConnection.h"
#include "store/sql/Sql.h"

#include <QDateTime>
#include <QSqlDriver>
#include <QSqlError>
#include <QtEndian>

#include <algorithm>
#include <memory>
#include <optional>
#include <tuple>
#include <vector>

namespace PgKeys {

namespace {

struct ResultDeleter {
    void operator()(PGresult* result) const { LibPq::get().clear(result); }
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
    case QMetaType::QDateTime:
        return value.toDateTime().toString(Qt::ISODateWithMs).toUtf8();
    default:
        return value.toString().toUtf8();
    }
}

// The integer in `column` of `row`, read as the server sent it in binary.
std::optional<qint64> integerAt(const PGresult* result, int row, int column)
{
    if (LibPq::get().getisnull(result, row, column))
        return std::nullopt;
    const char* bytes = LibPq::get().getvalue(result, row, column);
    switch (LibPq::get().fsize(result, column)) {
    case 8:
        return qFromBigEndian<qint64>(bytes);
    case 4:
        return qFromBigEndian<qint32>(bytes);
    default:
        return qFromBigEndian<qint16>(bytes);
    }
}

// Whether the first `count` columns are integers, keys being bigint.
bool integerColumns(const PGresult* result, int count)
{
    if (LibPq::get().nfields(result) < count)
        return false;
    for (int column = 0; column < count; ++column) {
        const int width = LibPq::get().fsize(result, column);
        if (width != 8 && width != 4 && width != 2)
            return false;
    }
    return true;
}

// A row of keys to sort, in the server's order: NULL after every number.
struct Row {
    bool noOrder;
    qint64 order;
    qint64 key;
    bool operator<(const Row& other) const
    {
        return std::tie(noOrder, order, key) < std::tie(other.noOrder, other.order, other.key);
    }
};

// Rows read from an index one value after another come in a few runs, each
// already in order; merging the runs takes a fraction of a full sort. Rows in
// no order at all are sorted outright.
void putInOrder(std::vector<Row>& rows)
{
    std::vector<std::size_t> starts{0};
    for (std::size_t at = 1; at < rows.size(); ++at) {
        if (rows[at] < rows[at - 1])
            starts.push_back(at);
    }
    starts.push_back(rows.size());
    if (starts.size() > 1024) {
        std::sort(rows.begin(), rows.end());
        return;
    }
    const auto at = [&](std::size_t index) {
        return rows.begin() + std::ptrdiff_t(index);
    };
    while (starts.size() > 2) {
        std::vector<std::size_t> merged{0};
        std::size_t run = 0;
        for (; run + 2 < starts.size(); run += 2) {
            std::inplace_merge(at(starts[run]), at(starts[run + 1]), at(starts[run + 2]));
            merged.push_back(starts[run + 2]);
        }
        if (run + 1 < starts.size())
            merged.push_back(starts.back());
        starts = std::move(merged);
    }
}

Status runOnce(const QSqlDatabase& db, const QByteArray& sql, const QVariantList& values,
               int integers, const std::function<void(const PGresult*)>& read, const QString& what)
{
    std::vector<std::optional<QByteArray>> texts;
    std::vector<const char*> pointers;
    texts.reserve(std::size_t(values.size()));
    for (const QVariant& value : values)
        texts.push_back(textOf(value));
    for (const std::optional<QByteArray>& text : texts)
        pointers.push_back(text ? text->constData() : nullptr);
    // Types are left to the server, as they are when Qt's driver prepares.
    const ResultPtr result(LibPq::get().execParams(PgConnection::handleOf(db), sql.constData(),
                                                   int(pointers.size()), nullptr, pointers.data(),
                                                   nullptr, nullptr, 1));
    if (LibPq::get().resultStatus(result.get()) != PGRES_TUPLES_OK) {
        const char* state =
            result ? LibPq::get().resultErrorField(result.get(), PG_DIAG_SQLSTATE) : nullptr;
        const QSqlError error(
            QStringLiteral("QPSQL: Unable to create query"),
            QString::fromUtf8(LibPq::get().errorMessage(PgConnection::handleOf(db))),
            QSqlError::StatementError, QString::fromLatin1(state));
        return Sql::errorOn(db, error, what);
    }
    if (!integerColumns(result.get(), integers))
        return Error{QStringLiteral("访问登记库时出错。"),
                     what + QStringLiteral(": the columns read are not integers")};
    read(result.get());
    return {};
}

Status run(const QSqlDatabase& db, const QString& sql, const QVariantList& values, int integers,
           const std::function<void(const PGresult*)>& read)
{
    const QByteArray text = sql.toUtf8();
    return PgConnection::againAfterBreak(
        db, [&] { return runOnce(db, text, values, integers, read, sql); });
}

} // namespace

bool readsRaw(const QSqlDatabase& db)
{
    return PgConnection::handleOf(db) && db.driver()->subscribedToNotifications().isEmpty();
}

Status each(const QSqlDatabase& db, const QString& sql, const QVariantList& values,
            const std::function<void(qint64)>& each)
{
    return run(db, sql, values, 1, [&](const PGresult* result) {
        const int rows = LibPq::get().ntuples(result);
        for (int row = 0; row < rows; ++row) {
            if (const std::optional<qint64> key = integerAt(result, row, 0))
                each(*key);
        }
    });
}

Result<QList<qint64>> sorted(const QSqlDatabase& db, const QString& sql, const QVariantList& values)
{
    QList<qint64> keys;
    const Status read = run(db, sql, values, 2, [&](const PGresult* result) {
        const int count = LibPq::get().ntuples(result);
        std::vector<Row> rows;
        rows.reserve(std::size_t(count));
        for (int row = 0; row < count; ++row) {
            const std::optional<qint64> key = integerAt(result, row, 1);
            if (!key)
                continue;
            const std::optional<qint64> order = integerAt(result, row, 0);
            rows.push_back({!order, order.value_or(0), *key});
        }
        putInOrder(rows);
        keys.reserve(qsizetype(rows.size()));
        for (const Row& row : rows)
            keys.append(row.key);
    });
    if (!read)
        return read.error();
    return keys;
}

} // namespace PgKeys
