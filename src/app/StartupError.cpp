#include "app/StartupError.h"

#include "support/gui/MessageBox.h"

#include <cstdio>

void reportStartupError(const QString& message)
{
    std::fprintf(stderr, "quorvel: %s\n", message.toLocal8Bit().constData());
    MessageBox::warning(nullptr, message, QStringLiteral("Quorvel2.0"));
}
