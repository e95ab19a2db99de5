#pragma once

#include "store/Register.h"

#include <QObject>
#include <QPointer>

class InboxWatcher;
class QThread;

// A register's inbox watched in a thread of its own, for a window that must
// not wait while files are registered.
class InboxRunner : public QObject {
    Q_OBJECT

public:
    explicit InboxRunner(QObject* parent = nullptr);
    ~InboxRunner() override;

    // Watches the inbox of `reg`, after stopping any earlier watch; nothing
    // happens when the register has no inbox.
    void restart(const Register& reg);
    // Lets a batch under way finish its group, then ends the watch.
    void stop();

Q_SIGNALS:
    // How many files this watch has registered, after each.
    void registered(qint64 total);
    void problem(const QString& text);

private:
    QThread* m_thread = nullptr;
    QPointer<InboxWatcher> m_watcher;
};
