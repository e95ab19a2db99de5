#pragma once

#include "queries/gui/ManagementCx.h"

#include <QObject>
#include <QPointer>

class TableFace;

// The nine saved queries in the main window: running a slot, the captions of
// their menu items and toolbar buttons, and the definitions form.
class QueriesArea : public QObject {
    Q_OBJECT
public:
    explicit QueriesArea(TableFace* face);

    // CxMenu_Click: run slot n (1..9).
    void CxMenu_Click(int n);
    // Menu item k and toolbar button k + 5 show slot k's name and title. The
    // first call also repairs a query table that lacks slots or holds Nulls.
    void RefreshCxCaptions();
    // The definitions form, modal from the options menu.
    void openManager();
    // The definitions form without blocking the main window.
    void openManagerModeless();
    // The open definitions form, if any.
    ManagementCx* manager() const { return m_manager; }

private:
    void showManager(Qt::WindowModality modality);
    void repairOnce();

    TableFace* m_face;
    QPointer<ManagementCx> m_manager;
    bool m_repairChecked = false;
};
