#include "store/content/ContentIndex.h"

#include "store/RecycleBin.h"
#include "store/RegisterNames.h"
#include "store/pg/PgViewSql.h"
#include "store/sql/ContentHash.h"
#include "store/sql/Sql.h"
#include "store/view/ViewConditions.h"

#include <QSet>

namespace ContentIndex {

namespace {

using Sql::identifier;

// From one record in this many matching on, marking the matches and walking
// all records in order beats reading and sorting them one by one.
constexpr int manyMatchesShare = 50;

char32_t folded(char32_t code)
{
    return code >= U'A' && code <= U'Z' ? code + (U'a' - U'A') : code;
}

// A code point as five characters the 'ascii' tokenizer keeps within one
// token whatever it was (a space, a quote, a NUL): 21 bits in base 32.
void appendCode(QString& token, char32_t code)
{
    static const char digits[] = "0123456789abcdefghijklmnopqrstuv";
    for (int shift = 20; shift >= 0; shift -= 5)
        token += QLatin1Char(digits[(code >> shift) & 31]);
}

QString token(char32_t first, std::optional<char32_t> second = std::nullopt)
{
    QString text;
    appendCode(text, first);
    if (second)
        appendCode(text, *second);
    return text;
}

QList<char32_t> foldedCodes(const QString& text)
{
    QList<char32_t> codes;
    codes.reserve(text.size());
    for (char32_t code : text.toUcs4())
        codes << folded(code);
    return codes;
}

// The query for `codes`: the one piece of a term of one or two characters,
// else every two-character piece, each quoted as one term.
QString piecesQuery(const QList<char32_t>& codes)
{
    if (codes.size() == 1)
        return QLatin1Char('"') + token(codes.at(0)) + QLatin1Char('"');
    QStringList terms;
    QSet<QString> seen;
    for (qsizetype i = 0; i + 1 < codes.size(); ++i) {
        const QString piece = token(codes.at(i), codes.at(i + 1));
        if (!seen.contains(piece)) {
            seen.insert(piece);
            terms << QLatin1Char('"') + piece + QLatin1Char('"');
        }
    }
    return terms.join(QStringLiteral(" AND "));
}

// A purged bin entry takes its content's text along when nothing else has
// that content. (SQLite's pieces of it stay until the index is rebuilt: they
// can only be taken out with the text, and lead to no row.)
QString dropWithLastBinEntry(const QString& end)
{
    const QString hash = identifier(hashColumn);
    return QStringLiteral("DELETE FROM %1 WHERE %2 = OLD.%3 AND NOT EXISTS (SELECT 1 FROM %4 "
                          "WHERE %5 = OLD.%3) AND NOT EXISTS (SELECT 1 FROM %6 WHERE %3 = "
                          "OLD.%3)%7")
        .arg(identifier(table), hash, identifier(RecycleBin::hashColumn),
             identifier(ContentHash::table), identifier(ContentHash::hashColumn),
             identifier(RecycleBin::table), end);
}

QString enqueueFrom(const QString& source)
{
    return QStringLiteral("INSERT OR IGNORE INTO %1 (%2) SELECT DISTINCT %2 FROM %3 WHERE %2 IS "
                          "NOT NULL")
        .arg(identifier(table), identifier(hashColumn), identifier(source));
}

} // namespace

QStringList sqliteSchema()
{
    const QString contents = identifier(table);
    const QString hashes = identifier(ContentHash::table);
    const QString hash = identifier(hashColumn);
    const QString enqueue = QStringLiteral("INSERT OR IGNORE INTO %1 (%2) VALUES (NEW.%3);")
                                .arg(contents, hash, identifier(ContentHash::hashColumn));
    return {
        // Numbers are never used again: a number's pieces may outlive its row.
        QStringLiteral(
            "CREATE TABLE IF NOT EXISTS %1 (%2 INTEGER PRIMARY KEY AUTOINCREMENT, %3 TEXT NOT NULL "
            "UNIQUE, %4 INTEGER NOT NULL DEFAULT 0, %5 TEXT, %6 TEXT)")
            .arg(contents, identifier(numberColumn), hash, identifier(stateColumn),
                 identifier(textColumn), identifier(reasonColumn)),
        QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3)")
            .arg(identifier(table + QStringLiteral("_状态")), contents, identifier(stateColumn)),
        // No content of its own and no positions: only which texts hold each
        // piece, which keeps it smaller than the texts.
        QStringLiteral("CREATE VIRTUAL TABLE IF NOT EXISTS %1 USING fts5(字片, content='', "
                       "tokenize='ascii', detail=none)")
            .arg(identifier(piecesTable)),
        QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (名称 TEXT PRIMARY KEY, 值 TEXT NOT NULL)")
            .arg(identifier(settingsTable)),
        QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1 AFTER INSERT ON %2 BEGIN %3 END")
            .arg(identifier(table + QStringLiteral("_排队")), hashes, enqueue),
        QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1 AFTER UPDATE OF %2 ON %3 BEGIN %4 END")
            .arg(identifier(table + QStringLiteral("_改动排队")),
                 identifier(ContentHash::hashColumn), hashes, enqueue),
        QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1 AFTER DELETE ON %2 BEGIN %3 END")
            .arg(identifier(table + QStringLiteral("_随回收站删除")), identifier(RecycleBin::table),
                 dropWithLastBinEntry(QStringLiteral(";"))),
        enqueueFrom(ContentHash::table),
        enqueueFrom(RecycleBin::table),
    };
}

QStringList serverSchema()
{
    const QString contents = identifier(table);
    const QString hashes = identifier(ContentHash::table);
    const QString hash = identifier(hashColumn);
    const QString function = identifier(table + QStringLiteral("_排队"));
    QStringList sql;
    sql << QStringLiteral("CREATE TABLE %1 (%2 bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY, "
                          "%3 text NOT NULL UNIQUE, %4 integer NOT NULL DEFAULT 0, %5 text, %6 "
                          "text)")
               .arg(contents, identifier(numberColumn), hash, identifier(stateColumn),
                    identifier(textColumn), identifier(reasonColumn));
    sql << QStringLiteral("CREATE INDEX %1 ON %2 (%3)")
               .arg(identifier(table + QStringLiteral("_状态")), contents, identifier(stateColumn));
    // Distinct pieces: a long text repeats most of its pieces many times.
    sql << QStringLiteral("CREATE FUNCTION %1(t text) RETURNS text[] LANGUAGE sql IMMUTABLE "
                          "STRICT PARALLEL SAFE AS $body$ SELECT coalesce(array_agg(DISTINCT p), "
                          "'{}') FROM (SELECT substr(t, i, 1) AS p FROM generate_series(1, "
                          "length(t)) AS i UNION ALL SELECT substr(t, i, 2) FROM "
                          "generate_series(1, length(t) - 1) AS i) AS pieces $body$")
               .arg(identifier(serverPieces));
    sql << QStringLiteral("CREATE INDEX %1 ON %2 USING gin (%3(%4))")
               .arg(identifier(table + QStringLiteral("_字片")), contents, identifier(serverPieces),
                    PgViewSql::folded(identifier(textColumn)));
    sql << QStringLiteral("CREATE TABLE %1 (名称 text PRIMARY KEY, 值 text NOT NULL)")
               .arg(identifier(settingsTable));
    sql << QStringLiteral("CREATE FUNCTION %1() RETURNS trigger LANGUAGE plpgsql AS $body$ BEGIN "
                          "INSERT INTO %2 (%3) VALUES (NEW.%4) ON CONFLICT DO NOTHING; RETURN "
                          "NULL; END $body$")
               .arg(function, contents, hash, identifier(ContentHash::hashColumn));
    sql << QStringLiteral("CREATE TRIGGER %1 AFTER INSERT OR UPDATE OF %2 ON %3 FOR EACH ROW "
                          "EXECUTE FUNCTION %4()")
               .arg(identifier(table + QStringLiteral("_排队")),
                    identifier(ContentHash::hashColumn), hashes, function);
    const QString dropping = identifier(table + QStringLiteral("_随回收站删除"));
    sql << QStringLiteral("CREATE FUNCTION %1() RETURNS trigger LANGUAGE plpgsql AS $body$ BEGIN "
                          "%2 RETURN NULL; END $body$")
               .arg(dropping, dropWithLastBinEntry(QStringLiteral(";")));
    sql << QStringLiteral("CREATE TRIGGER %1 AFTER DELETE ON %2 FOR EACH ROW EXECUTE FUNCTION %1()")
               .arg(dropping, identifier(RecycleBin::table));
    for (const QString& source : {ContentHash::table, RecycleBin::table}) {
        sql << QStringLiteral("INSERT INTO %1 (%2) SELECT DISTINCT %2 FROM %3 WHERE %2 IS NOT "
                              "NULL ON CONFLICT DO NOTHING")
                   .arg(contents, hash, identifier(source));
    }
    return sql;
}

QString piecesOf(const QString& text)
{
    const QList<char32_t> codes = foldedCodes(text);
    QSet<quint64> seen;
    QString document;
    document.reserve(codes.size() * 8);
    auto add = [&](char32_t first, std::optional<char32_t> second) {
        const quint64 key = (quint64(first) << 22) | (second ? quint64(*second) + 1 : 0);
        if (seen.contains(key))
            return;
        seen.insert(key);
        document += token(first, second);
        document += QLatin1Char(' ');
    };
    for (qsizetype i = 0; i < codes.size(); ++i) {
        add(codes.at(i), std::nullopt);
        if (i + 1 < codes.size())
            add(codes.at(i), codes.at(i + 1));
    }
    return document;
}

ViewSql contains(const QString& term)
{
    const QList<char32_t> codes = foldedCodes(term);
    if (codes.isEmpty())
        return {};
    QString matching =
        QStringLiteral("SELECT rowid FROM %1 WHERE %1 MATCH ?").arg(identifier(piecesTable));
    QVariantList values{piecesQuery(codes)};
    // Pieces answer a term of one or two characters exactly; a longer one
    // holds all its pieces, and its text decides.
    if (codes.size() > 2) {
        matching =
            QStringLiteral("SELECT %1 FROM %2 WHERE %1 IN (%3) AND %4 LIKE ? ESCAPE '\\'")
                .arg(identifier(numberColumn), identifier(table), matching, identifier(textColumn));
        values << ViewConditions::likeLiteral(term);
    }
    const QString records =
        QStringLiteral("SELECT %1 FROM %2 WHERE %3 IN (SELECT %4 FROM %5 WHERE %6 IN (%7))")
            .arg(identifier(ContentHash::recordColumn), identifier(ContentHash::table),
                 identifier(ContentHash::hashColumn), identifier(hashColumn), identifier(table),
                 identifier(numberColumn), matching);
    ViewSql condition;
    condition.where = QStringLiteral("rowid IN (%1)").arg(records);
    condition.values = values;
    condition.keysSql = records;
    condition.keysValues = values;
    const QString all = QStringLiteral("coalesce((SELECT max(rowid) FROM %1), 0)")
                            .arg(identifier(RegisterNames::recordTable));
    condition.keysWorthSql = QStringLiteral("SELECT count(*) >= %2 / %3 FROM (%1 LIMIT %2 / %3)")
                                 .arg(records, all)
                                 .arg(manyMatchesShare);
    condition.keysWorthValues = values;
    return condition;
}

} // namespace ContentIndex
