#include "intake/LookupLists.h"

#include "store/RegisterNames.h"
#include "store/Sql.h"

#include <QSqlQuery>

namespace LookupLists {

namespace {

const QStringList fixedMethods = {QStringLiteral("Email"), QStringLiteral("MSN"),
                                  QStringLiteral("传真"), QStringLiteral("QQ"),
                                  QStringLiteral("面呈")};

// Values of one column by use, most used first; NULL is never listed.
Result<QStringList> byUse(const Register& reg, const QString& column)
{
    const QString sql =
        QStringLiteral("SELECT %1, count(%1) FROM %2 WHERE %1 IS NOT NULL "
                       "GROUP BY %1 ORDER BY 2 DESC")
            .arg(Sql::identifier(column), Sql::identifier(RegisterNames::recordTable));
    Result<QSqlQuery> query = Sql::run(reg.database(), sql);
    if (!query)
        return query.error();
    QStringList values;
    while (query->next())
        values << query->value(0).toString();
    return values;
}

Result<QStringList> fixedThenUsed(const Register& reg, const QString& column, QStringList list,
                                  bool keepEmpty)
{
    Result<QStringList> used = byUse(reg, column);
    if (!used)
        return used.error();
    const QStringList fixed = list;
    for (const QString& value : used.value()) {
        if ((value.isEmpty() && !keepEmpty) || fixed.contains(value))
            continue;
        list << value;
    }
    return list;
}

} // namespace

Result<QStringList> recipients(const Register& reg)
{
    return fixedThenUsed(reg, RegisterNames::recipient,
                         {RegisterNames::recipientSelf, RegisterNames::recipientLocal}, false);
}

Result<QStringList> addFormMethods(const Register& reg)
{
    return fixedThenUsed(reg, RegisterNames::method, fixedMethods, false);
}

Result<QStringList> modifyFormMethods(const Register& reg)
{
    Result<QStringList> list = addFormMethods(reg);
    if (list)
        list->prepend(QString());
    return list;
}

Result<QStringList> folders(const Register& reg)
{
    return fixedThenUsed(reg, RegisterNames::folder, {}, true);
}

} // namespace LookupLists
