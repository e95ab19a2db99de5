#include "store/sql/RecordWriter.h"

#include "store/Audit.h"
#include "store/RecordFields.h"
#include "store/RegisterNames.h"
#include "store/sql/ContentHash.h"
#include "store/sql/Sql.h"

#include <QSqlError>

namespace RecordWriter {

Writer::Writer(const QSqlDatabase& db) : m_insert(db), m_hash(db), m_history(db)
{
    QStringList columns;
    for (const QString& column : RecordFields::columns())
        columns << Sql::identifier(column);
    const QStringList marks(columns.size(), QStringLiteral("?"));
    m_insert.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                         .arg(Sql::identifier(RegisterNames::recordTable),
                              columns.join(QStringLiteral(", ")),
                              marks.join(QStringLiteral(", "))));
    m_hash.prepare(QStringLiteral("INSERT OR REPLACE INTO %1 (%2, %3, %4, %5) VALUES (?, ?, ?, ?)")
                       .arg(Sql::identifier(ContentHash::table),
                            Sql::identifier(ContentHash::recordColumn),
                            Sql::identifier(ContentHash::storedNameColumn),
                            Sql::identifier(ContentHash::sizeColumn),
                            Sql::identifier(ContentHash::hashColumn)));
    m_history.prepare(
        QStringLiteral("INSERT INTO %1 (%2, %3, %4, %5, %6, %7) VALUES (?, ?, ?, ?, ?, ?)")
            .arg(Sql::identifier(Audit::table), Sql::identifier(Audit::timeColumn),
                 Sql::identifier(Audit::userColumn), Sql::identifier(Audit::actionColumn),
                 Sql::identifier(Audit::identityColumn), Sql::identifier(Audit::oldColumn),
                 Sql::identifier(Audit::newColumn)));
}

Result<qint64> Writer::insert(const FullRecord& record)
{
    // Empty texts are written as empty texts, never as NULL.
    const auto text = [](const QString& value) {
        return value.isEmpty() ? QStringLiteral("") : value;
    };
    QVariantList values;
    for (const RecordFields::Field& field : RecordFields::all()) {
        if (field.kind == RecordFields::Kind::Serial)
            values << record.serial;
        else if (field.kind == RecordFields::Kind::Date)
            values << text(record.date);
        else // a field older registers lack is written empty
            values << text(field.written ? record.*field.written : QString());
    }
    for (int i = 0; i < values.size(); ++i)
        m_insert.bindValue(i, values.at(i));
    if (!m_insert.exec())
        return Sql::errorFrom(m_insert.lastError(), m_insert.lastQuery());
    m_lastStoredName = text(record.storedName);
    m_lastValues = values;
    return m_insert.lastInsertId().toLongLong();
}

Status Writer::recordHash(qint64 rowid, qint64 size, const QString& hash)
{
    m_hash.bindValue(0, rowid);
    m_hash.bindValue(1, m_lastStoredName);
    m_hash.bindValue(2, size);
    m_hash.bindValue(3, hash);
    if (!m_hash.exec())
        return Sql::errorFrom(m_hash.lastError(), m_hash.lastQuery());
    return {};
}

Status Writer::recordHistory(qint64 rowid, const QString& action)
{
    const QVariantList bound = {Audit::now(),
                                Audit::userName(),
                                action,
                                rowid,
                                Audit::encode({}),
                                Audit::encode(Audit::present(Audit::recordValues(m_lastValues)))};
    for (int i = 0; i < bound.size(); ++i)
        m_history.bindValue(i, bound.at(i));
    if (!m_history.exec())
        return Sql::errorFrom(m_history.lastError(), m_history.lastQuery());
    return {};
}

const QStringList& queryColumns()
{
    static const QStringList columns = {
        QStringLiteral("查询名称"),           QStringLiteral("工具条标题"),
        QStringLiteral("全部或部分文件名"),   QStringLiteral("全部或部分接收人名"),
        QStringLiteral("备注中的一个词"),     QStringLiteral("最早发件日期"),
        QStringLiteral("最晚发件日期"),       QStringLiteral("传送方式"),
        QStringLiteral("全部或部分文件夹名"),
    };
    return columns;
}

Status writeSlot(const QSqlDatabase& db, int slot, const QStringList& values)
{
    QStringList assignments;
    for (const QString& column : queryColumns())
        assignments << Sql::identifier(column) + QStringLiteral(" = ?");
    const QString table = Sql::identifier(RegisterNames::queryTable);
    const QString sql = QStringLiteral("UPDATE %1 SET %2 WHERE rowid = "
                                       "(SELECT rowid FROM %1 ORDER BY rowid LIMIT 1 OFFSET ?)")
                            .arg(table, assignments.join(QStringLiteral(", ")));
    QVariantList bound;
    for (int i = 0; i < queryColumns().size(); ++i)
        bound << (i < values.size() && !values.at(i).isEmpty() ? values.at(i) : QStringLiteral(""));
    bound << slot - 1;
    Result<QSqlQuery> query = Sql::run(db, sql, bound);
    if (!query)
        return query.error();
    if (query->numRowsAffected() != 1)
        return Error{QStringLiteral("无法写入自定义查询%1。").arg(slot), sql};
    return {};
}

} // namespace RecordWriter
