#include "queries/QuerySlots.h"

#include "store/RegisterNames.h"
#include "store/Sql.h"

#include <QSqlQuery>
#include <QStringList>

bool QuerySlot::isEmptySlot() const
{
    return !hasNull && name == QuerySlots::defaultName(number) && criteria.isEmpty();
}

namespace QuerySlots {

namespace {

const QString nameColumn = QStringLiteral("查询名称");
const QString titleColumn = QStringLiteral("工具条标题");

// The criteria columns, indexed by the search box each one fills.
QString criterionColumn(int box)
{
    switch (box) {
    case SearchCriteria::FileName:
        return QStringLiteral("全部或部分文件名");
    case SearchCriteria::Recipient:
        return QStringLiteral("全部或部分接收人名");
    case SearchCriteria::Method:
        return QStringLiteral("传送方式");
    case SearchCriteria::Earliest:
        return QStringLiteral("最早发件日期");
    case SearchCriteria::Latest:
        return QStringLiteral("最晚发件日期");
    case SearchCriteria::Remark:
        return QStringLiteral("备注中的一个词");
    default:
        return QStringLiteral("全部或部分文件夹名");
    }
}

QStringList allColumns()
{
    QStringList columns{nameColumn, titleColumn};
    for (int box = 0; box < SearchCriteria::BoxCount; ++box)
        columns << criterionColumn(box);
    return columns;
}

QString table()
{
    return Sql::identifier(RegisterNames::queryTable);
}

const char16_t* const defaultTitles[] = {u"查询一", u"查询二", u"查询三", u"查询四", u"查询五",
                                         u"查询六", u"查询七", u"查询八", u"查询九"};

Error noSuchSlot(int slot)
{
    return {QStringLiteral("自定义查询表中没有第%1个查询。").arg(slot), QString()};
}

Error badSlot(int slot)
{
    return {QStringLiteral("自定义查询的编号必须是 1 到 %1（收到 %2）。").arg(slotCount).arg(slot),
            QString()};
}

// The rowid of slot N, or 0 when the table has fewer rows.
Result<qint64> rowidOf(const Register& reg, int slot)
{
    Result<QVariant> rowid = Sql::scalar(
        reg.database(),
        QStringLiteral("SELECT rowid FROM %1 ORDER BY rowid LIMIT 1 OFFSET ?").arg(table()),
        {slot - 1});
    if (!rowid)
        return rowid.error();
    return rowid->isNull() ? 0 : rowid->toLongLong();
}

// Runs one UPDATE of slot N and insists that it changed exactly that row: a
// trigger that silently drops the change must not pass for a save.
Status updateSlot(const Register& reg, int slot, const QStringList& columns,
                  const QVariantList& values)
{
    if (slot < 1 || slot > slotCount)
        return badSlot(slot);
    Result<qint64> rowid = rowidOf(reg, slot);
    if (!rowid)
        return rowid.error();
    if (*rowid == 0)
        return noSuchSlot(slot);
    QStringList assignments;
    for (const QString& column : columns)
        assignments << Sql::identifier(column) + QStringLiteral(" = ?");
    QVariantList bound = values;
    bound << *rowid;
    Result<QSqlQuery> updated = Sql::run(reg.database(),
                                         QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?")
                                             .arg(table(), assignments.join(QStringLiteral(", "))),
                                         bound);
    if (!updated)
        return updated.error();
    if (updated->numRowsAffected() != 1) {
        return Error{QStringLiteral("登记库拒绝了对自定义查询%1的修改。").arg(slot),
                     QStringLiteral("UPDATE changed %1 rows").arg(updated->numRowsAffected())};
    }
    return {};
}

// An empty text, never Null: the table holds the empty string for an unused
// criterion, and a null QString would be bound as Null.
QVariant text(const QString& value)
{
    return value.isNull() ? QVariant(QStringLiteral("")) : QVariant(value);
}

QString anyNullCondition()
{
    QStringList tests;
    for (const QString& column : allColumns())
        tests << Sql::identifier(column) + QStringLiteral(" IS NULL");
    return tests.join(QStringLiteral(" OR "));
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
    QStringList columns;
    for (const QString& column : allColumns())
        columns << Sql::identifier(column);
    Result<QSqlQuery> query =
        Sql::run(reg.database(), QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid LIMIT %3")
                                     .arg(columns.join(QStringLiteral(", ")), table())
                                     .arg(slotCount));
    if (!query)
        return query.error();
    QList<QuerySlot> slots;
    while (query->next()) {
        QuerySlot slot;
        slot.number = static_cast<int>(slots.size()) + 1;
        auto readText = [&](int column) {
            const QVariant value = query->value(column);
            if (value.isNull()) {
                // The title plays no part in the empty-slot test.
                if (column != 1)
                    slot.hasNull = true;
                return QString();
            }
            return value.toString();
        };
        slot.name = readText(0);
        slot.title = readText(1);
        for (int box = 0; box < SearchCriteria::BoxCount; ++box)
            slot.criteria.box(box) = readText(2 + box);
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

Status save(const Register& reg, int slot, const QueryDefinition& definition)
{
    if (definition.name.isEmpty())
        return Error{QStringLiteral("名称不能为空"), QString()};
    QVariantList values{definition.name, toolbarTitle(definition.title)};
    QStringList columns{nameColumn, titleColumn};
    for (int box = 0; box < SearchCriteria::BoxCount; ++box) {
        columns << criterionColumn(box);
        values << text(definition.criteria.box(box));
    }
    return updateSlot(reg, slot, columns, values);
}

Status clear(const Register& reg, int slot)
{
    QVariantList values{defaultName(slot)};
    QStringList columns{nameColumn};
    for (int box = 0; box < SearchCriteria::BoxCount; ++box) {
        columns << criterionColumn(box);
        values << text(QString());
    }
    return updateSlot(reg, slot, columns, values);
}

Result<bool> needsRepair(const Register& reg)
{
    Result<QVariant> rows =
        Sql::scalar(reg.database(), QStringLiteral("SELECT count(*) FROM %1").arg(table()));
    if (!rows)
        return rows.error();
    Result<QVariant> nulls = Sql::scalar(
        reg.database(),
        QStringLiteral("SELECT count(*) FROM %1 WHERE %2").arg(table(), anyNullCondition()));
    if (!nulls)
        return nulls.error();
    return rows->toInt() < slotCount || nulls->toInt() > 0;
}

Status repair(const Register& reg)
{
    QSqlDatabase db = reg.database();
    Transaction transaction(db);
    if (!transaction.started())
        return transaction.startError();

    Result<QVariant> rows = Sql::scalar(db, QStringLiteral("SELECT count(*) FROM %1").arg(table()));
    if (!rows)
        return rows.error();
    QStringList columns;
    QStringList placeholders;
    for (const QString& column : allColumns()) {
        columns << Sql::identifier(column);
        placeholders << QStringLiteral("?");
    }
    const QString insert = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                               .arg(table(), columns.join(QStringLiteral(", ")),
                                    placeholders.join(QStringLiteral(", ")));
    for (int slot = rows->toInt() + 1; slot <= slotCount; ++slot) {
        QVariantList values{defaultName(slot), QString::fromUtf16(defaultTitles[slot - 1])};
        for (int box = 0; box < SearchCriteria::BoxCount; ++box)
            values << text(QString());
        if (Result<QSqlQuery> inserted = Sql::run(db, insert, values); !inserted)
            return inserted.error();
    }
    for (const QString& column : allColumns()) {
        // A missing toolbar title becomes the single space that stands for none.
        const QVariant blank = text(column == titleColumn ? QStringLiteral(" ") : QString());
        if (Result<QSqlQuery> updated =
                Sql::run(db,
                         QStringLiteral("UPDATE %1 SET %2 = ? WHERE %2 IS NULL")
                             .arg(table(), Sql::identifier(column)),
                         {blank});
            !updated)
            return updated.error();
    }
    return transaction.commit();
}

} // namespace QuerySlots
