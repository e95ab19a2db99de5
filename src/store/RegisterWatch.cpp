#include "store/RegisterWatch.h"

#include "store/RecordStore.h"

#include <atomic>

namespace {

// Commits of the whole program, and of the calling thread alone: a thread
// never mistakes its own commits for another thread's.
std::atomic<quint64> commitsStarted{0};
std::atomic<quint64> commitsEnded{0};
thread_local quint64 threadStarted = 0;
thread_local quint64 threadEnded = 0;

quint64 startedElsewhere()
{
    return commitsStarted.load() - threadStarted;
}

quint64 endedElsewhere()
{
    return commitsEnded.load() - threadEnded;
}

} // namespace

void RegisterWatch::commitStarting()
{
    ++threadStarted;
    ++commitsStarted;
}

void RegisterWatch::commitEnded()
{
    ++threadEnded;
    ++commitsEnded;
}

RegisterWatch::RegisterWatch(Register reg, QObject* parent, int periodMs)
    : QObject(parent), m_register(std::move(reg))
{
    checkNow();
    m_timer.setInterval(periodMs);
    connect(&m_timer, &QTimer::timeout, this, &RegisterWatch::checkNow);
    m_timer.start();
}

bool RegisterWatch::checkNow()
{
    // A commit counted as ended is in the counter read after it; one only
    // started may or may not be, so it keeps the next change our own too.
    const quint64 ended = endedElsewhere();
    Result<qint64> counter = m_register.records()->changeCounter();
    const quint64 started = startedElsewhere();
    if (!counter)
        return false; // a busy or vanished register: the next tick asks again
    const bool moved = m_known && *counter != m_counter;
    const bool ours = started != m_ownEnded;
    m_counter = *counter;
    m_known = true;
    m_ownEnded = ended;
    if (!moved || ours)
        return false;
    Q_EMIT changed();
    return true;
}
