#pragma once

#include <QString>

// A program of Quorvel's own that parses files from outside in a process of
// its own (the old-register reader, the content reader): named by the
// environment variable `variable` (tests), beside the running program (a
// build tree), or where it is installed. Empty when none is found.
QString helperProgram(const QString& name, const char* variable);
