#include "queries/QuerySlots.h"

#include "store/RecordStore.h"

bool QuerySlot::isEmptySlot() const
{
    return !hasNull && name == QuerySlots::defaultName(number) && criteria.isEmpty();
}

namespace QuerySlots {

namespace {

const char16_t* const defaultTitles[] = {u"查询一", u"查询二", u"查询三", u"查询四", u"查询五",
                                         u"查询六", u"查询七", u"查询八", u"查询九"};

Error noSuchSlot(int slot)
{
    return {QStringLiteral("自定义查询表中没有第%1个查询。").arg(slot), QString(),
            ErrorCode::NotFound};
}

Error badSlot(int slot)
{
    return {QStringLiteral("自定义查询的编号必须是 1 到 %1（收到 %2）。").arg(slotCount).arg(slot),
            QString()};
}

// The query field a search box is kept in.
QueryField fieldOfBox(int box)
{
    return static_cast<QueryField>(static_cast<int>(QueryField::FileName) + box);
}

Status updateSlot(const Register& reg, int slot, const QList<QPair<QueryField, QString>>& values)
{
    if (slot < 1 || slot > slotCount)
        return badSlot(slot);
    return reg.records()->writeQuerySlot(slot, values);
}

} // namespace

QString defaultName(int slot)
{
    return QStringLiteral("自定义查询") + QString::number(slot);
}

QString toolbarTitle(const QString& typed)
{
    // Count code points, so a character outside the basic plane is never
    // cut in half.
    QString title;
    int characters = 0;
    for (qsizetype i = 0; i < typed.size() && characters < 4; ++i, ++characters) {
        title += typed.at(i);
        if (typed.at(i).isHighSurrogate() && i + 1 < typed.size() &&
            typed.at(i + 1).isLowSurrogate())
            title += typed.at(++i);
    }
    return title.isEmpty() ? QStringLiteral(" ") : title;
}

Result<QList<QuerySlot>> readAll(const Register& reg)
{
    Result<QList<QVariantList>> rows = reg.records()->querySlots(slotCount);
    if (!rows)
        return rows.error();
    QList<QuerySlot> slots;
    for (const QVariantList& row : rows.value()) {
        QuerySlot slot;
        slot.number = static_cast<int>(slots.size()) + 1;
        auto readText = [&](QueryField field) {
            const QVariant value = row.at(static_cast<int>(field));
            if (value.isNull()) {
                // The title plays no part in the empty-slot test.
                if (field != QueryField::Title)
                    slot.hasNull = true;
                return QString();
            }
            return value.toString();
        };
        slot.name = readText(QueryField::Name);
        slot.title = readText(QueryField::Title);
        for (int box = 0; box < SearchCriteria::BoxCount; ++box)
            slot.criteria.box(box) = readText(fieldOfBox(box));
        slots.append(slot);
    }
    return slots;
}

Result<QuerySlot> read(const Register& reg, int slot)
{
    if (slot < 1 || slot > slotCount)
        return badSlot(slot);
    Result<QList<QuerySlot>> slots = readAll(reg);
    if (!slots)
        return slots.error();
    if (slot > slots->size())
        return noSuchSlot(slot);
    return slots->at(slot - 1);
}

Result<QueryRun> prepareRun(const Register& reg, int slot)
{
    Result<QuerySlot> stored = read(reg, slot);
    if (!stored)
        return stored.error();
    return QueryRun{stored->criteria,
                    QStringLiteral("自定义查询") + QString::number(slot) + QStringLiteral("：") +
                        stored->name,
                    stored->isEmptySlot()};
}

Status save(const Register& reg, int slot, const QueryDefinition& definition)
{
    if (definition.name.isEmpty())
        return Error{QStringLiteral("名称不能为空"), QString()};
    QList<QPair<QueryField, QString>> values{{QueryField::Name, definition.name},
                                             {QueryField::Title, toolbarTitle(definition.title)}};
    for (int box = 0; box < SearchCriteria::BoxCount; ++box)
        values.append({fieldOfBox(box), definition.criteria.box(box)});
    return updateSlot(reg, slot, values);
}

Status clear(const Register& reg, int slot)
{
    QList<QPair<QueryField, QString>> values{{QueryField::Name, defaultName(slot)}};
    for (int box = 0; box < SearchCriteria::BoxCount; ++box)
        values.append({fieldOfBox(box), QString()});
    return updateSlot(reg, slot, values);
}

Result<bool> needsRepair(const Register& reg)
{
    Result<QPair<int, bool>> shape = reg.records()->querySlotShape();
    if (!shape)
        return shape.error();
    return shape->first < slotCount || shape->second;
}

Status repair(const Register& reg)
{
    QList<QPair<QString, QString>> defaults;
    for (int slot = 1; slot <= slotCount; ++slot)
        defaults.append({defaultName(slot), QString::fromUtf16(defaultTitles[slot - 1])});
    return reg.records()->completeQuerySlots(defaults);
}

} // namespace QuerySlots
