#include "store/view/ViewConditions.h"

#include "base/DateText.h"
#include "store/RegisterNames.h"
#include "store/sql/Sql.h"
#include "store/sql/SqlRecordStore.h"
#include "store/view/SearchIndexes.h"

#include <QStringList>

namespace ViewConditions {

namespace {

QString columnOf(RecordField field)
{
    return Sql::identifier(SqlRecordStore::columnOf(field));
}

// The term's trigrams for a full-text query, every third one and the last:
// enough to narrow the candidates, which LIKE then confirms. Quoted, so no
// character of the term is read as query syntax.
QString trigramQuery(const QList<uint>& codes)
{
    QStringList terms;
    auto add = [&](qsizetype start) {
        QString trigram = QString::fromUcs4(reinterpret_cast<const char32_t*>(&codes[start]), 3);
        terms << QLatin1Char('"') + trigram.replace(QLatin1Char('"'), QLatin1String("\"\"")) +
                     QLatin1Char('"');
    };
    for (qsizetype start = 0; start + 3 <= codes.size(); start += 3)
        add(start);
    if (codes.size() % 3 != 0)
        add(codes.size() - 3);
    return terms.join(QStringLiteral(" AND "));
}

} // namespace

ViewCondition identityIs(qint64 identity)
{
    return {QStringLiteral("rowid = ?"), {identity}};
}

ViewCondition sentByMe()
{
    // "<>" drops NULL as well as the three listed values. The view holds
    // most records, so it is loaded as all records but those left out.
    const QString column = columnOf(RecordField::Recipient);
    const QVariantList leftOut = {RegisterNames::recipientSelf, RegisterNames::recipientLocal};
    return {QStringLiteral("%1 <> ? AND %1 <> ? AND %1 <> ''").arg(column),
            leftOut,
            {column + QStringLiteral(" IS NULL"), column + QStringLiteral(" IN (?, ?, '')")},
            leftOut};
}

ViewCondition folderIs(const QString& name)
{
    // A plain equality, so an index on the folder column can serve it.
    return {columnOf(RecordField::Folder) + QStringLiteral(" = ?"), {name}};
}

ViewCondition allOf(const ViewCondition& first, const ViewCondition& second)
{
    if (first.isEmpty())
        return second;
    if (second.isEmpty())
        return first;
    ViewCondition both{QStringLiteral("(%1) AND (%2)").arg(first.where, second.where),
                       first.values + second.values};
    if (!first.scanWhere.isEmpty() || !second.scanWhere.isEmpty()) {
        both.scanWhere =
            QStringLiteral("(%1) AND (%2)").arg(first.whereForScan(), second.whereForScan());
        both.scanValues = first.valuesForScan() + second.valuesForScan();
    }
    return both;
}

ViewCondition dateFrom(const QDate& day)
{
    return {columnOf(RecordField::Date) + QStringLiteral(" >= ?"), {DateText::toStored(day)}};
}

ViewCondition dateBefore(const QDate& day)
{
    return {columnOf(RecordField::Date) + QStringLiteral(" < ?"), {DateText::toStored(day)}};
}

QString likeLiteral(const QString& text)
{
    QString escaped;
    escaped.reserve(text.size() + 2);
    escaped += QLatin1Char('%');
    for (const QChar c : text) {
        if (c == QLatin1Char('%') || c == QLatin1Char('_') || c == QLatin1Char('\\'))
            escaped += QLatin1Char('\\');
        escaped += c;
    }
    escaped += QLatin1Char('%');
    return escaped;
}

ViewCondition contains(RecordField field, const QString& text)
{
    return {columnOf(field) + QStringLiteral(" LIKE ? ESCAPE '\\'"), {likeLiteral(text)}};
}

ViewCondition indexedContains(RecordField field, const QString& text)
{
    const ViewCondition plain = contains(field, text);
    if (field == RecordField::Recipient || field == RecordField::Method ||
        field == RecordField::Folder) {
        // Few distinct values: match those, then read the records through the
        // column's index. The value table holds every non-NULL value, so the
        // result is the plain one.
        return SearchIndexes::valuesLike(SqlRecordStore::columnOf(field), likeLiteral(text));
    }
    const QString* table = field == RecordField::FileName ? &SearchIndexes::nameText
                           : field == RecordField::Remark ? &SearchIndexes::remarkText
                                                          : nullptr;
    const QList<uint> codes = text.toUcs4();
    // The full-text query language ends a phrase at a NUL, so such a term
    // scans the records.
    if (!table || text.isEmpty() || !text.isValidUtf16() || text.contains(QChar(0)))
        return plain;
    // Too short for a trigram: one or two characters are a token of the
    // character index, whose answer is exact.
    if (codes.size() < 3) {
        ViewCondition indexed =
            SearchIndexes::charactersContain(SqlRecordStore::columnOf(field), text);
        indexed.scanWhere = plain.where;
        indexed.scanValues = plain.values;
        return indexed;
    }
    // The index folds case beyond ASCII, so it may offer more rows than LIKE
    // matches, never fewer; the record's own LIKE decides.
    ViewCondition indexed{QStringLiteral("rowid IN (SELECT rowid FROM %1 WHERE %1 MATCH ?) AND %2")
                              .arg(Sql::identifier(*table), plain.where),
                          QVariantList{trigramQuery(codes)} + plain.values};
    indexed.scanWhere = plain.where;
    indexed.scanValues = plain.values;
    return indexed;
}

} // namespace ViewConditions
