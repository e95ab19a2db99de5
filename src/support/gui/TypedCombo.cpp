#include "support/gui/TypedCombo.h"

#include <QComboBox>
#include <QCompleter>

namespace TypedCombo {

void keepTypedText(QComboBox* combo)
{
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    auto* completer = new QCompleter(combo->model(), combo);
    completer->setCompletionMode(QCompleter::PopupCompletion);
    // When editing ends the combo box looks the text up among its entries
    // with the completer's case rule and takes the entry found: only an
    // exact match may be taken, or a typed qq would be saved as QQ.
    completer->setCaseSensitivity(Qt::CaseSensitive);
    combo->setCompleter(completer);
}

} // namespace TypedCombo
