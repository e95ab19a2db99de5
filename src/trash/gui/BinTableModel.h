#pragma once

#include "store/RecycleBin.h"

#include <QAbstractTableModel>

// The recycle bin in the grid: the record columns as the main grid has them,
// then 删除时间. The bin is read whole; it holds what people deleted.
class BinTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    static constexpr int DeletedAtColumn = RegisterRecord::ColumnCount;

    void setEntries(QList<RecycleBin::Entry> entries);
    const QList<RecycleBin::Entry>& entries() const { return m_entries; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    QList<RecycleBin::Entry> m_entries;
};
