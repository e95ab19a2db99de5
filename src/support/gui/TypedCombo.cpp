#include "support/gui/TypedCombo.h"

#include <QComboBox>
#include <QCompleter>

namespace TypedCombo {

void keepTypedText(QComboBox* combo)
{
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    // With duplicates allowed, Enter does not look the text up among the
    // entries (case-insensitively) and replace it.
    combo->setDuplicatesEnabled(true);
    auto* completer = new QCompleter(combo->model(), combo);
    completer->setCompletionMode(QCompleter::PopupCompletion);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    combo->setCompleter(completer);
}

} // namespace TypedCombo
