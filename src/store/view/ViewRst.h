#pragma once

#include "base/Result.h"
#include "store/Register.h"
#include "store/RegisterRecord.h"
#include "store/view/ViewCondition.h"
#include "store/view/ViewSql.h"

#include <QHash>
#include <QList>

#include <functional>
#include <memory>
#include <optional>

// The record set of the current view: the ordered keys of the matching
// records (serial ascending, rowid breaking ties) with row values fetched on
// demand in pages. Positions count from 1, as grid rows do. Operations that
// change records update the key list in place instead of re-running the view.
class ViewRst {
public:
    static Result<std::shared_ptr<ViewRst>> open(const Register& reg,
                                                 const ViewCondition& condition);

    // A view whose keys were loaded elsewhere (for example by a search run off
    // the user-interface thread).
    ViewRst(Register reg, ViewCondition condition, QList<qint64> keys);

    // Called at most once, with the first `firstScreenSize` keys, when the
    // view has more: a window can show them before the rest is read.
    using FirstScreen = std::function<void(const QList<qint64>&)>;
    static constexpr int firstScreenSize = 128;

    static Result<QList<qint64>> loadKeys(const Register& reg, const ViewCondition& condition,
                                          const FirstScreen& firstScreen = {});
    // The same on a SQLite register for a condition already in its words,
    // taking whichever of its faster forms it has.
    static Result<QList<qint64>> keysOf(const Register& reg, const ViewSql& condition,
                                        const FirstScreen& firstScreen = {});

    int recordCount() const { return static_cast<int>(m_keys.size()); }
    bool isEmpty() const { return m_keys.isEmpty(); }
    const ViewCondition& condition() const { return m_condition; }
    const Register& registerStore() const { return m_register; }

    // Position 1..recordCount(); nullopt outside that range.
    std::optional<RegisterRecord> record(int position) const;
    qint64 keyAt(int position) const;
    // 0 when the key is not in the view. Rows near those read last are
    // looked through first: the key asked for is usually on screen.
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
    // The complete key list of a view that held its first keys only; those
    // stay where they are.
    void complete(QList<qint64> keys);

    static constexpr int pageSize = 64;

private:
    Status fetchPage(int page) const;

    Register m_register;
    ViewCondition m_condition;
    QList<qint64> m_keys;
    mutable QHash<qint64, RegisterRecord> m_cache;
    mutable QList<qint64> m_cacheOrder;
    mutable int m_lastPage = 0;
    quint64 m_changes = 0;
};
