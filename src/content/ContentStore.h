#pragma once

#include "base/Result.h"
#include "store/content/ContentIndex.h"

#include <QSqlDatabase>
#include <QString>

// Writes the texts read from copies and keeps the index of their pieces in
// step: SQLite's pieces table holds no text of its own, so a text leaving it
// must be told with the same text. Runs inside the caller's transaction.
namespace ContentStore {

// What became of content `number`; replaces what was kept of it before.
Status store(const QSqlDatabase& db, qint64 number, ContentIndex::State state, const QString& text,
             const QString& reason);

// Takes content `number` out of the register, its pieces with it.
Status remove(const QSqlDatabase& db, qint64 number);

// Empties the index of pieces (the texts stay).
Status clearIndex(const QSqlDatabase& db);

// Puts `text` of content `number` into the index of pieces, or takes it out.
Status index(const QSqlDatabase& db, qint64 number, const QString& text, bool in);

} // namespace ContentStore
