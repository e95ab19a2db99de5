#pragma once

class QComboBox;

// An editable drop-down whose stored entries help the user without ever
// changing what they typed: entries are offered in a popup while typing and
// taken only when picked. (Qt's own inline completion would save 张三 for a
// typed 张, and Enter would swap a typed qq for a stored QQ.)
namespace TypedCombo {

void keepTypedText(QComboBox* combo);

} // namespace TypedCombo
