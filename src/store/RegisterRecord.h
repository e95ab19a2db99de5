#pragma once

#include <QString>
#include <QVariant>

// One row of the record table as a view shows it (date in display form).
struct RegisterRecord {
    // The grid's columns; RecordFields says which field each one shows.
    enum Column {
        DateColumn = 0,
        FileNameColumn,
        StoredNameColumn,
        RemarkColumn,
        RecipientColumn,
        MethodColumn,
        SerialColumn,
        FolderColumn,
        ColumnCount
    };

    qint64 rowid = 0;
    QVariant serial;
    QString date;
    QString fileName;
    QString storedName;
    QString remark;
    QString recipient;
    QString method;
    QString folder;

    QString text(int column) const;
    static QString columnName(int column);
};
