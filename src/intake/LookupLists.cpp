#include "intake/LookupLists.h"

#include "store/RegisterNames.h"
#include "store/SearchIndexes.h"
#include "store/Sql.h"

#include <QSqlQuery>

namespace LookupLists {

namespace {

const QStringList fixedMethods = {QStringLiteral("Email"), QStringLiteral("MSN"),
                                  QStringLiteral("传真"), QStringLiteral("QQ"),
                                  QStringLiteral("面呈")};

// Values of one column by use, most used first (ties in the order of the
// values); NULL is never listed. The search indexes keep every value with
// its count, so a large register is not counted again for each form.
Result<QStringList> byUse(const Register& reg, const QString& column)
{
    const QString sql = QStringLiteral("SELECT 值 FROM %1 WHERE 栏目 = ? ORDER BY 记录数 DESC, 值")
                            .arg(Sql::identifier(SearchIndexes::valueTable));
    Result<QSqlQuery> query = Sql::run(reg.database(), sql, {column});
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
