#include "browser/gui/RecordTableModel.h"

void RecordTableModel::setView(std::shared_ptr<ViewRst> view)
{
    beginResetModel();
    m_view = std::move(view);
    endResetModel();
}

void RecordTableModel::showEmpty(std::shared_ptr<ViewRst> emptyView)
{
    beginResetModel();
    m_view = std::move(emptyView);
    endResetModel();
}

void RecordTableModel::replaceEmpty(std::shared_ptr<ViewRst> emptyView)
{
    if (isPlaceholder() && (!emptyView || emptyView->isEmpty()))
        m_view = std::move(emptyView);
}

void RecordTableModel::recordRemoved(int position)
{
    if (!m_view)
        return;
    if (m_view->recordCount() == 1) {
        // The last record goes: the placeholder row takes its place.
        m_view->removeAt(position);
        Q_EMIT dataChanged(index(0, 0), index(0, columnCount() - 1));
        return;
    }
    beginRemoveRows({}, position - 1, position - 1);
    m_view->removeAt(position);
    endRemoveRows();
}

void RecordTableModel::recordsChanged(int firstPosition, int lastPosition)
{
    if (!m_view)
        return;
    for (int position = firstPosition; position <= lastPosition; ++position)
        m_view->invalidate(position);
    Q_EMIT dataChanged(index(firstPosition - 1, 0), index(lastPosition - 1, columnCount() - 1));
}

void RecordTableModel::rereadAll()
{
    if (isPlaceholder())
        return;
    m_view->invalidateAll();
    Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

void RecordTableModel::completeView(int count)
{
    if (!m_view)
        return;
    const int shown = m_view->recordCount();
    if (shown == 0 || count <= shown) {
        // Not a longer view with the same beginning: shown afresh.
        beginResetModel();
        m_view->reread(count);
        endResetModel();
        return;
    }
    beginInsertRows({}, shown, count - 1);
    m_view->setCount(count);
    endInsertRows();
}

int RecordTableModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return isPlaceholder() ? 1 : m_view->recordCount();
}

int RecordTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : RegisterRecord::ColumnCount;
}

QVariant RecordTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    if (isPlaceholder())
        return role == Qt::DisplayRole ? QVariant(QString()) : QVariant();
    const std::optional<RegisterRecord> record = m_view->record(index.row() + 1);
    if (!record)
        return {};
    const QString text = record->text(index.column());
    if (role == Qt::ToolTipRole)
        return text.isEmpty() ? QVariant() : QVariant(text);
    return text;
}

QVariant RecordTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return RegisterRecord::columnName(section);
    return section + 1;
}

Qt::ItemFlags RecordTableModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDropEnabled;
}

QStringList RecordTableModel::mimeTypes() const
{
    return {QStringLiteral("text/uri-list")};
}

Qt::DropActions RecordTableModel::supportedDropActions() const
{
    return Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
}
