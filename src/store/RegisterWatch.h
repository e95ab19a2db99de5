#pragma once

#include "store/Register.h"

#include <QObject>
#include <QTimer>

// Tells a window when the register was changed by someone else: another
// program, the command line, another window. It asks the store's change
// counter on a timer; the counter moves only for what other connections
// committed, and commits this program made on its other threads (intake,
// imports, repairs) are its own: the window shows those itself.
class RegisterWatch : public QObject {
    Q_OBJECT
public:
    static constexpr int defaultPeriodMs = 500;

    // Starts watching at once; what the register holds now counts as seen.
    explicit RegisterWatch(Register reg, QObject* parent = nullptr, int periodMs = defaultPeriodMs);

    // Looks now rather than at the next tick; whether changed() was sent.
    bool checkNow();

    // Every commit of this program goes through these, so that a change a
    // thread of ours made is not taken for someone else's. Called just before
    // and just after the commit.
    static void commitStarting();
    static void commitEnded();

Q_SIGNALS:
    // The register holds something this program did not put there.
    void changed();

private:
    Register m_register;
    QTimer m_timer;
    qint64 m_counter = 0;
    bool m_known = false;
    // Commits of our other threads that had ended at the last look.
    quint64 m_ownEnded = 0;
};
