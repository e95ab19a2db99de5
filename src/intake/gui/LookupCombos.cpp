#include "intake/gui/LookupCombos.h"

#include "support/gui/MessageBox.h"

#include <QComboBox>

namespace LookupCombos {

void fill(QWidget* owner, const std::array<QComboBox*, 3>& combos,
          const std::array<Result<QStringList>, 3>& lists)
{
    bool told = false;
    for (std::size_t i = 0; i < combos.size(); ++i) {
        if (lists[i]) {
            combos[i]->addItems(lists[i].value());
        } else if (!told) {
            MessageBox::warning(owner,
                                QStringLiteral("无法读取已用过的接收人、传送方式和文件夹：") +
                                    lists[i].error().fullText());
            told = true;
        }
        combos[i]->setCurrentIndex(-1);
        combos[i]->setEditText(QString());
    }
}

} // namespace LookupCombos
