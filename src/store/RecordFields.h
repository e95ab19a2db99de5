#pragma once

#include "store/RegisterRecord.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>

struct NewRecord;
namespace RecordWriter {
struct FullRecord;
}

// A field of a record, for code that must not know how the register spells
// its columns. In the order of the record table's columns.
enum class RecordField { Serial, Date, FileName, StoredName, Remark, Recipient, Method, Folder };

// Every field of a record, each once, with what each part of the program
// needs to know of it: adding a field is adding a row here.
namespace RecordFields {

// How a field is held: the serial is a number, the date a day, the rest text.
enum class Kind { Serial, Date, Text };

// A grid width that takes what the other columns leave.
constexpr int restOfGrid = -1;

struct Field {
    RecordField field;
    QString column; // stored name: also the key scripts and the history see
    Kind kind;
    RegisterRecord::Column gridColumn;
    int gridWidth;           // in 8500ths of the main grid's width; 0: hidden there
    int outputPosition;      // place in listings, serial first
    int limit;               // longest text in characters; 0: not cut
    QString label;           // caption the windows show
    const char* option;      // its option in `add` and `modify`; nullptr: none
    const char* optionValue; // the option's value as `add` names it
    bool modifiable;         // changed by the modify form and `modify`
    bool counted;            // its values are counted by use for the lists
    // Where a text field is held in each kind of record.
    QString RegisterRecord::*shown = nullptr;
    QString NewRecord::*added = nullptr;
    QString RecordWriter::FullRecord::*written = nullptr; // none: older registers lack it
    const char16_t* optionNote = nullptr; // said in the option's help after the limit
};

constexpr int count = RegisterRecord::ColumnCount;

// In the order of the record table's columns.
const QList<Field>& all();
const Field& of(RecordField field);
const Field& atGridColumn(int column);
// The fields in listing order.
const QList<Field>& inOutputOrder();
// The record table's column names, in their order.
const QStringList& columns();
// The columns whose distinct values are counted (the value table and the
// ordered indexes of the search indexes), in their order.
const QStringList& countedColumns();

// The record whose stored columns `valueAt` gives from `first` on.
void read(RegisterRecord& record, const std::function<QVariant(int)>& valueAt, int first);
// The record columns with their types, quoted and in order, for a CREATE
// TABLE (`server`: in PostgreSQL's words).
QString declared(bool server = false);

// The values of a new record in column order, as stored.
QVariantList storedValues(const NewRecord& record);

} // namespace RecordFields
