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

// The query for `codes`: the character of a term of one, else the phrase of
// its pairs, which matches exactly where the pairs follow one another.
QString piecesQuery(const QList<char32_t>& codes)
{
    if (codes.size() == 1)
        return QLatin1Char('"') + token(codes.at(0)) + QLatin1Char('"');
    QStringList pairs;
    for (qsizetype i = 0; i + 1 < codes.size(); ++i)
        pairs << token(codes.at(i), codes.at(i + 1));
    return QLatin1Char('"') + pairs.join(QLatin1Char(' ')) + QLatin1Char('"');
}

// Keeps the record-to-content table in step with the hash table: `row` is
// NEW or OLD.
QString mapRecord(const QString& row)
{
    const QString records = identifier(recordsTable);
    const QString record = identifier(ContentHash::recordColumn);
    return QStringLiteral("INSERT OR IGNORE INTO %1 (%2) VALUES (%3.%4); DELETE FROM %5 WHERE %6 = "
                          "%3.%6; INSERT OR IGNORE INTO %5 (%7, %6) SELECT %7, %3.%6 FROM %1 WHERE "
                          "%2 = %3.%4;")
        .arg(identifier(table), identifier(hashColumn), row, identifier(ContentHash::hashColumn),
             records, record, identifier(numberColumn));
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
    const QString records = identifier(recordsTable);
    const QString record = identifier(ContentHash::recordColumn);
    const QString number = identifier(numberColumn);
    return {
        // Numbers are never used again: a number's pieces may outlive its row.
        QStringLiteral(
            "CREATE TABLE IF NOT EXISTS %1 (%2 INTEGER PRIMARY KEY AUTOINCREMENT, %3 TEXT NOT NULL "
            "UNIQUE, %4 INTEGER NOT NULL DEFAULT 0, %5 TEXT, %6 TEXT)")
            .arg(contents, identifier(numberColumn), hash, identifier(stateColumn),
                 identifier(textColumn), identifier(reasonColumn)),
        QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3)")
            .arg(identifier(table + QStringLiteral("_状态")), contents, identifier(stateColumn)),
        // No content of their own: which texts hold each character, and
        // where each pair stands, so a phrase of pairs is an exact match.
        QStringLiteral("CREATE VIRTUAL TABLE IF NOT EXISTS %1 USING fts5(字, content='', "
                       "tokenize='ascii', detail=none)")
            .arg(identifier(charactersTable)),
        QStringLiteral("CREATE VIRTUAL TABLE IF NOT EXISTS %1 USING fts5(字对, content='', "
                       "tokenize='ascii', detail=full)")
            .arg(identifier(pairsTable)),
        // The records of each content, by number: a search maps many
        // contents to their records without reading a hash.
        QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2 INTEGER NOT NULL, %3 INTEGER NOT NULL, "
                       "PRIMARY KEY (%2, %3)) WITHOUT ROWID")
            .arg(records, number, record),
        QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3)")
            .arg(identifier(recordsTable + QStringLiteral("_记录")), records, record),
        QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (名称 TEXT PRIMARY KEY, 值 TEXT NOT NULL)")
            .arg(identifier(settingsTable)),
        QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1 AFTER INSERT ON %2 BEGIN %3 END")
            .arg(identifier(table + QStringLiteral("_排队")), hashes,
                 mapRecord(QStringLiteral("NEW"))),
        QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1 AFTER UPDATE OF %2 ON %3 BEGIN %4 END")
            .arg(identifier(table + QStringLiteral("_改动排队")),
                 identifier(ContentHash::hashColumn), hashes, mapRecord(QStringLiteral("NEW"))),
        QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1 AFTER DELETE ON %2 BEGIN DELETE FROM %3 "
                       "WHERE %4 = OLD.%4; END")
            .arg(identifier(recordsTable + QStringLiteral("_随校验删除")), hashes, records, record),
        QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1 AFTER DELETE ON %2 BEGIN %3 END")
            .arg(identifier(table + QStringLiteral("_随回收站删除")), identifier(RecycleBin::table),
                 dropWithLastBinEntry(QStringLiteral(";"))),
        enqueueFrom(ContentHash::table),
        enqueueFrom(RecycleBin::table),
        QStringLiteral("INSERT OR IGNORE INTO %1 (%2, %3) SELECT c.%2, h.%3 FROM %4 h JOIN %5 c ON "
                       "c.%6 = h.%7")
            .arg(records, number, record, hashes, contents, hash,
                 identifier(ContentHash::hashColumn)),
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

QString charactersOf(const QString& text)
{
    QSet<char32_t> seen;
    QString document;
    for (char32_t code : foldedCodes(text)) {
        if (seen.contains(code))
            continue;
        seen.insert(code);
        document += token(code) + QLatin1Char(' ');
    }
    return document;
}

QString pairsOf(const QString& text)
{
    const QList<char32_t> codes = foldedCodes(text);
    QString document;
    document.reserve(codes.size() * 11);
    for (qsizetype i = 0; i + 1 < codes.size(); ++i) {
        appendCode(document, codes.at(i));
        appendCode(document, codes.at(i + 1));
        document += QLatin1Char(' ');
    }
    return document;
}

ViewSql contains(const QString& term)
{
    const QList<char32_t> codes = foldedCodes(term);
    if (codes.isEmpty())
        return {};
    const QString pieces = identifier(codes.size() == 1 ? charactersTable : pairsTable);
    const QString matching = QStringLiteral("SELECT rowid FROM %1 WHERE %1 MATCH ?").arg(pieces);
    const QVariantList values{piecesQuery(codes)};
    const QString records = QStringLiteral("SELECT %1 FROM %2 WHERE %3 IN (%4)")
                                .arg(identifier(ContentHash::recordColumn),
                                     identifier(recordsTable), identifier(numberColumn), matching);
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
