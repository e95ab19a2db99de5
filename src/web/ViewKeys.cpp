#include "web/ViewKeys.h"

#include "store/view/ViewRst.h"
#include "web/ViewRequest.h"

#include <condition_variable>
#include <optional>
#include <thread>

namespace {

// Views kept at once: an office's common searches, a few MB at 1M records.
constexpr int keptViews = 24;
// A reading that takes longer than this is reported as failed to the request.
constexpr std::chrono::seconds longestWait{120};

} // namespace

struct ViewKeys::Reading {
    quint64 generation = 0;
    quint64 lastUse = 0;
    std::mutex mutex;
    std::condition_variable changed;
    QList<qint64> first; // the first screen, while the rest is read
    std::optional<Result<QList<qint64>>> all;
};

std::shared_ptr<ViewKeys::Reading> ViewKeys::reading(const ViewCondition& condition,
                                                     quint64 generation)
{
    const QString key = conditionKey(condition);
    const std::lock_guard lock(m_mutex);
    std::shared_ptr<Reading>& kept = m_views[key];
    if (kept && kept->generation == generation) {
        kept->lastUse = ++m_uses;
        return kept;
    }
    if (m_views.size() > keptViews) {
        auto oldest = m_views.end();
        for (auto it = m_views.begin(); it != m_views.end(); ++it) {
            if (it.key() != key &&
                (oldest == m_views.end() || it.value()->lastUse < oldest.value()->lastUse))
                oldest = it;
        }
        if (oldest != m_views.end())
            m_views.erase(oldest);
    }
    auto started = std::make_shared<Reading>();
    started->generation = generation;
    started->lastUse = ++m_uses;
    m_views[key] = started;
    // The thread holds its reading, not this object: a server that stops
    // meanwhile loses only the result.
    std::thread([reg = m_register, condition, started] {
        Result<QList<qint64>> keys =
            ViewRst::loadKeys(reg, condition, [&started](const QList<qint64>& first) {
                const std::lock_guard lock(started->mutex);
                started->first = first;
                started->changed.notify_all();
            });
        reg.closeConnection();
        const std::lock_guard lock(started->mutex);
        started->all = std::move(keys);
        started->changed.notify_all();
    }).detach();
    return started;
}

Result<ViewKeys::Keys> ViewKeys::get(const ViewCondition& condition, quint64 generation, int needed)
{
    const std::shared_ptr<Reading> kept = reading(condition, generation);
    std::unique_lock lock(kept->mutex);
    const bool ready = kept->changed.wait_for(lock, longestWait, [&] {
        return kept->all.has_value() || (needed > 0 && kept->first.size() >= needed);
    });
    if (!ready)
        return Error{QStringLiteral("读取视图的时间过长，请稍后再试。"), QString()};
    if (!kept->all)
        return Keys{kept->first, false};
    if (!kept->all->ok()) {
        // Asked again, a failed view is read again.
        const Error error = kept->all->error();
        lock.unlock();
        const std::lock_guard views(m_mutex);
        const auto it = m_views.find(conditionKey(condition));
        if (it != m_views.end() && it.value() == kept)
            m_views.erase(it);
        return error;
    }
    return Keys{**kept->all, true};
}
