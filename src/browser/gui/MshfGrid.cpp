#include "browser/gui/MshfGrid.h"

#include "browser/gui/RecordTableModel.h"

#include <QDragEnterEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QScrollBar>

MshfGrid::MshfGrid(QWidget* parent) : QTableView(parent)
{
    setModel(new RecordTableModel(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAcceptDrops(true);
    setDropIndicatorShown(false);
    setDragDropMode(QAbstractItemView::DropOnly);
    setWordWrap(false);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    verticalHeader()->setVisible(false);
    // Uniform rows keep scrolling a million-row view cheap.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
}

void MshfGrid::scrollContentsBy(int dx, int dy)
{
    QTableView::scrollContentsBy(dx, dy);
    keepTopRowWhole();
}

void MshfGrid::updateGeometries()
{
    QTableView::updateGeometries();
    keepTopRowWhole();
}

// At the end of its range Qt aligns the last row with the bottom edge and
// cuts the top row in half. The grid shows whole rows from the top, always;
// the range already ends where the last row is in full view.
void MshfGrid::keepTopRowWhole()
{
    const QScrollBar* bar = verticalScrollBar();
    if (bar->maximum() == 0 || bar->value() != bar->maximum())
        return;
    if (verticalHeader()->offset() == verticalHeader()->sectionPosition(bar->value()))
        return;
    verticalHeader()->setOffsetToSectionPosition(bar->value());
    viewport()->update();
}

RecordTableModel* MshfGrid::recordModel() const
{
    return static_cast<RecordTableModel*>(model());
}

int MshfGrid::Row() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() + 1 : 0;
}

int MshfGrid::RowSel() const
{
    const int row = Row();
    if (row == 0)
        return 0;
    const QModelIndexList selected = selectionModel()->selectedRows();
    int low = row;
    int high = row;
    for (const QModelIndex& index : selected) {
        low = std::min(low, index.row() + 1);
        high = std::max(high, index.row() + 1);
    }
    // The other end of the range from the current row.
    return row == low ? high : low;
}

int MshfGrid::Rows() const
{
    return model()->rowCount() + 1;
}

int MshfGrid::TopRow() const
{
    const int top = QTableView::rowAt(0);
    return top < 0 ? 1 : top + 1;
}

void MshfGrid::setTopRow(int row)
{
    row = std::clamp(row, 1, std::max(1, Rows() - 1));
    verticalScrollBar()->setValue(row - 1);
}

void MshfGrid::selectRows(int row, int rowSel)
{
    const int rows = model()->rowCount();
    if (rows == 0)
        return;
    row = std::clamp(row, 1, rows);
    rowSel = std::clamp(rowSel, 1, rows);
    const QModelIndex current = model()->index(row - 1, 0);
    selectionModel()->setCurrentIndex(current, QItemSelectionModel::NoUpdate);
    const QItemSelection range(
        model()->index(std::min(row, rowSel) - 1, 0),
        model()->index(std::max(row, rowSel) - 1, model()->columnCount() - 1));
    selectionModel()->select(range, QItemSelectionModel::ClearAndSelect);
}

QString MshfGrid::TextMatrix(int row, int column) const
{
    if (row == 0)
        return model()->headerData(column, Qt::Horizontal).toString();
    return model()->index(row - 1, column).data().toString();
}

int MshfGrid::rowAt(const QPoint& viewportPoint) const
{
    const int row = QTableView::rowAt(viewportPoint.y());
    return row < 0 ? 0 : row + 1;
}

namespace {

// Only local files can be registered: a web address is not offered a drop.
bool holdsLocalFiles(const QMimeData* data)
{
    const QList<QUrl> urls = data->urls();
    return std::any_of(urls.cbegin(), urls.cend(),
                       [](const QUrl& url) { return url.isLocalFile(); });
}

} // namespace

void MshfGrid::dragEnterEvent(QDragEnterEvent* event)
{
    if (holdsLocalFiles(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void MshfGrid::dragMoveEvent(QDragMoveEvent* event)
{
    if (holdsLocalFiles(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void MshfGrid::dropEvent(QDropEvent* event)
{
    const QMimeData* data = event->mimeData();
    if (!holdsLocalFiles(data)) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    Q_EMIT filesDropped(data->urls());
}

void MshfGrid::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        Q_EMIT rightButtonPressed(rowAt(event->position().toPoint()),
                                  event->globalPosition().toPoint());
        event->accept();
        return;
    }
    QTableView::mousePressEvent(event);
}

void MshfGrid::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        Q_EMIT openRequested();
        event->accept();
        return;
    }
    QTableView::mouseDoubleClickEvent(event);
}

void MshfGrid::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        Q_EMIT openRequested();
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void MshfGrid::focusInEvent(QFocusEvent* event)
{
    QTableView::focusInEvent(event);
    Q_EMIT focusChanged(true);
}

void MshfGrid::focusOutEvent(QFocusEvent* event)
{
    QTableView::focusOutEvent(event);
    Q_EMIT focusChanged(false);
}
