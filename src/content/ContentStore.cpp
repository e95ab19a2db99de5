#include "content/ContentStore.h"

#include "store/sql/Sql.h"
#include "store/sql/SqlDialect.h"

#include <tuple>

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
    // Each table's one column is named after what it holds.
    for (const auto& [pieces, column, document] :
         {std::tuple{charactersTable, QStringLiteral("字"), charactersOf(text)},
          std::tuple{pairsTable, QStringLiteral("字对"), pairsOf(text)}}) {
        const QString sql =
            in ? QStringLiteral("INSERT INTO %1 (rowid, %2) VALUES (?, ?)")
               : QStringLiteral("INSERT INTO %1 (%1, rowid, %2) VALUES ('delete', ?, ?)");
        if (Status done = ran(db, sql.arg(identifier(pieces), column), {number, document}); !done)
            return done;
    }
    return {};
}

namespace {

// Takes what is indexed of content `number` out of the index of pieces.
Status unindex(const QSqlDatabase& db, qint64 number)
{
    Result<std::optional<QString>> before = indexedText(db, number);
    if (!before)
        return before.error();
    return *before ? index(db, number, **before, false) : Status{};
}

} // namespace

Status store(const QSqlDatabase& db, qint64 number, State state, const QString& text,
             const QString& reason)
{
    if (Status out = unindex(db, number); !out)
        return out;
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
    if (Status out = unindex(db, number); !out)
        return out;
    return ran(db,
               QStringLiteral("DELETE FROM %1 WHERE %2 = ?")
                   .arg(identifier(table), identifier(numberColumn)),
               {number});
}

Status clearIndex(const QSqlDatabase& db)
{
    if (!keepsPieces(db))
        return {};
    for (const QString& pieces : {charactersTable, pairsTable}) {
        if (Status cleared = ran(db, QStringLiteral("INSERT INTO %1 (%1) VALUES ('delete-all')")
                                         .arg(identifier(pieces)));
            !cleared)
            return cleared;
    }
    return {};
}

} // namespace ContentStore
