#pragma once

#include <QList>

#include <optional>

// The keys of a view known so far, by position (from 1): runs of
// consecutive positions read from the database, with gaps between them
// that are read when asked for. Positions after a removal move up, as grid
// rows do.
class KeyRuns {
public:
    // The key at `position`, when a run holds it.
    std::optional<qint64> at(int position) const;
    // 0 when no run holds `key`. Runs near `nearPosition` are looked
    // through first: the key asked for is usually on screen.
    int positionOf(qint64 key, int nearPosition = 1) const;

    // The runs' bounds around a position no run holds: the last position of
    // the run before it (0 if none) and the first of the run after it
    // (0 if none).
    struct Gap {
        int after = 0;
        int before = 0;
    };
    Gap gapAround(int position) const;

    // Keys read for positions `first`… (none of them held yet); joined with
    // the runs they touch.
    void place(int first, const QList<qint64>& keys);
    void removeAt(int position);
    void exchange(int first, int second);
    void clear() { m_runs.clear(); }
    qsizetype keyCount() const;

private:
    struct Run {
        int first = 1;
        QList<qint64> keys;
        int last() const { return first + int(keys.size()) - 1; }
    };
    // The run holding `position`, or end().
    QList<Run>::iterator find(int position);
    QList<Run>::const_iterator find(int position) const;

    QList<Run> m_runs; // ordered, never touching
};
