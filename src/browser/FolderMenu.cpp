#include "browser/FolderMenu.h"

#include "store/RegisterNames.h"
#include "store/SearchIndexes.h"
#include "store/Sql.h"

namespace FolderMenu {

Result<QList<Entry>> load(const Register& reg)
{
    using namespace RegisterNames;
    // The count of dated records, as the menu always showed (a folder whose
    // records carry no date is still listed, last), kept by the register's
    // triggers so the menu never counts a million records.
    const QString sql = QStringLiteral("SELECT 值, 有日期数 FROM %1 WHERE 栏目 = ? AND 值 <> '' "
                                       "ORDER BY 有日期数 DESC, 值")
                            .arg(Sql::identifier(SearchIndexes::valueTable));
    Result<QSqlQuery> query = Sql::run(reg.database(), sql, {folder});
    if (!query)
        return query.error();
    QList<Entry> entries;
    while (query->next())
        entries.append({query->value(0).toString(), query->value(1).toLongLong()});
    return entries;
}

} // namespace FolderMenu
