#pragma once

#include <QTableView>
#include <QUrl>

class RecordTableModel;

// The main grid. Rows are counted as the record operations count them: row
// 0 is the header, rows 1.. are records. Row() is the current row, RowSel()
// the other end of the selected range.
class MshfGrid : public QTableView {
    Q_OBJECT
public:
    explicit MshfGrid(QWidget* parent = nullptr);

    RecordTableModel* recordModel() const;

    int Row() const;
    int RowSel() const;
    int Rows() const; // header row included
    int TopRow() const;
    void setTopRow(int row);
    // Makes `row` current and selects the rows from `row` to `rowSel` whole.
    void selectRows(int row, int rowSel);
    void setRow(int row) { selectRows(row, row); }
    void setRowSel(int rowSel) { selectRows(Row(), rowSel); }
    QString TextMatrix(int row, int column) const;
    // The record row under a point in viewport coordinates; 0 on the header.
    int rowAt(const QPoint& viewportPoint) const;

Q_SIGNALS:
    void filesDropped(const QList<QUrl>& urls);
    void rightButtonPressed(int rowUnderPointer, const QPoint& globalPosition);
    void openRequested();
    void focusChanged(bool hasFocus);

protected:
    void scrollContentsBy(int dx, int dy) override;
    void updateGeometries() override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void keepTopRowWhole();
};
