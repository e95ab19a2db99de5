#include "store/view/ViewRst.h"

#include "store/RecordFields.h"
#include "store/RegisterNames.h"
#include "store/sql/Sql.h"
#include "store/view/ReadSnapshot.h"
#include "store/view/ViewPages.h"

#include <QSqlQuery>

#include <algorithm>

namespace {

// Rows kept in memory at most; a screen needs about fifty.
constexpr int cacheLimit = 4096;

} // namespace

ViewRst::ViewRst(Register reg, ViewCondition condition, QList<qint64> keys)
    : ViewRst(std::move(reg), std::move(condition), std::move(keys), 0)
{
    m_count = int(m_keys.keyCount());
}

ViewRst::ViewRst(Register reg, ViewCondition condition, QList<qint64> first, int count)
    : m_register(std::move(reg)), m_condition(std::move(condition)),
      m_pages(m_register, m_condition), m_count(count < 0 ? int(first.size()) : count),
      m_counted(count >= 0)
{
    m_keys.place(1, first);
}

Result<ViewRst::Start> ViewRst::start(const Register& reg, const ViewCondition& condition,
                                      const FirstScreen& firstScreen, const QList<qint64>& findKeys)
{
    const ViewPages pages(reg, condition);
    ReadSnapshot snapshot(reg);
    Result<QList<qint64>> first = pages.forward(0, 0, firstScreenSize + 1);
    if (!first)
        return first.error();
    Start start;
    start.first = std::move(first).value();
    const bool whole = start.first.size() <= firstScreenSize;
    if (whole) {
        start.count = int(start.first.size());
    } else {
        start.first.resize(firstScreenSize);
        if (firstScreen)
            firstScreen(start.first);
        Result<qint64> count = pages.count();
        if (!count)
            return count.error();
        start.count = int(*count);
    }
    for (const qint64 key : findKeys) {
        const qsizetype among = start.first.indexOf(key);
        Result<qint64> position = among >= 0 || whole ? qint64(among + 1) : pages.positionOf(key);
        if (!position)
            return position.error();
        start.positions << int(*position);
    }
    return start;
}

Result<std::shared_ptr<ViewRst>> ViewRst::open(const Register& reg, const ViewCondition& condition)
{
    Result<Start> started = start(reg, condition);
    if (!started)
        return started.error();
    return std::make_shared<ViewRst>(reg, condition, std::move(started->first), started->count);
}

void ViewRst::readKeysAround(int position) const
{
    // The stretch of keysPage positions holding `position`, within the gap.
    int first = (position - 1) / keysPage * keysPage + 1;
    int last = std::min(first + keysPage - 1, m_count);
    const KeyRuns::Gap gap = m_keys.gapAround(position);
    if (gap.after != 0)
        first = std::max(first, gap.after + 1);
    if (gap.before != 0)
        last = std::min(last, gap.before - 1);
    const int wanted = last - first + 1;
    // From whichever known place is nearest: a read key beside the gap, or
    // either end of the view.
    const qint64 fromBefore = gap.after != 0 ? first - gap.after - 1 : first - 1;
    const qint64 toAfter = gap.before != 0 ? gap.before - last - 1 : m_count - last;
    const bool forward = fromBefore <= toAfter || (!m_counted && gap.before == 0);
    const auto read = [&](bool anchored) {
        if (forward) {
            const qint64 after = anchored && gap.after != 0 ? *m_keys.at(gap.after) : 0;
            return m_pages.forward(after, after != 0 ? fromBefore : first - 1, wanted);
        }
        const qint64 before = anchored && gap.before != 0 ? *m_keys.at(gap.before) : 0;
        return m_pages.backward(before, before != 0 ? toAfter : m_count - last, wanted);
    };
    Result<QList<qint64>> keys = read(true);
    // The key beside the gap may have been deleted by another program.
    if (!keys)
        keys = read(false);
    if (!keys || keys->isEmpty())
        return;
    m_keys.place(forward ? first : last - int(keys->size()) + 1, *keys);
}

qint64 ViewRst::keyAt(int position) const
{
    if (position < 1 || position > recordCount())
        return 0;
    m_lastPosition = position;
    if (const std::optional<qint64> key = m_keys.at(position))
        return *key;
    readKeysAround(position);
    return m_keys.at(position).value_or(0);
}

int ViewRst::positionOf(qint64 rowid) const
{
    if (const int position = m_keys.positionOf(rowid, m_lastPosition))
        return position;
    if (!m_counted)
        return 0;
    Result<qint64> position = m_pages.positionOf(rowid);
    return position && *position <= m_count ? int(*position) : 0;
}

std::optional<RegisterRecord> ViewRst::record(int position) const
{
    const qint64 key = keyAt(position);
    if (position < 1 || position > recordCount())
        return std::nullopt;
    auto cached = m_cache.constFind(key);
    if (key != 0 && cached == m_cache.constEnd()) {
        if (!fetchPage((position - 1) / pageSize))
            return std::nullopt;
        cached = m_cache.constFind(key);
    }
    if (key == 0 || cached == m_cache.constEnd()) {
        // Removed by another program since the view was opened: show an
        // empty row that every operation passes over.
        RegisterRecord gone;
        gone.rowid = key;
        return gone;
    }
    return *cached;
}

Status ViewRst::fetchPage(int page) const
{
    const int first = page * pageSize + 1;
    const int last = std::min(first + pageSize - 1, recordCount());
    QVariantList keys;
    QStringList marks;
    for (int position = first; position <= last; ++position) {
        const qint64 key = keyAt(position);
        if (key == 0 || m_cache.contains(key))
            continue;
        keys.append(key);
        marks.append(QStringLiteral("?"));
    }
    if (keys.isEmpty())
        return {};
    const QString sql =
        QStringLiteral("SELECT %1 FROM %2 WHERE %4 IN (%3)")
            .arg(ViewPages::recordColumns(m_register), Sql::identifier(RegisterNames::recordTable),
                 marks.join(QLatin1Char(',')), ViewPages::keyColumn(m_register));
    Result<QSqlQuery> query = Sql::run(m_register.database(), sql, keys);
    if (!query)
        return query.error();

    while (m_cacheOrder.size() + keys.size() > cacheLimit && !m_cacheOrder.isEmpty())
        m_cache.remove(m_cacheOrder.takeFirst());
    while (query->next()) {
        RegisterRecord record;
        record.rowid = query->value(0).toLongLong();
        RecordFields::read(
            record, [&](int column) { return query->value(column); }, 1);
        if (!m_cache.contains(record.rowid))
            m_cacheOrder.append(record.rowid);
        m_cache.insert(record.rowid, record);
    }
    return {};
}

void ViewRst::removeAt(int position)
{
    const qint64 key = keyAt(position);
    if (key == 0)
        return;
    m_keys.removeAt(position);
    --m_count;
    ++m_changes;
    m_cache.remove(key);
    m_cacheOrder.removeOne(key);
}

void ViewRst::exchange(int first, int second)
{
    if (keyAt(first) == 0 || keyAt(second) == 0)
        return;
    m_keys.exchange(first, second);
    ++m_changes;
    invalidate(first);
    invalidate(second);
}

void ViewRst::append(qint64 rowid)
{
    // Placed only after keys read up to the end; otherwise read with the rest.
    if (m_count == 0 || m_keys.at(m_count))
        m_keys.place(m_count + 1, {rowid});
    ++m_count;
    ++m_changes;
}

void ViewRst::setCount(int count)
{
    m_count = count;
    m_counted = true;
}

void ViewRst::reread(int count)
{
    m_keys.clear();
    invalidateAll();
    setCount(count);
}

void ViewRst::invalidate(int position)
{
    const qint64 key = m_keys.at(position).value_or(0);
    m_cache.remove(key);
    m_cacheOrder.removeOne(key);
}

void ViewRst::invalidateAll()
{
    m_cache.clear();
    m_cacheOrder.clear();
}
