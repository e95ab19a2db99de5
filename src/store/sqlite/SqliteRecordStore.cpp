#include "store/sqlite/SqliteRecordStore.h"

#include "store/RegisterNames.h"
#include "store/sql/Sql.h"

#include <QSqlError>
#include <QSqlQuery>

#include <cmath>
#include <limits>
#include <optional>

namespace {

// The number after `highest` (an integer or a real serial), or nothing when
// no 64-bit integer comes after it.
std::optional<qint64> after(const QVariant& highest)
{
    constexpr qint64 top = std::numeric_limits<qint64>::max();
    if (highest.typeId() != QMetaType::Double) {
        const qint64 value = highest.toLongLong();
        if (value == top)
            return std::nullopt;
        return value + 1;
    }
    const double value = highest.toDouble();
    // 2^63 is the first double beyond the 64-bit range; NaN fails every test.
    if (!(value < 9223372036854775808.0))
        return std::nullopt;
    if (value < -9223372036854775808.0)
        return std::numeric_limits<qint64>::min();
    const auto whole = static_cast<qint64>(std::floor(value));
    if (whole == top)
        return std::nullopt;
    return whole + 1;
}

} // namespace

// Serials are counted in 64-bit integers: the highest numeric serial, and of
// serials stored as text (a column declared TEXT stores them so) those that
// are whole numbers, give the next one. A serial that exists already is
// never handed out.
Result<qint64> SqliteRecordStore::nextSerial()
{
    const QSqlDatabase db = this->db();
    const QString column = Sql::identifier(RegisterNames::serial);
    const QString table = Sql::identifier(RegisterNames::recordTable);
    // Numbers sort before every text, so "< ''" walks the serial index from
    // the end of its numbers.
    Result<QVariant> number =
        Sql::scalar(db, QStringLiteral("SELECT %1 FROM %2 WHERE %1 < '' ORDER BY %1 DESC LIMIT 1")
                            .arg(column, table));
    if (!number)
        return number.error();
    Result<QVariant> text = Sql::scalar(
        db, QStringLiteral("SELECT max(CAST(%1 AS INTEGER)) FROM %2 WHERE %1 >= '' AND %1 < x'' "
                           "AND CAST(CAST(%1 AS INTEGER) AS TEXT) = %1")
                .arg(column, table));
    if (!text)
        return text.error();
    qint64 next = 1;
    bool any = false;
    for (const QVariant& highest : {*number, *text}) {
        if (highest.isNull())
            continue;
        const std::optional<qint64> following = after(highest);
        if (!following)
            return noSerialAfter(highest);
        next = any ? std::max(next, *following) : *following;
        any = true;
    }
    // The rules above already pass every serial in use; this is the last word.
    const std::optional<SqlDialect::Condition> same = dialect().serialIs(column, next);
    Result<QVariant> taken = Sql::scalar(
        db, QStringLiteral("SELECT count(*) FROM %1 WHERE %2").arg(table, same->sql), same->values);
    if (!taken)
        return taken.error();
    if (taken->toLongLong() != 0)
        return noSerialAfter(next, QStringLiteral("序号 %1 已被占用").arg(next));
    return next;
}

// Quick (pages and records) or full (every index against its table as well).
Result<QStringList> SqliteRecordStore::databaseFaults(bool full)
{
    const QString pragma = full ? QStringLiteral("PRAGMA integrity_check(20)")
                                : QStringLiteral("PRAGMA quick_check(20)");
    QStringList problems;
    Result<QSqlQuery> query = Sql::run(db(), pragma);
    if (!query) {
        if (Sql::isBusy(query.error()))
            return query.error();
        problems << query.error().detail;
    } else {
        while (query->next()) {
            const QString line = query->value(0).toString();
            if (line != QLatin1String("ok"))
                problems << line;
        }
        if (query->lastError().isValid())
            problems << query->lastError().text();
    }
    return problems;
}

Result<qint64> SqliteRecordStore::changeCounter()
{
    // SQLite's own count of the commits this connection did not make; it
    // reads the shared memory of the log, not the file.
    Result<QVariant> version = Sql::scalar(db(), QStringLiteral("PRAGMA data_version"));
    if (!version)
        return version.error();
    return version->toLongLong();
}
