#include "accounts/SignInThrottle.h"

#include <algorithm>

namespace {

// Beyond this many remembered keys, those past forgetting are dropped, so
// guesses at endless made-up names cannot fill the memory.
constexpr qsizetype pruneAbove = 10000;

} // namespace

SignInThrottle::SignInThrottle() : SignInThrottle(Policy()) {}

SignInThrottle::SignInThrottle(Policy policy, Clock clock)
    : m_policy(policy),
      m_clock(clock ? std::move(clock) : [] { return std::chrono::steady_clock::now(); })
{
}

std::chrono::milliseconds SignInThrottle::waitOf(const Table& table, const QString& key, int free,
                                                 std::chrono::steady_clock::time_point now) const
{
    const auto found = table.constFind(key);
    if (found == table.constEnd() || found->count <= free ||
        now - found->last >= m_policy.forgetAfter)
        return std::chrono::milliseconds(0);
    // Doubling from the first wait, without overflowing on many failures.
    std::chrono::milliseconds wait = m_policy.firstWait;
    for (int extra = found->count - free - 1; extra > 0 && wait < m_policy.longestWait; --extra)
        wait *= 2;
    wait = std::min(wait, m_policy.longestWait);
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(now - found->last);
    return std::max(wait - waited, std::chrono::milliseconds(0));
}

void SignInThrottle::count(Table& table, const QString& key,
                           std::chrono::steady_clock::time_point now)
{
    if (table.size() > pruneAbove) {
        table.removeIf([&](const Table::iterator& entry) {
            return now - entry->last >= m_policy.forgetAfter;
        });
    }
    Failures& failures = table[key];
    if (failures.count > 0 && now - failures.last >= m_policy.forgetAfter)
        failures.count = 0;
    ++failures.count;
    failures.last = now;
}

std::chrono::milliseconds SignInThrottle::waitFor(const QString& name, const QString& address) const
{
    const auto now = m_clock();
    std::lock_guard lock(m_mutex);
    return std::max(waitOf(m_byName, name, m_policy.freeByName, now),
                    waitOf(m_byAddress, address, m_policy.freeByAddress, now));
}

void SignInThrottle::failed(const QString& name, const QString& address)
{
    const auto now = m_clock();
    std::lock_guard lock(m_mutex);
    count(m_byName, name, now);
    count(m_byAddress, address, now);
}

void SignInThrottle::succeeded(const QString& name, const QString& address)
{
    Q_UNUSED(address);
    std::lock_guard lock(m_mutex);
    m_byName.remove(name);
}
