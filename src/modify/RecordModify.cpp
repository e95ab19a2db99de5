#include "modify/RecordModify.h"

#include "store/RegisterNames.h"
#include "store/Sql.h"

#include <QSqlQuery>
#include <QStringList>

namespace RecordModify {

bool Changes::isEmpty() const
{
    for (const std::optional<QString>& value : values) {
        if (value)
            return false;
    }
    return true;
}

QString columnOf(Field field)
{
    switch (field) {
    case Field::Remark:
        return RegisterNames::remark;
    case Field::Recipient:
        return RegisterNames::recipient;
    case Field::Method:
        return RegisterNames::method;
    case Field::Folder:
    default:
        return RegisterNames::folder;
    }
}

int limitOf(Field field)
{
    switch (field) {
    case Field::Remark:
        return RegisterNames::remarkLimit;
    case Field::Recipient:
        return RegisterNames::recipientLimit;
    case Field::Method:
        return RegisterNames::methodLimit;
    case Field::Folder:
    default:
        return RegisterNames::folderLimit;
    }
}

QString cut(Field field, const QString& value)
{
    const int limit = limitOf(field);
    if (value.size() <= limit)
        return value;
    qsizetype length = limit;
    // Keep a surrogate pair whole: drop its first half rather than split it.
    if (value.at(length - 1).isHighSurrogate())
        --length;
    return value.left(length);
}

Status apply(const Register& reg, const QList<SeenRecord>& records, const Changes& changes)
{
    if (records.isEmpty() || changes.isEmpty())
        return {};
    QStringList assignments;
    QStringList written;
    QVariantList values;
    for (int i = 0; i < static_cast<int>(Field::Count); ++i) {
        const Field field = static_cast<Field>(i);
        if (!changes[field])
            continue;
        assignments << Sql::identifier(columnOf(field)) + QStringLiteral(" = ?");
        written << Sql::identifier(columnOf(field)) + QStringLiteral(" IS ?");
        values << cut(field, *changes[field]);
    }
    const QString table = Sql::identifier(RegisterNames::recordTable);
    const QString sql = QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?")
                            .arg(table, assignments.join(QStringLiteral(", ")));
    // What a trigger might have undone shows in the row afterwards.
    const QString check = QStringLiteral("SELECT count(*) FROM %1 WHERE rowid = ? AND %2")
                              .arg(table, written.join(QStringLiteral(" AND ")));

    QSqlDatabase db = reg.database();
    Transaction transaction(db);
    if (!transaction.started())
        return transaction.startError();
    for (const SeenRecord& record : records) {
        if (Status same = record.stillThere(db); !same)
            return same;
        Result<QSqlQuery> updated = Sql::run(db, sql, QVariantList(values) << record.rowid);
        if (!updated)
            return updated.error();
        Result<QVariant> holds = Sql::scalar(db, check, QVariantList{record.rowid} + values);
        if (!holds)
            return holds.error();
        if (updated->numRowsAffected() != 1 || holds->toLongLong() != 1)
            return Error{notAppliedText, QString::number(record.rowid)};
    }
    return transaction.commit();
}

} // namespace RecordModify
