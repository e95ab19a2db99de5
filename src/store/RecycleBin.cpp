#include "store/sql/RecycleBinTable.h"

#include "store/RecordFields.h"
#include "store/RegisterNames.h"
#include "store/sql/Sql.h"

namespace RecycleBin {

QString createTable()
{
    const auto id = [](const QString& name) {
        return Sql::identifier(name);
    };
    return QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2, %3 INTEGER PRIMARY KEY, "
                          "%4 TEXT NOT NULL, %5 TEXT, %6 INTEGER, %7 TEXT)")
        .arg(id(table), RecordFields::declared(), id(RegisterNames::identity), id(deletedAtColumn),
             id(binNameColumn), id(sizeColumn), id(hashColumn));
}

} // namespace RecycleBin
