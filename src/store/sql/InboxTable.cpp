#include "store/sql/InboxTable.h"

#include "store/Audit.h"
#include "store/sql/Sql.h"

#include <QSqlQuery>

namespace InboxTable {

namespace {

QString id(const QString& name)
{
    return Sql::identifier(name);
}

// The settings' stored names, in the order of Settings' members.
const QStringList settingNames = {QStringLiteral("文件夹"), QStringLiteral("接收人"),
                                  QStringLiteral("传送方式"), QStringLiteral("记录文件夹")};

QString* member(Settings& settings, int index)
{
    QString* members[] = {&settings.folder, &settings.recipient, &settings.method,
                          &settings.recordFolder};
    return members[index];
}

} // namespace

QStringList createStatements()
{
    return {
        QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2 TEXT PRIMARY KEY, %3 TEXT NOT NULL)")
            .arg(id(settingsTable), id(settingNameColumn), id(settingValueColumn)),
        QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2 TEXT NOT NULL, %3 BIGINT NOT NULL, "
                       "%4 BIGINT NOT NULL, %5 TEXT NOT NULL, %6 BIGINT NOT NULL, "
                       "%7 TEXT NOT NULL, PRIMARY KEY (%2, %3, %4, %5))")
            .arg(id(takenTable), id(fileNameColumn), id(sizeColumn), id(modifiedColumn),
                 id(hashColumn), id(recordColumn), id(takenAtColumn)),
    };
}

Result<Settings> read(const QSqlDatabase& db)
{
    Result<QSqlQuery> query =
        Sql::run(db, QStringLiteral("SELECT %1, %2 FROM %3")
                         .arg(id(settingNameColumn), id(settingValueColumn), id(settingsTable)));
    if (!query)
        return query.error();
    Settings settings;
    while (query->next()) {
        const qsizetype index = settingNames.indexOf(query->value(0).toString());
        if (index >= 0)
            *member(settings, int(index)) = query->value(1).toString();
    }
    return settings;
}

Status write(const QSqlDatabase& db, const Settings& settings)
{
    Transaction transaction(db);
    if (!transaction.started())
        return transaction.startError();
    Settings values = settings;
    for (int i = 0; i < settingNames.size(); ++i) {
        const QString& name = settingNames.at(i);
        Result<QSqlQuery> removed = Sql::run(db,
                                             QStringLiteral("DELETE FROM %1 WHERE %2 = ?")
                                                 .arg(id(settingsTable), id(settingNameColumn)),
                                             {name});
        if (!removed)
            return removed.error();
        Result<QSqlQuery> inserted =
            Sql::run(db,
                     QStringLiteral("INSERT INTO %1 (%2, %3) VALUES (?, ?)")
                         .arg(id(settingsTable), id(settingNameColumn), id(settingValueColumn)),
                     {name, member(values, i)->isNull() ? QStringLiteral("") : *member(values, i)});
        if (!inserted)
            return inserted.error();
    }
    return transaction.commit();
}

Status noteTaken(const QSqlDatabase& db, const FileIdentity& file, qint64 record)
{
    Result<QSqlQuery> inserted =
        Sql::run(db,
                 QStringLiteral("INSERT INTO %1 (%2, %3, %4, %5, %6, %7) VALUES (?, ?, ?, ?, ?, ?)")
                     .arg(id(takenTable), id(fileNameColumn), id(sizeColumn), id(modifiedColumn),
                          id(hashColumn), id(recordColumn), id(takenAtColumn)),
                 {file.fileName, file.size, file.modified, file.hash, record, Audit::now()});
    if (!inserted)
        return inserted.error();
    return {};
}

Result<QStringList> takenHashes(const QSqlDatabase& db, const QString& fileName, qint64 size,
                                qint64 modified)
{
    Result<QSqlQuery> query =
        Sql::run(db,
                 QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ? AND %4 = ? AND %5 = ?")
                     .arg(id(hashColumn), id(takenTable), id(fileNameColumn), id(sizeColumn),
                          id(modifiedColumn)),
                 {fileName, size, modified});
    if (!query)
        return query.error();
    QStringList hashes;
    while (query->next())
        hashes << query->value(0).toString();
    return hashes;
}

Status forgetTakenBefore(const QSqlDatabase& db, const QString& before)
{
    Result<QSqlQuery> removed = Sql::run(
        db, QStringLiteral("DELETE FROM %1 WHERE %2 < ?").arg(id(takenTable), id(takenAtColumn)),
        {before});
    if (!removed)
        return removed.error();
    return {};
}

} // namespace InboxTable
