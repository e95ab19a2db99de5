#include "content/ContentStore.h"

#include "store/sql/Sql.h"
#include "store/sql/SqlDialect.h"

namespace ContentStore {

namespace {

using Sql::identifier;
using namespace ContentIndex;

bool keepsPieces(const QSqlDatabase& db)
{
    // A server indexes the text column itself.
    return !SqlDialect::of(db).onServer();
}

Status ran(const QSqlDatabase& db, const QString& sql, const QVariantList& values = {})
{
    Result<QSqlQuery> done = Sql::run(db, sql, values);
    return done ? Status{} : Status{done.error()};
}

// The text indexed for `number` now: only a read one is.
Result<std::optional<QString>> indexedText(const QSqlDatabase& db, qint64 number)
{
    Result<QSqlQuery> row =
        Sql::run(db,
                 QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ? AND %4 = %5")
                     .arg(identifier(textColumn), identifier(table), identifier(numberColumn),
                          identifier(stateColumn), QString::number(int(State::Read))),
                 {number});
    if (!row)
        return row.error();
    if (!row->next())
        return std::optional<QString>();
    return std::optional<QString>(row->value(0).toString());
}

} // namespace

Status index(const QSqlDatabase& db, qint64 number, const QString& text, bool in)
{
    if (!keepsPieces(db) || text.isEmpty())
        return {};
    const QString pieces = identifier(piecesTable);
    if (in) {
        return ran(db, QStringLiteral("INSERT INTO %1 (rowid, 字片) VALUES (?, ?)").arg(pieces),
                   {number, piecesOf(text)});
    }
    return ran(
        db, QStringLiteral("INSERT INTO %1 (%1, rowid, 字片) VALUES ('delete', ?, ?)").arg(pieces),
        {number, piecesOf(text)});
}

Status store(const QSqlDatabase& db, qint64 number, State state, const QString& text,
             const QString& reason)
{
    Result<std::optional<QString>> before = indexedText(db, number);
    if (!before)
        return before.error();
    if (*before) {
        if (Status out = index(db, number, **before, false); !out)
            return out;
    }
    const bool read = state == State::Read;
    if (Status updated =
            ran(db,
                QStringLiteral("UPDATE %1 SET %2 = ?, %3 = ?, %4 = ? WHERE %5 = ?")
                    .arg(identifier(table), identifier(stateColumn), identifier(textColumn),
                         identifier(reasonColumn), identifier(numberColumn)),
                {int(state), read ? QVariant(text) : QVariant(QMetaType(QMetaType::QString)),
                 reason.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(reason),
                 number});
        !updated)
        return updated;
    return read ? index(db, number, text, true) : Status{};
}

Status remove(const QSqlDatabase& db, qint64 number)
{
    Result<std::optional<QString>> before = indexedText(db, number);
    if (!before)
        return before.error();
    if (*before) {
        if (Status out = index(db, number, **before, false); !out)
            return out;
    }
    return ran(db,
               QStringLiteral("DELETE FROM %1 WHERE %2 = ?")
                   .arg(identifier(table), identifier(numberColumn)),
               {number});
}

Status clearIndex(const QSqlDatabase& db)
{
    if (!keepsPieces(db))
        return {};
    return ran(
        db,
        QStringLiteral("INSERT INTO %1 (%1) VALUES ('delete-all')").arg(identifier(piecesTable)));
}

} // namespace ContentStore
