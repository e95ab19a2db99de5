#include "browser/BackgroundSearch.h"

#include "store/view/SearchInterrupt.h"

// Lives on the search thread; everything it touches is that thread's.
class BackgroundSearch::Worker : public QObject {
public:
    Worker(Register reg, std::shared_ptr<std::atomic<quint64>> latest)
        : m_register(std::move(reg)), m_latest(std::move(latest))
    {
    }

    Result<ViewRst::Start> run(quint64 generation, const ViewCondition& condition,
                               const ViewRst::FirstScreen& firstScreen,
                               const QList<qint64>& findKeys)
    {
        m_running = generation;
        m_interrupt.watch(m_register, [this] { return stale(m_running); });
        return ViewRst::start(m_register, condition, firstScreen, findKeys);
    }

    bool stale(quint64 generation) const { return generation != m_latest->load(); }

    void close()
    {
        m_interrupt.release();
        m_register.closeConnection();
    }

private:
    Register m_register;
    std::shared_ptr<std::atomic<quint64>> m_latest;
    quint64 m_running = 0;
    SearchInterrupt m_interrupt;
};

BackgroundSearch::BackgroundSearch(Register reg, QObject* parent)
    : QObject(parent), m_register(std::move(reg)),
      m_latest(std::make_shared<std::atomic<quint64>>(0))
{
    m_worker = new Worker(m_register, m_latest);
    m_worker->moveToThread(&m_thread);
    // The connection belongs to the search thread: it is closed there, as the
    // thread ends.
    Worker* worker = m_worker;
    connect(
        &m_thread, &QThread::finished, worker,
        [worker] {
            worker->close();
            delete worker;
        },
        Qt::DirectConnection);
    m_thread.setObjectName(QStringLiteral("search"));
    m_thread.start();
}

BackgroundSearch::~BackgroundSearch()
{
    cancel();
    m_thread.quit();
    m_thread.wait();
}

void BackgroundSearch::start(const ViewCondition& condition, Done done, FirstScreen firstScreen,
                             QList<qint64> findKeys)
{
    const quint64 generation = ++*m_latest;
    m_done = std::move(done);
    m_firstScreen = std::move(firstScreen);
    m_busy = true;
    Worker* worker = m_worker;
    const bool early = bool(m_firstScreen);
    QMetaObject::invokeMethod(
        m_worker,
        [this, worker, generation, condition, early, findKeys] {
            // A search overtaken while it waited never starts.
            if (worker->stale(generation))
                return;
            ViewRst::FirstScreen first;
            if (early) {
                // Queued before the complete list, so it arrives first.
                first = [this, worker, generation](const QList<qint64>& keys) {
                    if (worker->stale(generation))
                        return;
                    QMetaObject::invokeMethod(
                        this, [this, generation, keys] { deliverFirst(generation, keys); },
                        Qt::QueuedConnection);
                };
            }
            Result<ViewRst::Start> started = worker->run(generation, condition, first, findKeys);
            if (worker->stale(generation))
                return;
            QMetaObject::invokeMethod(
                this,
                [this, generation, started = std::move(started)]() mutable {
                    deliver(generation, std::move(started));
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void BackgroundSearch::cancel()
{
    ++*m_latest;
    m_busy = false;
    m_done = nullptr;
    m_firstScreen = nullptr;
}

void BackgroundSearch::deliverFirst(quint64 generation, QList<qint64> keys)
{
    if (generation != m_latest->load() || !m_firstScreen)
        return;
    FirstScreen firstScreen = std::move(m_firstScreen);
    m_firstScreen = nullptr;
    firstScreen(std::move(keys));
}

void BackgroundSearch::deliver(quint64 generation, Result<ViewRst::Start> started)
{
    if (generation != m_latest->load() || !m_done)
        return;
    m_busy = false;
    Done done = std::move(m_done);
    m_done = nullptr;
    m_firstScreen = nullptr;
    done(std::move(started));
}
