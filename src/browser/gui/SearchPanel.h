#pragma once

#include "store/view/SearchCriteria.h"

#include <QGroupBox>
#include <QList>

class QLineEdit;
class QToolButton;

// The 搜索文件 frame of the main window: seven boxes, one per criterion, and
// the combined-search button. Enter in any box or a click on the button
// asks for a search.
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

Q_SIGNALS:
    void searchRequested();

private:
    QList<QLineEdit*> m_boxes;
    QToolButton* m_button = nullptr;
};
