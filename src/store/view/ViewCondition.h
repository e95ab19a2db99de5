#pragma once

#include "store/RecordStore.h"

#include <QString>
#include <QStringList>

#include <vector>

// The condition of a view, told as what it asks rather than in the words of
// a database: one term, or both sides of an AND. Each kind of register words
// it itself (SqliteViewSql, PgViewSql); typed texts stay values, bound as
// parameters wherever it is worded. Empty: every record.
struct ViewCondition {
    enum class Kind {
        Every,           // no restriction
        IdentityIs,      // the one record whose identity is `number`
        FieldIs,         // `field` is exactly `text`
        FieldOtherThan,  // `field` holds a value, neither empty nor one of `texts`
        DateFrom,        // the send date is `text` (stored form) or later
        DateBefore,      // the send date is before `text` (stored form)
        Contains,        // `field` contains `text`, compared with every record
        IndexedContains, // the same records, through an index that serves `field`
        ContentContains, // the text read from the record's copy contains `text`
        Both,            // both `sides`
    };
    Kind kind = Kind::Every;
    RecordField field = RecordField::Serial;
    QString text = {};
    QStringList texts = {};
    qint64 number = 0;
    std::vector<ViewCondition> sides = {};

    bool isEmpty() const { return kind == Kind::Every; }
};
