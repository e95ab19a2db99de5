#pragma once

#include "base/Result.h"
#include "store/Register.h"
#include "store/view/ViewCondition.h"
#include "store/view/ViewSql.h"

#include <QList>

#include <optional>

// A view's keys read from the database a page at a time, in view order
// (serial ascending, key breaking ties), from either end or from a key
// already read, so that no view is read whole to show a screen of it; and
// its count, read on its own. Reads go through the calling thread's
// connection and see the register as it is now.
class ViewPages {
public:
    ViewPages(Register reg, const ViewCondition& condition);

    // The column that names a record: the rowid, or the identity on a server.
    static QString keyColumn(const Register& reg);
    // What a record is read as: its key, then every record column in the
    // table's order.
    static QString recordColumns(const Register& reg);

    // Up to `limit` keys after `after` (0: from the first), passing over
    // `skip` of them first.
    Result<QList<qint64>> forward(qint64 after, qint64 skip, int limit) const;
    // Up to `limit` keys before `before` (0: from the last), passing over
    // `skip` of them first; in view order.
    Result<QList<qint64>> backward(qint64 before, qint64 skip, int limit) const;

    Result<qint64> count() const;
    // 0 when `key` is not in the view.
    Result<qint64> positionOf(qint64 key) const;

private:
    // A stretch of the view order that one statement reads in index order:
    // records without a serial (ordered by key) and records with one.
    struct Part {
        QString where; // may be empty
        QVariantList values;
        bool nullSerials = false;
    };
    // The parts after (or before) `anchor`, in the direction of reading.
    Result<QList<Part>> partsFrom(qint64 anchor, bool forward) const;
    Result<QList<qint64>> read(const QList<Part>& parts, bool forward, qint64 skip,
                               int limit) const;
    // The first keys of a part among its next records in view order, when
    // those hold them all: a dense view's page comes from the serial index
    // at once, where the condition's own index would find every match and
    // sort them first. Nothing when the look was not enough.
    Result<std::optional<QList<qint64>>> readAhead(const Part& part, const QString& order,
                                                   qint64 skip, int wanted) const;
    // The keys of the part's matches among its next `reach` records, past
    // the first `skip`, at most `wanted`.
    Result<QList<qint64>> keysAhead(const Part& part, const QString& order, qint64 skip, int wanted,
                                    qint64 reach) const;
    // Whether `reach` keys of the view are found sooner by walking the serial
    // index and testing each entry against the condition's list of keys
    // than by reading and sorting every match (SQLite, a condition with an
    // index count).
    bool walksSerialIndex(qint64 reach) const;
    Result<qint64> countOf(const Part& part) const;
    // The count of a condition on one column that the value table counts,
    // or of every record; nothing for any other.
    std::optional<Result<qint64>> countFromValues() const;
    // The condition and the part's, joined.
    QString whereOf(const Part& part) const;
    QVariantList valuesOf(const Part& part) const;
    bool hasNullSerials() const;

    Register m_register;
    ViewCondition m_original;
    ViewSql m_condition;
    // The condition tested record by record, with no subquery.
    ViewSql m_scan;
    // The count from an index, where the condition has one (SQLite).
    QString m_countSql;
    QVariantList m_countValues;
    QString m_key;
    bool m_nullsFirst; // as the database orders them
    mutable std::optional<bool> m_nullSerials;
    // Read once for walksSerialIndex: the index count and the highest key.
    mutable std::optional<std::pair<qint64, qint64>> m_matchShare;
};
