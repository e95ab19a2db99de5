#pragma once

#include "base/Result.h"
#include "store/Register.h"
#include "store/RegisterRecord.h"
#include "store/view/KeyRuns.h"
#include "store/view/ViewCondition.h"
#include "store/view/ViewPages.h"
#include "store/view/ViewSql.h"

#include <QHash>
#include <QList>

#include <functional>
#include <memory>
#include <optional>

// The record set of the current view: its record count and the keys of the
// records (serial ascending, rowid breaking ties) read a page at a time
// where they are asked for, with row values fetched on demand in pages.
// Positions count from 1, as grid rows do. Operations that change records
// update the view in place instead of reading it again.
class ViewRst {
public:
    // The first keys and the count, read in one state of the register.
    static Result<std::shared_ptr<ViewRst>> open(const Register& reg,
                                                 const ViewCondition& condition);

    // A view whose keys were all loaded elsewhere.
    ViewRst(Register reg, ViewCondition condition, QList<qint64> keys);
    // A view of `count` records whose first keys are known; while it is
    // not counted (count < 0) it holds those alone.
    ViewRst(Register reg, ViewCondition condition, QList<qint64> first, int count);

    // Called at most once, with the first `firstScreenSize` keys, when the
    // view has more: a window can show them before the rest is read.
    using FirstScreen = std::function<void(const QList<qint64>&)>;
    static constexpr int firstScreenSize = 128;

    // What a view starts from: its first keys (a screen, or all when there
    // are no more), its count and the positions of `findKeys` in it (0 for
    // one not in it), read in one state of the register; `firstScreen`
    // hears of the keys before the counting.
    struct Start {
        QList<qint64> first;
        int count = 0;
        QList<int> positions;
    };
    static Result<Start> start(const Register& reg, const ViewCondition& condition,
                               const FirstScreen& firstScreen = {},
                               const QList<qint64>& findKeys = {});

    // The complete key list at once, for callers that need every key.
    static Result<QList<qint64>> loadKeys(const Register& reg, const ViewCondition& condition,
                                          const FirstScreen& firstScreen = {});
    // The same on a SQLite register for a condition already in its words,
    // taking whichever of its faster forms it has.
    static Result<QList<qint64>> keysOf(const Register& reg, const ViewSql& condition,
                                        const FirstScreen& firstScreen = {});

    int recordCount() const { return m_count; }
    bool isEmpty() const { return m_count == 0; }
    bool isCounted() const { return m_counted; }
    const ViewCondition& condition() const { return m_condition; }
    const Register& registerStore() const { return m_register; }

    // Position 1..recordCount(); nullopt outside that range.
    std::optional<RegisterRecord> record(int position) const;
    // 0 outside that range, or when the key cannot be read.
    qint64 keyAt(int position) const;
    // 0 when the key is not in the view.
    int positionOf(qint64 rowid) const;

    // In-place changes after the database was changed by an operation.
    void removeAt(int position);
    void exchange(int first, int second);
    void append(qint64 rowid);
    void invalidate(int position);
    void invalidateAll();
    // Counts removeAt, exchange and append: whether the keys still are the
    // ones loaded.
    quint64 changeCount() const { return m_changes; }
    // The count of a view that held its first keys only; those stay.
    void setCount(int count);
    // Forgets every key and row read, for a view of `count` records now:
    // they are read again where asked for.
    void reread(int count);

    static constexpr int pageSize = 64;
    // Keys read from the database at a time.
    static constexpr int keysPage = 1024;

private:
    Status fetchPage(int page) const;
    // Reads the keys around a position no run holds.
    void readKeysAround(int position) const;

    Register m_register;
    ViewCondition m_condition;
    ViewPages m_pages;
    mutable KeyRuns m_keys;
    int m_count = 0;
    bool m_counted = true;
    mutable QHash<qint64, RegisterRecord> m_cache;
    mutable QList<qint64> m_cacheOrder;
    mutable int m_lastPosition = 1;
    quint64 m_changes = 0;
};
