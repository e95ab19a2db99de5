#pragma once

#include <QCommandLineParser>
#include <QTextStream>

#include <optional>

// The slot number N (1..9) that the query commands take as their argument.
namespace QuerySlotArgument {

void add(QCommandLineParser& parser);
// nullopt, with a message on err, when N is missing or not 1..9.
std::optional<int> from(const QCommandLineParser& parser, const QString& command, QTextStream& err);

} // namespace QuerySlotArgument
