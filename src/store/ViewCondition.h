#pragma once

#include <QString>
#include <QVariantList>

// The condition of a view: a WHERE fragment built from fixed texts with "?"
// placeholders, and the values bound to them in order. Empty: every record.
struct ViewCondition {
    QString where;
    QVariantList values;

    bool isEmpty() const { return where.isEmpty(); }
};
