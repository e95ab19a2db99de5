#pragma once

#include "base/Result.h"

#include <QStringList>

#include <array>

class QComboBox;
class QWidget;

// The add and modify forms offer the recipients, methods and folders used
// before. Each box starts empty; a list that cannot be read leaves its box
// taking typed values only, and `owner` tells the user once.
namespace LookupCombos {

void fill(QWidget* owner, const std::array<QComboBox*, 3>& combos,
          const std::array<Result<QStringList>, 3>& lists);

} // namespace LookupCombos
