#include "store/RecordFields.h"

#include "base/DateText.h"
#include "store/RecordStore.h"
#include "store/RegisterNames.h"
#include "store/sql/RecordWriter.h"
#include "store/sql/Sql.h"

#include <algorithm>

namespace RecordFields {

namespace {

QList<Field> table()
{
    using namespace RegisterNames;
    using R = RegisterRecord;
    using N = NewRecord;
    using W = RecordWriter::FullRecord;
    // clang-format off
    //  field                    column      kind          grid column          width       out limit label       option       value    mod    counted
    return {
        {RecordField::Serial,     serial,     Kind::Serial, R::SerialColumn,     0,          0, 0,   serial,     nullptr,     nullptr, false, false},
        {RecordField::Date,       date,       Kind::Date,   R::DateColumn,       1000,       1, 0,   date,       "date",      "D",     false, false},
        {RecordField::FileName,   fileName,   Kind::Text,   R::FileNameColumn,   2000,       2, 50,  fileName,   nullptr,     nullptr, false, false,
         &R::fileName, &N::fileName, &W::fileName},
        {RecordField::StoredName, storedName, Kind::Text,   R::StoredNameColumn, 0,          7, 150, storedName, nullptr,     nullptr, false, false,
         &R::storedName, &N::storedName, &W::storedName},
        {RecordField::Remark,     remark,     Kind::Text,   R::RemarkColumn,     2150,       3, 150, remark,     "remark",    "T",     true,  false,
         &R::remark, &N::remark, &W::remark},
        {RecordField::Recipient,  recipient,  Kind::Text,   R::RecipientColumn,  1100,       4, 50,  recipient,  "recipient", "R",     true,  true,
         &R::recipient, &N::recipient, &W::recipient},
        {RecordField::Method,     method,     Kind::Text,   R::MethodColumn,     1000,       5, 50,  method,     "method",    "M",     true,  true,
         &R::method, &N::method, &W::method},
        {RecordField::Folder,     folder,     Kind::Text,   R::FolderColumn,     restOfGrid, 6, 50,  folder,     "folder",    "F",     true,  true,
         &R::folder, &N::folder, &W::folder, u"空文字表示不在文件夹中"},
    };
    // clang-format on
}

} // namespace

const QList<Field>& all()
{
    static const QList<Field> fields = [] {
        const QList<Field> made = table();
        Q_ASSERT(made.size() == count);
        for (int i = 0; i < made.size(); ++i)
            Q_ASSERT(static_cast<int>(made[i].field) == i);
        return made;
    }();
    return fields;
}

const Field& of(RecordField field)
{
    return all()[static_cast<int>(field)];
}

const Field& atGridColumn(int column)
{
    static const QList<const Field*> byColumn = [] {
        QList<const Field*> fields(count, nullptr);
        for (const Field& field : all())
            fields[field.gridColumn] = &field;
        return fields;
    }();
    return *byColumn.at(column);
}

const QList<Field>& inOutputOrder()
{
    static const QList<Field> fields = [] {
        QList<Field> sorted = all();
        std::sort(sorted.begin(), sorted.end(), [](const Field& a, const Field& b) {
            return a.outputPosition < b.outputPosition;
        });
        return sorted;
    }();
    return fields;
}

const QStringList& columns()
{
    static const QStringList names = [] {
        QStringList made;
        for (const Field& field : all())
            made << field.column;
        return made;
    }();
    return names;
}

const QStringList& countedColumns()
{
    static const QStringList names = [] {
        QStringList made;
        for (const Field& field : all()) {
            if (field.counted)
                made << field.column;
        }
        return made;
    }();
    return names;
}

QString declared(bool server)
{
    QStringList declarations;
    for (const Field& field : all()) {
        const bool number = field.kind == Kind::Serial;
        const QString type = server ? (number ? QStringLiteral("bigint") : QStringLiteral("text"))
                                    : (number ? QStringLiteral("INTEGER") : QStringLiteral("TEXT"));
        declarations << Sql::identifier(field.column) + QLatin1Char(' ') + type;
    }
    return declarations.join(QStringLiteral(", "));
}

void read(RegisterRecord& record, const std::function<QVariant(int)>& valueAt, int first)
{
    for (const Field& field : all()) {
        const QVariant value = valueAt(first + static_cast<int>(field.field));
        switch (field.kind) {
        case Kind::Serial:
            record.serial = value;
            break;
        case Kind::Date:
            record.date = DateText::toDisplay(value.toString());
            break;
        case Kind::Text:
            record.*field.shown = value.toString();
            break;
        }
    }
}

QVariantList storedValues(const NewRecord& record)
{
    QVariantList values;
    for (const Field& field : all()) {
        switch (field.kind) {
        case Kind::Serial:
            values << record.serial;
            break;
        case Kind::Date:
            values << (record.date.isValid() ? DateText::toStored(record.date)
                                             : QStringLiteral(""));
            break;
        case Kind::Text:
            values << record.*field.added;
            break;
        }
    }
    return values;
}

} // namespace RecordFields
