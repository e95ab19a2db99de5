#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>

class QWidget;

// How the add and modify forms close after saving: hide 10 ms after the
// save, wait about 600 ms and 20 ms more, rebuild the folder menu, then
// close (and so delete) the form. The short delays let the main window
// repaint before the menu work.
class ClosingSequence : public QObject {
    Q_OBJECT
public:
    ClosingSequence(QWidget* form, std::function<void()> rebuildFolderMenu);

    void start();
    // 10, 600 or 20 while running; 0 when stopped or done.
    int interval() const { return m_timer.isActive() ? m_timer.interval() : 0; }
    bool isRunning() const { return m_timer.isActive(); }

Q_SIGNALS:
    void finished();

private:
    void tick();

    QPointer<QWidget> m_form;
    std::function<void()> m_rebuildFolderMenu;
    QTimer m_timer;
};
