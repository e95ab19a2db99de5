#include "store/RegisterRecord.h"

#include "store/RecordFields.h"

QString RegisterRecord::text(int column) const
{
    if (column < 0 || column >= ColumnCount)
        return QString();
    const RecordFields::Field& field = RecordFields::atGridColumn(column);
    switch (field.kind) {
    case RecordFields::Kind::Serial:
        return serial.toString();
    case RecordFields::Kind::Date:
        return date;
    case RecordFields::Kind::Text:
        break;
    }
    return this->*field.shown;
}

QString RegisterRecord::columnName(int column)
{
    return column < 0 || column >= ColumnCount ? QString()
                                               : RecordFields::atGridColumn(column).column;
}
