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

Status apply(const Register& reg, const QList<qint64>& rowids, const Changes& changes)
{
    if (rowids.isEmpty() || changes.isEmpty())
        return {};
    QStringList assignments;
    QVariantList values;
    for (int i = 0; i < static_cast<int>(Field::Count); ++i) {
        const Field field = static_cast<Field>(i);
        if (!changes[field])
            continue;
        assignments << Sql::identifier(columnOf(field)) + QStringLiteral(" = ?");
        values << cut(field, *changes[field]);
    }
    const QString sql = QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?")
                            .arg(Sql::identifier(RegisterNames::recordTable),
                                 assignments.join(QStringLiteral(", ")));

    QSqlDatabase db = reg.database();
    Transaction transaction(db);
    if (!transaction.started())
        return transaction.startError();
    for (qint64 rowid : rowids) {
        QVariantList bound = values;
        bound << rowid;
        Result<QSqlQuery> updated = Sql::run(db, sql, bound);
        if (!updated)
            return updated.error();
        if (updated->numRowsAffected() != 1)
            return Error{QStringLiteral("有记录已被删除，未作任何修改。"), QString::number(rowid)};
    }
    return transaction.commit();
}

} // namespace RecordModify
