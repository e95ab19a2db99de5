#include "browser/FolderMenu.h"

#include "store/RegisterNames.h"
#include "store/Sql.h"

namespace FolderMenu {

Result<QList<Entry>> load(const Register& reg)
{
    using namespace RegisterNames;
    // count() of the date column counts dated records only, as the menu always
    // has; a folder whose records carry no date is still listed, last.
    const QString sql =
        QStringLiteral("SELECT %1, count(%2) AS n FROM %3 WHERE %1 <> '' GROUP BY %1 "
                       "ORDER BY n DESC, %1")
            .arg(Sql::identifier(folder), Sql::identifier(date), Sql::identifier(recordTable));
    Result<QSqlQuery> query = Sql::run(reg.database(), sql);
    if (!query)
        return query.error();
    QList<Entry> entries;
    while (query->next())
        entries.append({query->value(0).toString(), query->value(1).toLongLong()});
    return entries;
}

} // namespace FolderMenu
