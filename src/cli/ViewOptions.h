#pragma once

#include "store/view/SearchCriteria.h"
#include "store/view/ViewCondition.h"

#include <QCommandLineParser>
#include <QTextStream>

#include <optional>

// The options that choose a view, shared by every command that works on one:
// --all, --sent, --received, --local, --folder NAME, and the search
// criteria --name, --recipient, --method, --from, --to, --remark,
// --in-folder, --content, combined as the search panel combines them.
namespace ViewOptions {

// The criteria. `fileNameOption` names the file-name criterion where
// --name means something else (the query name of query-set).
void addCriteria(QCommandLineParser& parser,
                 const QString& fileNameOption = QStringLiteral("name"));

// Copies the criteria options that are set into `criteria`, as typed.
void readCriteria(const QCommandLineParser& parser, SearchCriteria& criteria,
                  const QString& fileNameOption = QStringLiteral("name"));

// The view choices and the criteria.
void addView(QCommandLineParser& parser);
// The chosen view's condition; nullopt after a message for a wrong choice
// or a date that is not a date.
std::optional<ViewCondition> viewCondition(const QCommandLineParser& parser, QTextStream& err,
                                           const QString& command);

} // namespace ViewOptions
