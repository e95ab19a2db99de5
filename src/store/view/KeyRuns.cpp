#include "store/view/KeyRuns.h"

#include <algorithm>

QList<KeyRuns::Run>::const_iterator KeyRuns::find(int position) const
{
    auto next = std::upper_bound(m_runs.cbegin(), m_runs.cend(), position,
                                 [](int p, const Run& run) { return p < run.first; });
    if (next == m_runs.cbegin())
        return m_runs.cend();
    const auto run = std::prev(next);
    return position <= run->last() ? run : m_runs.cend();
}

QList<KeyRuns::Run>::iterator KeyRuns::find(int position)
{
    const auto found = std::as_const(*this).find(position);
    return m_runs.begin() + (found - m_runs.cbegin());
}

std::optional<qint64> KeyRuns::at(int position) const
{
    const auto run = find(position);
    if (run == m_runs.cend())
        return std::nullopt;
    return run->keys.at(position - run->first);
}

int KeyRuns::positionOf(qint64 key, int nearPosition) const
{
    // Keys are unique, so a find near the screen is the only one.
    constexpr int nearRows = 4096;
    for (const Run& run : m_runs) {
        const int from = std::clamp(nearPosition - nearRows, run.first, run.last() + 1);
        const int to = std::clamp(nearPosition + nearRows, from, run.last() + 1);
        const auto begin = run.keys.cbegin() + (from - run.first);
        const auto near = std::find(begin, begin + (to - from), key);
        if (near != begin + (to - from))
            return run.first + int(near - run.keys.cbegin());
    }
    for (const Run& run : m_runs) {
        const qsizetype index = run.keys.indexOf(key);
        if (index >= 0)
            return run.first + int(index);
    }
    return 0;
}

KeyRuns::Gap KeyRuns::gapAround(int position) const
{
    Gap gap;
    for (const Run& run : m_runs) {
        if (run.last() < position)
            gap.after = run.last();
        else if (run.first > position) {
            gap.before = run.first;
            break;
        }
    }
    return gap;
}

void KeyRuns::place(int first, const QList<qint64>& keys)
{
    if (keys.isEmpty())
        return;
    auto next = std::upper_bound(m_runs.begin(), m_runs.end(), first,
                                 [](int p, const Run& run) { return p < run.first; });
    next = m_runs.insert(next, Run{first, keys});
    // Touching the run after it: one run.
    if (std::next(next) != m_runs.end() && std::next(next)->first == next->last() + 1) {
        next->keys += std::next(next)->keys;
        m_runs.erase(std::next(next));
    }
    // Touching the run before it: one run.
    if (next != m_runs.begin() && std::prev(next)->last() + 1 == next->first) {
        const auto before = std::prev(next);
        before->keys += next->keys;
        m_runs.erase(next);
    }
}

void KeyRuns::removeAt(int position)
{
    auto run = std::upper_bound(m_runs.begin(), m_runs.end(), position,
                                [](int p, const Run& r) { return p < r.first; });
    if (run != m_runs.begin() && position <= std::prev(run)->last()) {
        const auto holding = std::prev(run);
        holding->keys.removeAt(position - holding->first);
        if (holding->keys.isEmpty())
            run = m_runs.erase(holding);
    }
    for (; run != m_runs.end(); ++run)
        --run->first;
    // A gap of one position closed: the runs beside it now touch.
    for (qsizetype i = 1; i < m_runs.size(); ++i) {
        if (m_runs[i - 1].last() + 1 == m_runs[i].first) {
            m_runs[i - 1].keys += m_runs[i].keys;
            m_runs.removeAt(i--);
        }
    }
}

void KeyRuns::exchange(int first, int second)
{
    const auto a = find(first);
    const auto b = find(second);
    if (a == m_runs.end() || b == m_runs.end())
        return;
    std::swap(a->keys[first - a->first], b->keys[second - b->first]);
}

qsizetype KeyRuns::keyCount() const
{
    qsizetype count = 0;
    for (const Run& run : m_runs)
        count += run.keys.size();
    return count;
}
