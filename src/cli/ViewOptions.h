#pragma once

#include "store/ViewCondition.h"

#include <QCommandLineParser>

// Options that narrow a view as the search panel does: --name, --recipient,
// --method, --since, --until, --remark, --folder.
namespace ViewOptions {

void add(QCommandLineParser& parser);
ViewCondition condition(const QCommandLineParser& parser);

} // namespace ViewOptions
