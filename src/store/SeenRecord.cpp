#include "store/SeenRecord.h"

#include "store/RegisterNames.h"
#include "store/sql/Sql.h"
#include "store/sql/SqlDialect.h"

#include <QSqlQuery>

Status SeenRecord::stillThere(const QSqlDatabase& db) const
{
    Result<QSqlQuery> query = Sql::run(db,
                                       QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?")
                                           .arg(Sql::identifier(RegisterNames::storedName),
                                                Sql::identifier(RegisterNames::recordTable),
                                                SqlDialect::of(db).identity()),
                                       {rowid});
    if (!query)
        return query.error();
    if (!query->next() || query->value(0).toString() != storedName)
        return Error{changedText, QString::number(rowid), ErrorCode::Changed};
    return {};
}
