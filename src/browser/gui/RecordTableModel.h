#pragma once

#include "store/view/ViewRst.h"

#include <QAbstractTableModel>

#include <memory>

// The main grid's model: reads through the current view's record set, one
// page at a time, so a million records cost no more than ten. With no
// records it shows one blank placeholder row under the field names.
class RecordTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    // The model holds the current view, empty ones too.
    void setView(std::shared_ptr<ViewRst> view);
    void showEmpty(std::shared_ptr<ViewRst> emptyView = {});
    // Another empty view without a reset: the placeholder row stays as drawn.
    void replaceEmpty(std::shared_ptr<ViewRst> emptyView);
    const std::shared_ptr<ViewRst>& view() const { return m_view; }
    bool isPlaceholder() const { return !m_view || m_view->isEmpty(); }

    // Announce in-place changes of the view's key list.
    void recordRemoved(int position);
    void recordsChanged(int firstPosition, int lastPosition);
    // Every row may hold other values now: they are read again when drawn.
    void rereadAll();
    // The count of a view shown with its first keys: the rows beyond them
    // are added, selection and scroll position stay.
    void completeView(int count);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    Qt::DropActions supportedDropActions() const override;

private:
    std::shared_ptr<ViewRst> m_view;
};
