#pragma once

#include "store/ViewRst.h"

#include <QCommandLineParser>
#include <QTextStream>

// Prints the records of a view: an aligned table for people (CJK characters
// count two columns), or tsv / json for scripts.
namespace RecordOutput {

enum class Format { Table, Tsv, Json };

// Adds --format to a command's options.
void addFormatOption(QCommandLineParser& parser);
// Reads --format; nullopt (with a message on err) for an unknown value.
std::optional<Format> formatFrom(const QCommandLineParser& parser, QTextStream& err);

void print(const ViewRst& view, Format format, QTextStream& out);

// A text on one line for scripts: backslash, line breaks and tabs written
// as \\, \n, \r and \t, so that the text can be read back exactly.
QString escaped(const QString& text);

// Display width of a text in terminal columns.
int displayWidth(const QString& text);

} // namespace RecordOutput
