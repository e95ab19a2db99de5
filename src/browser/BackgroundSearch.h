#pragma once

#include "base/Result.h"
#include "store/Register.h"
#include "store/view/ViewCondition.h"
#include "store/view/ViewRst.h"

#include <QList>
#include <QObject>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>

// Starts a view (its first keys and its count) on a thread of its own,
// with its own connection,
// so that a long search leaves the window responsive. Starting a search makes
// every older one stop at SQLite's next progress check, and only the newest
// search ever delivers its result.
class BackgroundSearch : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(Result<ViewRst::Start>)>;
    using FirstScreen = std::function<void(QList<qint64>)>;

    explicit BackgroundSearch(Register reg, QObject* parent = nullptr);
    ~BackgroundSearch() override;

    // Starts reading the view of `condition` (ViewRst::start, finding
    // `findKeys`); `done` runs on this object's thread when it is read,
    // unless a newer search or cancel() came first. `firstScreen`, when
    // given, runs before it, under the same terms, with the first keys of a
    // view that has more than a screen of them.
    void start(const ViewCondition& condition, Done done, FirstScreen firstScreen = {},
               QList<qint64> findKeys = {});
    // Stops the running search; its result is never delivered.
    void cancel();
    // Whether a search was started and has not delivered or been cancelled.
    bool isBusy() const { return m_busy; }

private:
    class Worker;

    void deliver(quint64 generation, Result<ViewRst::Start> started);
    void deliverFirst(quint64 generation, QList<qint64> keys);

    Register m_register;
    QThread m_thread;
    Worker* m_worker = nullptr;
    std::shared_ptr<std::atomic<quint64>> m_latest;
    Done m_done;
    FirstScreen m_firstScreen;
    bool m_busy = false;
};
