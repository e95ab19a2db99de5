#include "store/RegisterRecord.h"

#include "store/RegisterNames.h"

QString RegisterRecord::text(int column) const
{
    switch (column) {
    case DateColumn:
        return date;
    case FileNameColumn:
        return fileName;
    case StoredNameColumn:
        return storedName;
    case RemarkColumn:
        return remark;
    case RecipientColumn:
        return recipient;
    case MethodColumn:
        return method;
    case SerialColumn:
        return serial.toString();
    case FolderColumn:
        return folder;
    default:
        return QString();
    }
}

QString RegisterRecord::columnName(int column)
{
    switch (column) {
    case DateColumn:
        return RegisterNames::date;
    case FileNameColumn:
        return RegisterNames::fileName;
    case StoredNameColumn:
        return RegisterNames::storedName;
    case RemarkColumn:
        return RegisterNames::remark;
    case RecipientColumn:
        return RegisterNames::recipient;
    case MethodColumn:
        return RegisterNames::method;
    case SerialColumn:
        return RegisterNames::serial;
    case FolderColumn:
        return RegisterNames::folder;
    default:
        return QString();
    }
}
