#pragma once

#include <QString>

// Says why the program cannot start, in a message box when a screen is
// there and on stderr always.
void reportStartupError(const QString& message);
