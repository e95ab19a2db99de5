#pragma once

#include "store/view/SearchCriteria.h"

#include <QGroupBox>
#include <QList>

class QLineEdit;
class QToolButton;

// The 搜索文件 frame of the main window: seven boxes, one per record
// criterion, and the combined-search button; and, in a frame of its own
// beside it (contentPart(), placed by the window), the box of a word in the
// copies' content. Enter in any box or a click on the button asks for a
// search.
class SearchPanel : public QGroupBox {
    Q_OBJECT
public:
    explicit SearchPanel(QWidget* parent = nullptr);

    SearchCriteria criteria() const;
    // Writes only the boxes whose text differs, so a box that keeps its text
    // keeps its cursor.
    void setCriteria(const SearchCriteria& criteria);
    void clear();
    // Box `index` in SearchCriteria::Box order.
    QLineEdit* box(int index) const { return m_boxes.value(index); }
    // The content box's frame, a sibling of the panel: the panel has no room
    // left for it.
    QWidget* contentPart() const { return m_contentPart; }

Q_SIGNALS:
    void searchRequested();

private:
    QList<QLineEdit*> m_boxes;
    QToolButton* m_button = nullptr;
    QWidget* m_contentPart = nullptr;
};
