#include "store/sql/RecycleBinTable.h"

#include "store/RegisterNames.h"
#include "store/sql/Sql.h"

namespace RecycleBin {

QString createTable()
{
    const auto id = [](const QString& name) {
        return Sql::identifier(name);
    };
    return QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2 INTEGER, %3 TEXT, %4 TEXT, %5 TEXT, "
                          "%6 TEXT, %7 TEXT, %8 TEXT, %9 TEXT, %10 INTEGER PRIMARY KEY, "
                          "%11 TEXT NOT NULL, %12 TEXT, %13 INTEGER, %14 TEXT)")
        .arg(id(table), id(RegisterNames::serial), id(RegisterNames::date),
             id(RegisterNames::fileName), id(RegisterNames::storedName), id(RegisterNames::remark),
             id(RegisterNames::recipient), id(RegisterNames::method), id(RegisterNames::folder))
        .arg(id(RegisterNames::identity), id(deletedAtColumn), id(binNameColumn), id(sizeColumn),
             id(hashColumn));
}

} // namespace RecycleBin
