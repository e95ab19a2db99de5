#pragma once

#include "store/ViewRst.h"

#include <QCommandLineParser>
#include <QTextStream>
#include <QVariant>

// Prints rows for people (an aligned table) or for scripts (tsv, csv, json,
// jsonl). Machine formats are written row by row as the rows come, carry
// dates as ISO yyyy-MM-dd and keep every character of a value.
namespace RecordOutput {

enum class Format { Table, Tsv, Csv, Json, Jsonl };

// Adds --format to a command's options.
void addFormatOption(QCommandLineParser& parser);
// Reads --format; nullopt (with a message on err) for an unknown value.
std::optional<Format> formatFrom(const QCommandLineParser& parser, QTextStream& err,
                                 const QString& command);

// Adds -0/--null: names end with a NUL character instead of a line break.
void addNullOption(QCommandLineParser& parser);
// The line ending chosen by -0/--null.
QString lineEnd(const QCommandLineParser& parser);

// One output in one format: a header, rows, then finish(). Fields are
// texts, or numbers and booleans that JSON keeps as such.
class Writer {
public:
    // `keys` head the columns; `jsonKeys`, when given, name them in JSON.
    Writer(Format format, QTextStream& out, const QStringList& keys,
           const QStringList& jsonKeys = {});
    void row(const QVariantList& fields);
    // Prints what was held back (the table) and the closing bracket; `count`
    // is the record count line under a table, skipped when empty.
    void finish(const QString& count = {});

private:
    Format m_format;
    QTextStream& m_out;
    QStringList m_keys;
    QStringList m_jsonKeys;
    QList<QStringList> m_table;
    int m_rows = 0;
};

void print(const ViewRst& view, Format format, QTextStream& out);
// The column names `print` heads its columns with, and one record's fields
// in that order.
QStringList recordKeys();
QVariantList recordFields(const RegisterRecord& record, Format format);

// A value made safe for one tab-separated field: backslash, tab, line feed
// and carriage return become \\, \t, \n and \r.
QString tsvEscaped(const QString& text);
// A value as one RFC 4180 field, quoted where it needs to be.
QString csvField(const QString& text);

// Display width of a text in terminal columns: wide characters and emoji
// count two, combining marks none.
int displayWidth(const QString& text);

} // namespace RecordOutput
