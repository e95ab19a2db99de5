#include "store/view/ViewPages.h"

#include "store/RecordFields.h"
#include "store/RegisterNames.h"
#include "store/pg/PgViewSql.h"
#include "store/sql/Sql.h"
#include "store/sql/SqlRecordStore.h"
#include "store/view/SearchIndexes.h"
#include "store/view/SqliteViewSql.h"

#include <QSqlQuery>

#include <algorithm>

namespace {

QString serialColumn()
{
    return Sql::identifier(RegisterNames::serial);
}

QString recordTable()
{
    return Sql::identifier(RegisterNames::recordTable);
}

// How many records in view order a page looks through for its keys before
// it leaves them to the condition's own index: enough for a view that holds
// one record in sixteen.
constexpr qint64 aheadPerKey = 16;
constexpr qint64 aheadLeast = 8192;
// How much further a server looks when the first look found some keys but
// not a page of them.
constexpr qint64 fartherAhead = 16;

// Measured at ten million records: an entry of the serial index tested
// against a list of keys costs about a thirty-second of reading a match by
// its key and sorting it.
constexpr qint64 entriesPerMatch = 32;

} // namespace

ViewPages::ViewPages(Register reg, const ViewCondition& condition)
    : m_register(std::move(reg)), m_original(condition),
      m_nullsFirst(m_register.kind() == Register::Kind::Sqlite)
{
    const bool server = m_register.kind() == Register::Kind::Postgres;
    // Only the plain form reads in serial order; the faster forms of a
    // complete list do not apply to a page.
    const ViewSql rendered =
        server ? PgViewSql::told(condition) : SqliteViewSql::rendered(condition);
    m_condition = rendered.plain();
    m_scan = rendered.scan();
    m_countSql = rendered.countSql;
    m_countValues = rendered.countValues;
    m_key = keyColumn(m_register);
}

QString ViewPages::keyColumn(const Register& reg)
{
    return reg.kind() == Register::Kind::Postgres ? Sql::identifier(RegisterNames::identity)
                                                  : QStringLiteral("rowid");
}

QString ViewPages::recordColumns(const Register& reg)
{
    QStringList columns{keyColumn(reg)};
    for (const QString& column : RecordFields::columns())
        columns << Sql::identifier(column);
    return columns.join(QStringLiteral(", "));
}

bool ViewPages::hasNullSerials() const
{
    // Asked once: records without a serial come only from damaged registers,
    // and a view that assumes none still reads every record that has one.
    if (!m_nullSerials) {
        Result<QVariant> any = Sql::scalar(
            m_register.database(), QStringLiteral("SELECT count(*) FROM (SELECT 1 FROM %1 WHERE "
                                                  "%2 IS NULL LIMIT 1) AS anyone")
                                       .arg(recordTable(), serialColumn()));
        m_nullSerials = !any || any->toLongLong() > 0;
    }
    return *m_nullSerials;
}

QString ViewPages::whereOf(const Part& part) const
{
    QStringList terms;
    if (!m_condition.isEmpty())
        terms << QLatin1Char('(') + m_condition.where + QLatin1Char(')');
    if (!part.where.isEmpty())
        terms << part.where;
    return terms.isEmpty() ? QString()
                           : QStringLiteral(" WHERE ") + terms.join(QStringLiteral(" AND "));
}

QVariantList ViewPages::valuesOf(const Part& part) const
{
    return m_condition.values + part.values;
}

Result<QList<ViewPages::Part>> ViewPages::partsFrom(qint64 anchor, bool forward) const
{
    const QString serial = serialColumn();
    const bool nulls = hasNullSerials();
    const Part allNull{serial + QStringLiteral(" IS NULL"), {}, true};
    const Part allWith{nulls ? serial + QStringLiteral(" IS NOT NULL") : QString(), {}, false};
    // The two parts in reading order: which comes first is the database's.
    const bool nullsBefore = forward == m_nullsFirst;
    QList<Part> parts;
    if (anchor == 0) {
        parts << allWith;
        if (nulls)
            nullsBefore ? parts.prepend(allNull) : parts.append(allNull);
        return parts;
    }
    Result<QSqlQuery> found =
        Sql::run(m_register.database(),
                 QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?").arg(serial, recordTable(), m_key),
                 {anchor});
    if (!found)
        return found.error();
    if (!found->next())
        return Error{QStringLiteral("记录 %1 已不在登记库中").arg(anchor), {}};
    const QVariant anchorSerial = found->value(0);
    const QString beyond = forward ? QStringLiteral(">") : QStringLiteral("<");
    if (anchorSerial.isNull()) {
        parts << Part{
            serial + QStringLiteral(" IS NULL AND %1 %2 ?").arg(m_key, beyond), {anchor}, true};
        if (nullsBefore)
            parts << allWith;
        return parts;
    }
    parts << Part{QStringLiteral("(%1, %2) %3 (?, ?)").arg(serial, m_key, beyond),
                  {anchorSerial, anchor},
                  false};
    if (nulls && !nullsBefore)
        parts << allNull;
    return parts;
}

Result<QList<qint64>> ViewPages::read(const QList<Part>& parts, bool forward, qint64 skip,
                                      int limit) const
{
    const QString direction = forward ? QString() : QStringLiteral(" DESC");
    QList<qint64> keys;
    for (const Part& part : parts) {
        const int wanted = limit - int(keys.size());
        if (wanted <= 0)
            break;
        QString order = m_key + direction;
        if (!part.nullSerials)
            order.prepend(serialColumn() + direction + QStringLiteral(", "));
        Result<std::optional<QList<qint64>>> ahead = readAhead(part, order, skip, wanted);
        if (!ahead)
            return ahead.error();
        if (*ahead) {
            keys += **ahead;
            skip = 0;
            continue;
        }
        const QString walk =
            walksSerialIndex(skip + wanted)
                ? QStringLiteral(" INDEXED BY ") + Sql::identifier(RegisterNames::serialIndex)
                : QString();
        const QString sql = QStringLiteral("SELECT %1 FROM %2%3%4 ORDER BY %5 LIMIT %6 OFFSET %7")
                                .arg(m_key, recordTable(), walk, whereOf(part), order,
                                     QString::number(wanted), QString::number(skip));
        Result<QSqlQuery> query = Sql::run(m_register.database(), sql, valuesOf(part));
        if (!query)
            return query.error();
        const qsizetype before = keys.size();
        while (query->next())
            keys.append(query->value(0).toLongLong());
        if (keys.size() > before || skip == 0) {
            skip = 0;
            continue;
        }
        // Passed over wholly: the rest of the skip falls on the next part.
        Result<qint64> passed = countOf(part);
        if (!passed)
            return passed.error();
        skip = std::max<qint64>(0, skip - *passed);
    }
    if (!forward)
        std::reverse(keys.begin(), keys.end());
    return keys;
}

Result<std::optional<QList<qint64>>> ViewPages::readAhead(const Part& part, const QString& order,
                                                          qint64 skip, int wanted) const
{
    if (m_condition.isEmpty() || skip > 4 * qint64(wanted))
        return std::optional<QList<qint64>>();
    const qint64 reach = std::max(aheadLeast, aheadPerKey * (skip + wanted));
    Result<QList<qint64>> keys = keysAhead(part, order, skip, wanted, reach);
    // A server stops reading ahead at the page's last key, so looking further
    // costs only the records passed. Where the first look found a sixteenth
    // of the page, the longer one likely fills it and spares reading and
    // sorting every match, which at ten million records reads most of the
    // table; where it found less, the matches are few enough to sort.
    if (keys && keys->size() < wanted && m_register.kind() == Register::Kind::Postgres &&
        keys->size() * fartherAhead >= wanted)
        keys = keysAhead(part, order, skip, wanted, fartherAhead * reach);
    if (!keys)
        return keys.error();
    if (keys->size() < wanted)
        return std::optional<QList<qint64>>();
    return std::optional<QList<qint64>>(std::move(keys).value());
}

Result<QList<qint64>> ViewPages::keysAhead(const Part& part, const QString& order, qint64 skip,
                                           int wanted, qint64 reach) const
{
    // The outer order names the inner columns by their own names.
    QString outerOrder = order;
    outerOrder.replace(m_key, QStringLiteral("k")).replace(serialColumn(), QStringLiteral("s"));
    const QString sql =
        QStringLiteral("SELECT k FROM (SELECT %1 AS k, %2 AS s, (%3) AS hit FROM %4%5 ORDER BY "
                       "%6 LIMIT %7) AS ahead WHERE hit ORDER BY %8 LIMIT %9 OFFSET %10")
            .arg(m_key, serialColumn(), m_scan.where, recordTable(),
                 part.where.isEmpty() ? QString() : QStringLiteral(" WHERE ") + part.where, order,
                 QString::number(reach), outerOrder, QString::number(wanted))
            .arg(skip);
    Result<QSqlQuery> query = Sql::run(m_register.database(), sql, m_scan.values + part.values);
    if (!query)
        return query.error();
    QList<qint64> keys;
    while (query->next())
        keys.append(query->value(0).toLongLong());
    return keys;
}

bool ViewPages::walksSerialIndex(qint64 reach) const
{
    if (m_countSql.isEmpty())
        return false;
    if (!m_matchShare) {
        Result<QVariant> matches = Sql::scalar(m_register.database(), m_countSql, m_countValues);
        Result<QVariant> highest = Sql::scalar(
            m_register.database(), QStringLiteral("SELECT max(rowid) FROM %1").arg(recordTable()));
        if (!matches || !highest)
            return false;
        m_matchShare = {matches->toLongLong(), highest->toLongLong()};
    }
    const auto [matches, highest] = *m_matchShare;
    // The walk passes about reach * highest / matches entries.
    return matches > 0 && double(reach) * double(highest) <
                              double(entriesPerMatch) * double(matches) * double(matches);
}

std::optional<Result<qint64>> ViewPages::countFromValues() const
{
    using Kind = ViewCondition::Kind;
    const ViewCondition& c = m_original;
    const auto scalar = [&](const QString& sql, const QVariantList& values) -> Result<qint64> {
        Result<QVariant> counted = Sql::scalar(m_register.database(), sql, values);
        if (!counted)
            return counted.error();
        return counted->toLongLong();
    };
    const QString values = Sql::identifier(SearchIndexes::valueTable);
    const QString sum = QStringLiteral("SELECT coalesce(sum(%1), 0) FROM %2 WHERE %3 = ?")
                            .arg(Sql::identifier(SearchIndexes::countColumn), values,
                                 Sql::identifier(SearchIndexes::fieldColumn));
    if (c.kind == Kind::Every) {
        // The value table holds every folder but NULL, which its index counts.
        const QString folder = SqlRecordStore::columnOf(RecordField::Folder);
        return scalar(QStringLiteral("SELECT (%1) + (SELECT count(*) FROM %2 WHERE %3 IS NULL)")
                          .arg(sum, recordTable(), Sql::identifier(folder)),
                      {folder});
    }
    const bool oneColumn = c.kind == Kind::FieldIs || c.kind == Kind::FieldOtherThan ||
                           c.kind == Kind::Contains || c.kind == Kind::IndexedContains;
    if (!oneColumn || !RecordFields::of(c.field).counted)
        return std::nullopt;
    // The condition tested on each distinct value, which stands for its
    // records: it names no other column, and NULL, which no value table
    // row holds, matches none of these conditions.
    const QString column = SqlRecordStore::columnOf(c.field);
    QString onValues = m_condition.where;
    onValues.replace(Sql::identifier(column), Sql::identifier(SearchIndexes::valueColumn));
    return scalar(sum + QStringLiteral(" AND (%1)").arg(onValues),
                  QVariantList{column} + m_condition.values);
}

Result<qint64> ViewPages::countOf(const Part& part) const
{
    Result<QVariant> counted =
        Sql::scalar(m_register.database(),
                    QStringLiteral("SELECT count(*) FROM %1%2").arg(recordTable(), whereOf(part)),
                    valuesOf(part));
    if (!counted)
        return counted.error();
    return counted->toLongLong();
}

Result<QList<qint64>> ViewPages::forward(qint64 after, qint64 skip, int limit) const
{
    Result<QList<Part>> parts = partsFrom(after, true);
    if (!parts)
        return parts.error();
    return read(*parts, true, skip, limit);
}

Result<QList<qint64>> ViewPages::backward(qint64 before, qint64 skip, int limit) const
{
    Result<QList<Part>> parts = partsFrom(before, false);
    if (!parts)
        return parts.error();
    return read(*parts, false, skip, limit);
}

Result<qint64> ViewPages::count() const
{
    if (std::optional<Result<qint64>> counted = countFromValues(); counted && *counted)
        return std::move(*counted);
    if (!m_countSql.isEmpty()) {
        Result<QVariant> counted = Sql::scalar(m_register.database(), m_countSql, m_countValues);
        if (counted)
            return counted->toLongLong();
    }
    return countOf({});
}

Result<qint64> ViewPages::positionOf(qint64 key) const
{
    Result<QVariant> inView = Sql::scalar(
        m_register.database(),
        QStringLiteral("SELECT count(*) FROM %1%2")
            .arg(recordTable(), whereOf({m_key + QStringLiteral(" = ?"), {key}, false})),
        valuesOf({{}, {key}, false}));
    if (!inView)
        return inView.error();
    if (inView->toLongLong() == 0)
        return 0;
    Result<QList<Part>> before = partsFrom(key, false);
    if (!before)
        return before.error();
    qint64 position = 1;
    for (const Part& part : *before) {
        Result<qint64> counted = countOf(part);
        if (!counted)
            return counted.error();
        position += *counted;
    }
    return position;
}
