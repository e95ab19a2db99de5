#pragma once

#include <QString>
#include <QVariantList>

// The condition of a view: a WHERE fragment built from fixed texts with "?"
// placeholders, and the values bound to them in order. Empty: every record.
struct ViewCondition {
    QString where;
    QVariantList values;
    // Optional: the same records told the other way round, every record but
    // those matching `exceptWhere`. A view that holds nearly every record
    // loads faster this way (the keys of all records and of the few left
    // out both come from indexes). Everything else reads `where`.
    QString exceptWhere = {};
    QVariantList exceptValues = {};

    bool isEmpty() const { return where.isEmpty(); }
};
