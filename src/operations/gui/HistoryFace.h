#pragma once

#include "store/Audit.h"

#include <QDialog>

class QTableWidget;

// A small read-only window listing what was done to one record, newest
// first: time, user, action and the fields that changed.
class HistoryFace : public QDialog {
    Q_OBJECT
public:
    HistoryFace(const QString& fileName, const QList<Audit::Entry>& entries, QWidget* parent);

    QTableWidget* table() const { return m_table; }

private:
    QTableWidget* m_table = nullptr;
};
