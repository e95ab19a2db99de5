#include "trash/gui/BinTableModel.h"

void BinTableModel::setEntries(QList<RecycleBin::Entry> entries)
{
    beginResetModel();
    m_entries = std::move(entries);
    endResetModel();
}

int BinTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_entries.size());
}

int BinTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : DeletedAtColumn + 1;
}

QVariant BinTableModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_entries.size())
        return {};
    const RecycleBin::Entry& entry = m_entries.at(index.row());
    if (index.column() == DeletedAtColumn)
        return entry.deletedAt;
    return entry.record.text(index.column());
}

QVariant BinTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return section + 1;
    return section == DeletedAtColumn ? RecycleBin::deletedAtColumn
                                      : RegisterRecord::columnName(section);
}
