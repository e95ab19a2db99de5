#pragma once

#include <QObject>

class TableFace;

// The nine saved queries in the main window: running a slot, the captions of
// their menu items and toolbar buttons, and the definitions form.
class QueriesArea : public QObject {
    Q_OBJECT
public:
    explicit QueriesArea(TableFace* face);

    // CxMenu_Click: run slot n (1..9).
    void CxMenu_Click(int n);
    void RefreshCxCaptions();
    // The definitions form, modal from the options menu.
    void openManager();

private:
    TableFace* m_face;
};
