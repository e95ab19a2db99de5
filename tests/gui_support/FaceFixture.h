#pragma once

#include "app/TableFace.h"
#include "browser/gui/SearchPanel.h"
#include "support/TempRegister.h"

#include <memory>

class QAction;

// A started main window on a temporary register, with message boxes
// answered by the test instead of a person.
class FaceFixture {
public:
    // Records can be added to `temp` before the window starts. A server
    // register needs the test server (see NEED_KIND).
    explicit FaceFixture(bool start = true, Register::Kind kind = Register::Kind::Sqlite);
    ~FaceFixture();

    void start();
    TempRegister& temp() { return m_temp; }
    TableFace& face() { return *m_face; }
    // Triggers a menu item or toolbar button by its object name.
    void trigger(const QString& objectName);

private:
    TempRegister m_temp;
    std::unique_ptr<TableFace> m_face;
};
