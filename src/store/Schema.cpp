#include "store/Schema.h"

#include "store/ContentHash.h"
#include "store/IdentityColumn.h"
#include "store/RegisterNames.h"
#include "store/SearchIndexes.h"
#include "store/Sql.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include <sqlite3.h>

namespace Schema {

namespace {

const QStringList recordColumns = {
    RegisterNames::serial,     RegisterNames::date,   RegisterNames::fileName,
    RegisterNames::storedName, RegisterNames::remark, RegisterNames::recipient,
    RegisterNames::method,     RegisterNames::folder,
};

const QStringList queryColumns = {
    QStringLiteral("查询名称"),           QStringLiteral("工具条标题"),
    QStringLiteral("全部或部分文件名"),   QStringLiteral("全部或部分接收人名"),
    QStringLiteral("备注中的一个词"),     QStringLiteral("最早发件日期"),
    QStringLiteral("最晚发件日期"),       QStringLiteral("传送方式"),
    QStringLiteral("全部或部分文件夹名"),
};

// Reads the tables of an SQLite file read-only, through the C API, so that a
// foreign file is never touched (not even a journal is created).
QStringList columnsOf(sqlite3* handle, const QString& table)
{
    QStringList columns;
    sqlite3_stmt* statement = nullptr;
    const QByteArray sql =
        QStringLiteral("PRAGMA table_info(%1)").arg(Sql::identifier(table)).toUtf8();
    if (sqlite3_prepare_v2(handle, sql.constData(), -1, &statement, nullptr) != SQLITE_OK)
        return columns;
    while (sqlite3_step(statement) == SQLITE_ROW)
        columns << QString::fromUtf8(
            reinterpret_cast<const char*>(sqlite3_column_text(statement, 1)));
    sqlite3_finalize(statement);
    return columns;
}

FileKind inspectSqlite(const QString& path, QString* detail)
{
    sqlite3* handle = nullptr;
    const QByteArray uri = QFile::encodeName(path);
    if (sqlite3_open_v2(uri.constData(), &handle, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        if (detail)
            *detail = QString::fromUtf8(sqlite3_errmsg(handle));
        sqlite3_close(handle);
        return FileKind::Unreadable;
    }
    const QStringList records = columnsOf(handle, RegisterNames::recordTable);
    const QStringList queries = columnsOf(handle, RegisterNames::queryTable);
    sqlite3_close(handle);

    // A file with both tables and every column is a register, whoever made it.
    bool complete = !records.isEmpty() && !queries.isEmpty();
    for (const QString& column : recordColumns)
        complete = complete && records.contains(column);
    for (const QString& column : queryColumns)
        complete = complete && queries.contains(column);
    if (complete)
        return FileKind::QuorvelRegister;
    if (detail) {
        *detail = records.isEmpty() ? QStringLiteral("没有“%1”表").arg(RegisterNames::recordTable)
                                    : QStringLiteral("表结构不符");
    }
    return FileKind::OtherSqlite;
}

Status exec(QSqlDatabase& db, const QString& sql)
{
    QSqlQuery query(db);
    if (!query.exec(sql))
        return Sql::errorFrom(query.lastError(), sql);
    return {};
}

QString createRecordTable()
{
    return QStringLiteral(
               "CREATE TABLE IF NOT EXISTS %1 (%2 INTEGER, %3 TEXT, %4 TEXT, %5 TEXT, "
               "%6 TEXT, %7 TEXT, %8 TEXT, %9 TEXT, %10 INTEGER PRIMARY KEY AUTOINCREMENT)")
        .arg(Sql::identifier(RegisterNames::recordTable), Sql::identifier(RegisterNames::serial),
             Sql::identifier(RegisterNames::date), Sql::identifier(RegisterNames::fileName),
             Sql::identifier(RegisterNames::storedName), Sql::identifier(RegisterNames::remark),
             Sql::identifier(RegisterNames::recipient), Sql::identifier(RegisterNames::method),
             Sql::identifier(RegisterNames::folder))
        .arg(Sql::identifier(RegisterNames::identity));
}

QString createQueryTable()
{
    QStringList columns;
    for (const QString& column : queryColumns)
        columns << Sql::identifier(column) + QStringLiteral(" TEXT NOT NULL DEFAULT ''");
    return QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2)")
        .arg(Sql::identifier(RegisterNames::queryTable), columns.join(QStringLiteral(", ")));
}

const QStringList toolbarTitles = {
    QStringLiteral("查询一"), QStringLiteral("查询二"), QStringLiteral("查询三"),
    QStringLiteral("查询四"), QStringLiteral("查询五"), QStringLiteral("查询六"),
    QStringLiteral("查询七"), QStringLiteral("查询八"), QStringLiteral("查询九"),
};

Status createEmptySlots(QSqlDatabase& db)
{
    Result<QVariant> count = Sql::scalar(
        db,
        QStringLiteral("SELECT count(*) FROM %1").arg(Sql::identifier(RegisterNames::queryTable)));
    if (!count)
        return count.error();
    const QString insert =
        QStringLiteral("INSERT INTO %1 (%2, %3) VALUES (?, ?)")
            .arg(Sql::identifier(RegisterNames::queryTable), Sql::identifier(queryColumns[0]),
                 Sql::identifier(queryColumns[1]));
    for (int slot = count->toInt() + 1; slot <= 9; ++slot) {
        Result<QSqlQuery> inserted =
            Sql::run(db, insert,
                     {QString(QStringLiteral("自定义查询") + QString::number(slot)),
                      toolbarTitles[slot - 1]});
        if (!inserted)
            return inserted.error();
    }
    return {};
}

} // namespace

FileKind inspect(const QString& databasePath, QString* detail)
{
    QFileInfo info(databasePath);
    if (!info.exists())
        return FileKind::Missing;
    QFile file(databasePath);
    if (!file.open(QIODevice::ReadOnly)) {
        if (detail)
            *detail = file.errorString();
        return FileKind::Unreadable;
    }
    const QByteArray header = file.read(32);
    if (header.isEmpty())
        return file.error() == QFile::NoError ? FileKind::Empty : FileKind::Unreadable;
    if (header.startsWith(QByteArrayLiteral("SQLite format 3")))
        return inspectSqlite(databasePath, detail);
    if (header.mid(4, 15) == QByteArrayLiteral("Standard Jet DB") ||
        header.mid(4, 15) == QByteArrayLiteral("Standard ACE DB"))
        return FileKind::Access;
    return FileKind::Unknown;
}

QString describeForeign(const QString& databasePath, FileKind kind, const QString& detail)
{
    QString found;
    switch (kind) {
    case FileKind::Access:
        found =
            QStringLiteral("它是一个 Microsoft Access (Jet) 数据库，Quorvel 无法使用这种格式。");
        break;
    case FileKind::OtherSqlite:
        found = QStringLiteral("它是一个 SQLite 数据库，但不是 Quorvel 登记库（%1）。").arg(detail);
        break;
    case FileKind::Unreadable:
        found = QStringLiteral("无法读取该文件（%1）。").arg(detail);
        break;
    default:
        found = QStringLiteral("它不是数据库文件，可能已损坏或是其他程序的文件。");
        break;
    }
    return QStringLiteral("文件“%1”不是 Quorvel 登记库：%2为保护其内容，Quorvel 不会改动它。")
        .arg(databasePath, found);
}

namespace {

// True when the layout is current, so a read-only register opens without
// needing a write transaction.
bool upToDate(const QSqlDatabase& db)
{
    Result<QVariant> version = Sql::scalar(db, QStringLiteral("PRAGMA user_version"));
    Result<QVariant> index = Sql::scalar(
        db, QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'index' AND name = ?"),
        {QStringLiteral("文件管理_文件序号")});
    Result<QVariant> slots = Sql::scalar(
        db,
        QStringLiteral("SELECT count(*) FROM %1").arg(Sql::identifier(RegisterNames::queryTable)));
    return version && index && slots && version->toInt() >= currentVersion && index->toInt() == 1 &&
           slots->toInt() >= 9 && SearchIndexes::complete(db) && IdentityColumn::present(db);
}

} // namespace

Status migrate(QSqlDatabase& db, const StepProgress& progress)
{
    if (upToDate(db))
        return {};
    Transaction transaction(db);
    if (!transaction.started())
        return transaction.startError();

    Result<QVariant> version = Sql::scalar(db, QStringLiteral("PRAGMA user_version"));
    if (!version)
        return version.error();
    const int from = version->toInt();

    if (from < 1) {
        for (const QString& sql : {createRecordTable(), createQueryTable()}) {
            if (Status created = exec(db, sql); !created)
                return created;
        }
    }
    // Version 4: an identity that is never reused. The table is rebuilt, and
    // what belonged to the old one is made again below.
    const bool rebuiltTable = !IdentityColumn::present(db);
    int stepsDone = 0;
    const auto reportOn = [&](int step, int steps) {
        if (progress)
            progress(stepsDone + step, stepsDone + steps);
    };
    if (rebuiltTable) {
        int identitySteps = 0;
        if (Status added = IdentityColumn::add(db,
                                               [&](int step, int steps) {
                                                   identitySteps = steps;
                                                   reportOn(step, steps);
                                               });
            !added)
            return added;
        stepsDone = identitySteps;
    }
    if (from < 2 || rebuiltTable) {
        // Version 2: size and content hash of the stored copies, in a side
        // table that loses its row together with the record.
        const QString hashes = Sql::identifier(ContentHash::table);
        const QString records = Sql::identifier(RegisterNames::recordTable);
        const QStringList steps = {
            QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2 INTEGER PRIMARY KEY, %3 TEXT, "
                           "%4 INTEGER NOT NULL, %5 TEXT NOT NULL)")
                .arg(hashes, Sql::identifier(ContentHash::recordColumn),
                     Sql::identifier(ContentHash::storedNameColumn),
                     Sql::identifier(ContentHash::sizeColumn),
                     Sql::identifier(ContentHash::hashColumn)),
            QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3)")
                .arg(Sql::identifier(ContentHash::table + QStringLiteral("_校验")), hashes,
                     Sql::identifier(ContentHash::hashColumn)),
            QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1 AFTER DELETE ON %2 "
                           "BEGIN DELETE FROM %3 WHERE %4 = OLD.rowid; END")
                .arg(Sql::identifier(ContentHash::table + QStringLiteral("_随记录删除")), records,
                     hashes, Sql::identifier(ContentHash::recordColumn)),
        };
        for (const QString& sql : steps) {
            if (Status created = exec(db, sql); !created)
                return created;
        }
    }
    // Repairs that every version gets: the serial index that views and the
    // next-serial lookup rely on, and the nine query slots.
    if (Status indexed = exec(db, QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3)")
                                      .arg(Sql::identifier(QStringLiteral("文件管理_文件序号")),
                                           Sql::identifier(RegisterNames::recordTable),
                                           Sql::identifier(RegisterNames::serial)));
        !indexed)
        return indexed;
    if (Status slots = createEmptySlots(db); !slots)
        return slots;
    // Version 3: search indexes and side tables, built from the records; also
    // rebuilt whole when any part of them has gone missing.
    // A rebuilt table kept its rowids, so only what hangs on the table itself
    // needs making again.
    if (from >= 3 && rebuiltTable) {
        if (Status reattached = SearchIndexes::reattach(db, reportOn); !reattached)
            return reattached;
    }
    if (from < 3 || !SearchIndexes::complete(db)) {
        if (Status built = SearchIndexes::rebuild(db, reportOn); !built)
            return built;
    }

    if (from < currentVersion) {
        if (Status stamped =
                exec(db, QStringLiteral("PRAGMA user_version = %1").arg(currentVersion));
            !stamped)
            return stamped;
        if (Status stamped =
                exec(db, QStringLiteral("PRAGMA application_id = %1").arg(applicationId));
            !stamped)
            return stamped;
    }
    return transaction.commit();
}

} // namespace Schema
