#pragma once

#include <QString>
#include <QStringList>
#include <QVariantList>

// A view's condition worded for one kind of database: a WHERE fragment made
// of fixed texts with "?" placeholders, and the values bound to them in
// order. Empty: every record.
struct ViewSql {
    QString where;
    QVariantList values;
    // SQLite's alone, optional: the same records told the other way round,
    // every record but those matching any of `exceptWhere`. A view that holds
    // most records loads faster this way (the keys of all records and of
    // those left out all come from indexes; one fragment per index avoids
    // merging them in SQL). Everything else reads `where`.
    QStringList exceptWhere = {};
    QVariantList exceptValues = {};
    // Optional with it: a query that answers 1 when most records match, so
    // that leaving out the others is the cheaper way; without it, always.
    QString exceptWorthSql = {};
    QVariantList exceptWorthValues = {};
    // SQLite's alone, optional: a query giving exactly the rowids of the
    // matching records, in any order, from an index. A view of many records
    // loads faster by marking those and walking all records in view order
    // than by reading and sorting each match. Everything else reads `where`.
    QString keysSql = {};
    QVariantList keysValues = {};
    // Optional with it: a query that answers 1 when enough records match for
    // that; without it, always.
    QString keysWorthSql = {};
    QVariantList keysWorthValues = {};
    // Optional with it: what each of those records must meet as well, tested
    // record by record during the walk (the other side of a combined search).
    QString keysAlso = {};
    QVariantList keysAlsoValues = {};
    // SQLite's alone, optional: a query counting exactly the matching
    // records from an index, where `where` would test every record against
    // the index's list of them.
    QString countSql = {};
    QVariantList countValues = {};
    // Optional: the same records told by testing each record alone, with no
    // subquery. A walk over the first records in serial order reads this; an
    // index's subquery there would first collect every match.
    QString scanWhere = {};
    QVariantList scanValues = {};

    bool isEmpty() const { return where.isEmpty(); }
    QString whereForScan() const { return scanWhere.isEmpty() ? where : scanWhere; }
    QVariantList valuesForScan() const { return scanWhere.isEmpty() ? values : scanValues; }
    // `where` alone, without the faster forms.
    ViewSql plain() const { return {where, values}; }
    // The record-by-record form alone.
    ViewSql scan() const { return {whereForScan(), valuesForScan()}; }
};
