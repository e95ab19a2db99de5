#pragma once

#include "queries/QuerySlots.h"
#include "queries/gui/ManagementCx.h"
#include "store/view/SearchCriteria.h"

#include <QList>
#include <QObject>
#include <QPointer>

// The nine saved queries in the main window: running a slot, the captions of
// their menu items and toolbar buttons, and the definitions form.
class QueriesArea : public QObject {
    Q_OBJECT
public:
    // `window` owns the messages and the definitions form.
    QueriesArea(Register reg, QWidget* window);

    // CxMenu_Click: run slot n (1..9).
    void CxMenu_Click(int n);
    // Reads the slots for their captions (captionsRead). The first call
    // also repairs a query table that lacks slots or holds Nulls.
    void RefreshCxCaptions();
    // The definitions form, modal from the options menu.
    void openManager();
    // The definitions form without blocking the main window.
    void openManagerModeless();
    // The open definitions form, if any.
    ManagementCx* manager() const { return m_manager; }

Q_SIGNALS:
    // Slot n asks for its search, to be shown under `caption`.
    void searchRequested(const SearchCriteria& criteria, const QString& caption);
    // Menu item k and toolbar button k + 5 show slot k's name and title.
    void captionsRead(const QList<QuerySlot>& slots);

private:
    void showManager(Qt::WindowModality modality);
    void repairOnce();

    Register m_register;
    QWidget* m_window;
    QPointer<ManagementCx> m_manager;
    bool m_repairChecked = false;
};
