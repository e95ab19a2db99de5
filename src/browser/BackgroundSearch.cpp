#include "browser/BackgroundSearch.h"

#include "store/ViewRst.h"

#include "store/RawStatement.h"

#include <sqlite3.h>

// Lives on the search thread; everything it touches is that thread's.
class BackgroundSearch::Worker : public QObject {
public:
    Worker(Register reg, std::shared_ptr<std::atomic<quint64>> latest)
        : m_register(std::move(reg)), m_latest(std::move(latest))
    {
    }

    Result<QList<qint64>> run(quint64 generation, const ViewCondition& condition)
    {
        m_running = generation;
        QSqlDatabase db = m_register.database();
        if (sqlite3* handle = RawStatement::handleOf(db); handle && handle != m_watched) {
            // Every few thousand steps the statement asks whether a newer
            // search came; a non-zero answer ends it with SQLITE_INTERRUPT.
            sqlite3_progress_handler(handle, 4000, &Worker::superseded, this);
            m_watched = handle;
        }
        return ViewRst::loadKeys(m_register, condition);
    }

    bool stale(quint64 generation) const { return generation != m_latest->load(); }

    void close()
    {
        if (m_watched)
            sqlite3_progress_handler(m_watched, 0, nullptr, nullptr);
        m_watched = nullptr;
        m_register.closeConnection();
    }

private:
    static int superseded(void* self)
    {
        const auto* worker = static_cast<const Worker*>(self);
        return worker->stale(worker->m_running) ? 1 : 0;
    }

    Register m_register;
    std::shared_ptr<std::atomic<quint64>> m_latest;
    quint64 m_running = 0;
    sqlite3* m_watched = nullptr;
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

void BackgroundSearch::start(const ViewCondition& condition, Done done)
{
    const quint64 generation = ++*m_latest;
    m_done = std::move(done);
    m_busy = true;
    Worker* worker = m_worker;
    QMetaObject::invokeMethod(
        m_worker,
        [this, worker, generation, condition] {
            // A search overtaken while it waited never starts.
            if (worker->stale(generation))
                return;
            Result<QList<qint64>> keys = worker->run(generation, condition);
            if (worker->stale(generation))
                return;
            QMetaObject::invokeMethod(
                this,
                [this, generation, keys = std::move(keys)]() mutable {
                    deliver(generation, std::move(keys));
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
}

void BackgroundSearch::deliver(quint64 generation, Result<QList<qint64>> keys)
{
    if (generation != m_latest->load() || !m_done)
        return;
    m_busy = false;
    Done done = std::move(m_done);
    m_done = nullptr;
    done(std::move(keys));
}
