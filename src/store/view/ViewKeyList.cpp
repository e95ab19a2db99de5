// The complete key list of a view, read at once: for callers that page
// through a view themselves (the web pages) or need every key.
#include "store/view/ViewRst.h"

#include "store/RegisterNames.h"
#include "store/pg/PgKeys.h"
#include "store/pg/PgSql.h"
#include "store/pg/PgViewSql.h"
#include "store/sql/Sql.h"
#include "store/sqlite/RawStatement.h"
#include "store/view/ReadSnapshot.h"
#include "store/view/SqliteViewSql.h"
#include "store/view/ViewPages.h"

#include <QSqlError>
#include <QSqlQuery>

#include <sqlite3.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <vector>

namespace {

// Rowids up to this many are marked in a bitmap (32 MiB at most).
constexpr qint64 bitmapLimit = qint64(1) << 28;

// The first column of every row, in order; `keep` filters when given.
Result<QList<qint64>> collectKeys(const Register& reg, const QString& sql,
                                  const QVariantList& values,
                                  const std::function<bool(qint64)>& keep = {},
                                  const ViewRst::FirstScreen& firstScreen = {})
{
    const QSqlDatabase db = reg.database();
    QList<qint64> keys;
    const auto add = [&](qint64 key) {
        if (keep && !keep(key))
            return;
        // Told only once a key beyond the first screen is found.
        if (firstScreen && keys.size() == ViewRst::firstScreenSize)
            firstScreen(keys);
        keys.append(key);
    };
    if (reg.kind() == Register::Kind::Postgres && PgKeys::readsRaw(db)) {
        const Status read = PgKeys::each(db, sql, values, add);
        if (!read)
            return read.error();
        return keys;
    }
    if (reg.kind() == Register::Kind::Postgres) {
        // The rows in one piece: read one by one, each would come from the
        // server as a result of its own, several times slower for long lists.
        QSqlQuery query(db);
        query.setForwardOnly(false);
        if (!query.prepare(sql))
            return Sql::errorOn(db, query.lastError(), sql);
        for (const QVariant& value : values)
            query.addBindValue(value);
        if (!query.exec())
            return Sql::errorOn(db, query.lastError(), sql);
        while (query.next())
            add(query.value(0).toLongLong());
        return keys;
    }
    RawStatement query(db, sql, values);
    if (!query.ok())
        return query.error();
    while (query.next())
        add(query.int64(0));
    if (!query.error().message.isEmpty())
        return query.error();
    return keys;
}

// The keys of a condition that has a keys query, when enough records match:
// those keys marked in a bitmap, kept in the order of a walk over all
// records (that meet what the keys must meet as well). Nothing when it is
// not worth it or the rowids do not suit a bitmap.
std::optional<Result<QList<qint64>>> markedKeys(const Register& reg, const ViewSql& condition,
                                                const QString& records, const QString& order,
                                                const ViewRst::FirstScreen& firstScreen)
{
    if (condition.keysSql.isEmpty())
        return std::nullopt;
    const QSqlDatabase db = reg.database();
    if (!condition.keysWorthSql.isEmpty()) {
        Result<QVariant> worth = Sql::scalar(db, condition.keysWorthSql, condition.keysWorthValues);
        if (!worth || worth->toInt() != 1)
            return std::nullopt;
    }
    // Both lists must come from one state of the register.
    ReadSnapshot snapshot(reg);
    Result<QList<qint64>> matching = collectKeys(reg, condition.keysSql, condition.keysValues);
    if (!matching)
        return matching.error();
    qint64 highest = 0;
    for (qint64 key : *matching) {
        if (key <= 0 || key > bitmapLimit)
            return std::nullopt;
        highest = std::max(highest, key);
    }
    std::vector<bool> isMatching(std::size_t(highest) + 1);
    for (qint64 key : *matching)
        isMatching[std::size_t(key)] = true;
    const QString also =
        condition.keysAlso.isEmpty() ? QString() : QStringLiteral(" WHERE ") + condition.keysAlso;
    return collectKeys(
        reg, records + also + order, condition.keysAlsoValues,
        [&](qint64 key) { return key > 0 && key <= highest && isMatching[std::size_t(key)]; },
        firstScreen);
}

// Records read in serial order when looking for a view's first screen before
// its statement runs: enough for views that hold a few percent of the
// register or more, and a few milliseconds when the view is sparse.
constexpr int firstScreenReach = 8192;
// A term that showed up in that first look but not a screen's worth of times
// gets a longer look when that is cheaper than listing and sorting all its
// matches through an index: testing a record in order costs about an eighth
// of reading and sorting one match.
constexpr qint64 recordsTestedPerMatch = 8;

// The first keys of `condition` when the first records in serial order hold
// more than a screen of them; fewer (nothing certain) otherwise. A statement
// that sorts its matches yields nothing until all are found, and one that
// leaves out records must first read those: this answers sooner.
QList<qint64> firstScreenAmongFirst(const Register& reg, const ViewSql& condition)
{
    using namespace RegisterNames;
    const QSqlDatabase db = reg.database();
    const QString key = ViewPages::keyColumn(reg);
    const QString hit = condition.isEmpty() ? QStringLiteral("TRUE") : condition.whereForScan();
    const auto among = [&](qint64 reach) {
        const QString sql =
            QStringLiteral("SELECT k FROM (SELECT %6 AS k, %1 AS s, (%2) AS hit FROM %3 ORDER "
                           "BY %1, %6 LIMIT %4) AS head WHERE hit ORDER BY s, k LIMIT %5")
                .arg(Sql::identifier(serial), hit, Sql::identifier(recordTable),
                     QString::number(reach), QString::number(ViewRst::firstScreenSize + 1), key);
        Result<QList<qint64>> keys = collectKeys(reg, sql, condition.valuesForScan());
        return keys ? std::move(keys).value() : QList<qint64>();
    };
    QList<qint64> first = among(firstScreenReach);
    if (first.isEmpty() || first.size() > ViewRst::firstScreenSize)
        return first;
    // The highest key stands for the number of records, read without a scan.
    Result<QVariant> highest = Sql::scalar(
        db, QStringLiteral("SELECT max(%1) FROM %2").arg(key, Sql::identifier(recordTable)));
    const qint64 expectedMatches =
        highest ? highest->toLongLong() * first.size() / firstScreenReach : 0;
    // Half as far again as the matches seen so far say a screen needs.
    const qint64 needed =
        qint64(ViewRst::firstScreenSize + 1) * firstScreenReach * 3 / (2 * first.size());
    return needed <= expectedMatches * recordsTestedPerMatch ? among(needed) : first;
}

// The first screen told, when the first records in serial order hold more
// than one; then the callback that is still to be told while stepping.
ViewRst::FirstScreen toldEarly(const Register& reg, const ViewSql& condition,
                               const ViewRst::FirstScreen& firstScreen)
{
    QList<qint64> first = firstScreenAmongFirst(reg, condition);
    if (first.size() <= ViewRst::firstScreenSize)
        return firstScreen;
    first.resize(ViewRst::firstScreenSize);
    firstScreen(first);
    return nullptr;
}

// A server's view: its condition in the server's terms, one statement in
// view order (or put in view order here). The keys come once all are
// sorted, so a first screen is looked for among the first records
// beforehand, in the same snapshot.
Result<QList<qint64>> serverKeys(const Register& reg, const ViewCondition& condition,
                                 const ViewRst::FirstScreen& firstScreen)
{
    using namespace RegisterNames;
    const QSqlDatabase db = reg.database();
    // Read through libpq (collectKeys), the statements carry the server's own
    // numbered marks.
    const bool raw = PgKeys::readsRaw(db);
    const PgViewSql::Marks marks = raw ? PgViewSql::Marks::Numbered : PgViewSql::Marks::Question;
    const ViewSql told = PgViewSql::told(condition, marks);
    std::optional<ReadSnapshot> snapshot;
    ViewRst::FirstScreen whileReading = firstScreen;
    if (firstScreen) {
        snapshot.emplace(reg);
        whileReading = toldEarly(reg, told, firstScreen);
    }
    const QString where = told.isEmpty() ? QString() : QStringLiteral(" WHERE ") + told.where;
    // Records picked by their recipient, method or folder come from that
    // column's index one value after another; the server would sort them all
    // before sending the first, which takes it longer than sorting them here.
    if (PgViewSql::picksByValue(condition) && raw) {
        const Result<ViewSql> listed = PgViewSql::listed(db, condition, marks);
        if (!listed)
            return listed.error();
        Result<QList<qint64>> keys =
            PgKeys::sorted(db,
                           QStringLiteral("SELECT %1, %2 FROM %3 WHERE %4")
                               .arg(Sql::identifier(serial), Sql::identifier(identity),
                                    Sql::identifier(recordTable), listed->where),
                           listed->values);
        if (keys && whileReading && keys->size() > ViewRst::firstScreenSize)
            whileReading(keys->mid(0, ViewRst::firstScreenSize));
        return keys;
    }
    const QString sql = QStringLiteral("SELECT %1 FROM %2%3 ORDER BY %4, %1")
                            .arg(Sql::identifier(identity), Sql::identifier(recordTable), where,
                                 Sql::identifier(serial));
    return collectKeys(reg, sql, told.values, {}, whileReading);
}

} // namespace

Result<QList<qint64>> ViewRst::loadKeys(const Register& reg, const ViewCondition& condition,
                                        const FirstScreen& firstScreen)
{
    if (reg.kind() == Register::Kind::Postgres)
        return serverKeys(reg, condition, firstScreen);
    return keysOf(reg, SqliteViewSql::rendered(condition), firstScreen);
}

Result<QList<qint64>> ViewRst::keysOf(const Register& reg, const ViewSql& condition,
                                      const FirstScreen& firstScreen)
{
    const QSqlDatabase db = reg.database();
    // The first screen and the complete list must come from one state of the
    // register, so that the one begins the other.
    std::optional<ReadSnapshot> early;
    FirstScreen whileStepping = firstScreen;
    if (firstScreen && !condition.isEmpty()) {
        early.emplace(reg);
        whileStepping = toldEarly(reg, condition, firstScreen);
    }
    const QString records =
        QStringLiteral("SELECT rowid FROM %1").arg(Sql::identifier(RegisterNames::recordTable));
    const QString order =
        QStringLiteral(" ORDER BY %1, rowid").arg(Sql::identifier(RegisterNames::serial));
    if (auto marked = markedKeys(reg, condition, records, order, whileStepping))
        return std::move(*marked);
    const auto exceptionWorthIt = [&] {
        if (condition.exceptWhere.isEmpty())
            return false;
        if (condition.exceptWorthSql.isEmpty())
            return true;
        Result<QVariant> worth =
            Sql::scalar(db, condition.exceptWorthSql, condition.exceptWorthValues);
        return worth && worth->toInt() == 1;
    };
    if (!exceptionWorthIt()) {
        const QString where =
            condition.isEmpty() ? QString() : QStringLiteral(" WHERE ") + condition.where;
        return collectKeys(reg, records + where + order, condition.values, {}, whileStepping);
    }
    // Both lists must come from one state of the register.
    ReadSnapshot snapshot(reg);
    QStringList leftOutQueries;
    for (const QString& where : condition.exceptWhere)
        leftOutQueries << records + QStringLiteral(" WHERE ") + where;
    Result<QList<qint64>> leftOut = collectKeys(
        reg, leftOutQueries.join(QStringLiteral(" UNION ALL ")), condition.exceptValues);
    if (!leftOut)
        return leftOut.error();
    qint64 highest = 0;
    bool usual = true;
    for (qint64 key : *leftOut) {
        highest = std::max(highest, key);
        usual = usual && key > 0;
    }
    // Rowids of a damaged register may be anything; a bitmap only suits the usual ones.
    if (!usual || highest > bitmapLimit)
        return keysOf(reg, condition.plain(), whileStepping);
    std::vector<bool> isLeftOut(std::size_t(highest) + 1);
    for (qint64 key : *leftOut)
        isLeftOut[std::size_t(key)] = true;
    return collectKeys(
        reg, records + order, {},
        [&](qint64 key) { return key <= 0 || key > highest || !isLeftOut[std::size_t(key)]; },
        whileStepping);
}
