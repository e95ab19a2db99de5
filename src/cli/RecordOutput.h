#pragma once

#include "cli/ByteOutput.h"
#include "store/RegisterRecord.h"

#include <QCommandLineParser>
#include <QTextStream>
#include <QVariant>

struct CliContext;
class Register;
class ViewCursor;
struct ViewCondition;

// Prints rows for people (an aligned table) or for scripts (tsv, csv, json,
// jsonl). Every format is written row by row as the rows come (the table
// after a first block that sets its column widths); machine formats carry
// dates as ISO yyyy-MM-dd and keep every character of a value.
namespace RecordOutput {

enum class Format { Table, Tsv, Csv, Json, Jsonl };

// Adds --format to a command's options; `workbook` names xlsx among them.
void addFormatOption(QCommandLineParser& parser, bool workbook = false);
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
    // The cursor's record, for a writer headed by recordKeys(): the same
    // bytes as row(recordFields(…)), without the detour through texts.
    void record(const ViewCursor& cursor);
    // Prints what was held back (the table) and the closing bracket; `count`
    // is the record count line under a table, skipped when empty.
    void finish(const QString& count = {});

    // The output went away or failed: writing more is pointless.
    const ByteOutput& output() const { return m_output; }

private:
    bool recordBytes(const ViewCursor& cursor);
    void tableLine(const QStringList& texts);
    void releaseTable();

    Format m_format;
    ByteOutput m_output;
    QStringList m_keys;
    QStringList m_jsonKeys;
    // JSON objects list their keys in QJsonObject's order: the field index
    // of each, and its `"key":` text.
    QList<int> m_jsonOrder;
    QList<QByteArray> m_jsonNames;
    // The table holds back its first rows to measure its columns, then
    // prints each row as it comes, widening a column a longer value needs.
    QList<QStringList> m_table;
    QList<int> m_widths;
    bool m_tableReleased = false;
    QElapsedTimer m_started;
    int m_rows = 0;
};

// Lists the records of a view, streamed, as `list` and `query` do. The exit
// status: failures are told on stderr; a reader that went away (SIGPIPE
// ignored) ends the listing quietly with ExitFailed.
int list(const Register& reg, const ViewCondition& condition, Format format, CliContext& context);
// The column names `list` heads its columns with, and one record's fields
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
