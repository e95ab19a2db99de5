#include "store/sqlite/Schema.h"

#include "store/RecordFields.h"
#include "store/RegisterNames.h"
#include "store/sql/AccountTable.h"
#include "store/sql/AuditTable.h"
#include "store/sql/ContentHash.h"
#include "store/sql/InboxTable.h"
#include "store/sql/RecycleBinTable.h"
#include "store/sql/Sql.h"
#include "store/sqlite/IdentityColumn.h"
#include "store/view/SearchIndexes.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include <cerrno>

#include "store/content/ContentIndex.h"

#include <sqlite3.h>

namespace Schema {

namespace {

const QStringList queryColumns = {
    QStringLiteral("查询名称"),           QStringLiteral("工具条标题"),
    QStringLiteral("全部或部分文件名"),   QStringLiteral("全部或部分接收人名"),
    QStringLiteral("备注中的一个词"),     QStringLiteral("最早发件日期"),
    QStringLiteral("最晚发件日期"),       QStringLiteral("传送方式"),
    QStringLiteral("全部或部分文件夹名"),
};

// Reads the columns of a table read-only, through the C API, so that a
// foreign file is never touched (not even a journal is created). Returns the
// SQLite result: anything but SQLITE_OK means the file was not read.
int readColumns(sqlite3* handle, const QString& table, QStringList& columns)
{
    sqlite3_stmt* statement = nullptr;
    const QByteArray sql =
        QStringLiteral("PRAGMA table_info(%1)").arg(Sql::identifier(table)).toUtf8();
    int rc = sqlite3_prepare_v2(handle, sql.constData(), -1, &statement, nullptr);
    if (rc != SQLITE_OK)
        return rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW)
        columns << QString::fromUtf8(
            reinterpret_cast<const char*>(sqlite3_column_text(statement, 1)));
    sqlite3_finalize(statement);
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

FileKind kindOfFailure(sqlite3* handle, int rc)
{
    switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return FileKind::Busy;
    case SQLITE_FULL:
        return FileKind::DiskFull;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return FileKind::Damaged;
    default:
        // Growing the shared-memory index on a full disk fails as an I/O error.
        return sqlite3_system_errno(handle) == ENOSPC ? FileKind::DiskFull : FileKind::Unreadable;
    }
}

// A file shorter than its header says (or not whole pages) lost its end: it
// is damaged, and missing tables prove nothing about whose file it was.
bool truncated(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray header = file.read(100);
    if (header.size() < 100)
        return true;
    const auto number = [&](int at, int bytes) {
        quint64 value = 0;
        for (int i = 0; i < bytes; ++i)
            value = (value << 8) | quint8(header.at(at + i));
        return value;
    };
    const quint64 pageSize = number(16, 2) == 1 ? 65536 : number(16, 2);
    if (pageSize < 512)
        return true;
    const quint64 size = quint64(file.size());
    if (size % pageSize != 0)
        return true;
    // The page count in the header counts only when it is known to be current.
    const bool countValid = number(24, 4) == number(92, 4) && number(28, 4) != 0;
    return countValid && size < number(28, 4) * pageSize;
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
    sqlite3_extended_result_codes(handle, 1);
    sqlite3_busy_timeout(handle, Sql::busyTimeoutMs);
    QStringList records;
    QStringList queries;
    int rc = readColumns(handle, RegisterNames::recordTable, records);
    if (rc == SQLITE_OK)
        rc = readColumns(handle, RegisterNames::queryTable, queries);
    const FileKind failure =
        rc == SQLITE_OK ? FileKind::QuorvelRegister : kindOfFailure(handle, rc);
    if (rc != SQLITE_OK && detail)
        *detail = QString::fromUtf8(sqlite3_errmsg(handle));
    sqlite3_close(handle);
    if (rc != SQLITE_OK)
        return failure;

    // A file with both tables and every column is a register, whoever made it.
    bool complete = !records.isEmpty() && !queries.isEmpty();
    for (const QString& column : RecordFields::columns())
        complete = complete && records.contains(column);
    for (const QString& column : queryColumns)
        complete = complete && queries.contains(column);
    if (complete)
        return FileKind::QuorvelRegister;
    if (truncated(path)) {
        if (detail)
            *detail = QStringLiteral("文件不完整，比它的头部所记的短");
        return FileKind::Damaged;
    }
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
               "CREATE TABLE IF NOT EXISTS %1 (%2, %3 INTEGER PRIMARY KEY AUTOINCREMENT)")
        .arg(Sql::identifier(RegisterNames::recordTable), RecordFields::declared(),
             Sql::identifier(RegisterNames::identity));
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

Error foreignError(const QString& databasePath, FileKind kind, const QString& detail)
{
    ErrorCode code = ErrorCode::Foreign;
    switch (kind) {
    case FileKind::Missing:
    case FileKind::Empty:
        code = ErrorCode::NotFound;
        break;
    case FileKind::Busy:
        code = ErrorCode::Busy;
        break;
    case FileKind::Unreadable:
    case FileKind::Damaged:
        code = ErrorCode::Damaged;
        break;
    case FileKind::DiskFull:
        code = ErrorCode::Failed;
        break;
    default:
        break;
    }
    return {describeForeign(databasePath, kind, detail), databasePath, code};
}

QString describeForeign(const QString& databasePath, FileKind kind, const QString& detail)
{
    QString found;
    switch (kind) {
    case FileKind::Access:
        // An old register waiting for its conversion: say how to convert it.
        return QStringLiteral("“%1”是旧格式的登记库（Microsoft Access (Jet) 数据库），尚未转换为 "
                              "Quorvel 的格式，它没有被改动。\n请先转换它：运行 "
                              "quorvel-cli --register \"%2\" convert，或启动 Quorvel 并在询问"
                              "是否转换时选择“是”。")
            .arg(databasePath, QFileInfo(databasePath).absolutePath());
    case FileKind::OtherSqlite:
        found = QStringLiteral("它是一个 SQLite 数据库，但不是 Quorvel 登记库（%1）。").arg(detail);
        break;
    case FileKind::Unreadable:
        found = QStringLiteral("无法读取该文件（%1）。").arg(detail);
        break;
    case FileKind::Busy:
        return Sql::busyMessage();
    case FileKind::Damaged:
        return QStringLiteral("登记库文件“%1”已损坏（%2）。为保护其内容，Quorvel 不会改动它；"
                              "请用备份替换它。")
            .arg(databasePath, detail);
    case FileKind::DiskFull:
        return QStringLiteral("磁盘已满，无法打开登记库“%1”。请先腾出空间再试。").arg(databasePath);
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
        {RegisterNames::serialIndex});
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
    // Version 5: the recycle bin.
    if (Status created = exec(db, RecycleBin::createTable()); !created)
        return created;
    // Version 6: the history of changes, new and empty: nothing is read.
    for (const QString& sql : Audit::createStatements()) {
        if (Status created = exec(db, sql); !created)
            return created;
    }
    // Version 7: what is inside the stored copies, and the saved queries'
    // content box. Every copy already registered is queued for reading.
    if (from < 7) {
        QStringList steps = ContentIndex::sqliteSchema();
        Result<QVariant> hasColumn = Sql::scalar(
            db, QStringLiteral("SELECT count(*) FROM pragma_table_info(?) WHERE name = ?"),
            {RegisterNames::queryTable, ContentIndex::queryColumn});
        if (!hasColumn)
            return hasColumn.error();
        if (hasColumn->toInt() == 0) {
            steps << QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 TEXT NOT NULL DEFAULT ''")
                         .arg(Sql::identifier(RegisterNames::queryTable),
                              Sql::identifier(ContentIndex::queryColumn));
        }
        for (const QString& sql : steps) {
            if (Status created = exec(db, sql); !created)
                return created;
        }
    }
    // Version 8: accounts for signing in from a browser, new and empty.
    for (const QString& sql : AccountTable::createStatements()) {
        if (Status created = exec(db, sql); !created)
            return created;
    }
    // Version 9: the inbox's settings and its note of files taken, new and empty.
    for (const QString& sql : InboxTable::createStatements()) {
        if (Status created = exec(db, sql); !created)
            return created;
    }
    // Repairs that every version gets: the serial index that views and the
    // next-serial lookup rely on, and the nine query slots.
    if (Status indexed = exec(db, QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3)")
                                      .arg(Sql::identifier(RegisterNames::serialIndex),
                                           Sql::identifier(RegisterNames::recordTable),
                                           Sql::identifier(RegisterNames::serial)));
        !indexed)
        return indexed;
    if (Status slots = createEmptySlots(db); !slots)
        return slots;
    // Version 3: search indexes and side tables, built from the records; a
    // part of them that has gone missing, or came later than the register
    // (the character indexes), is built again on its own.
    // A rebuilt table kept its rowids, so only what hangs on the table itself
    // needs making again.
    if (from >= 3 && rebuiltTable) {
        if (Status reattached = SearchIndexes::reattach(db, reportOn); !reattached)
            return reattached;
    }
    if (from < 3) {
        if (Status built = SearchIndexes::rebuild(db, reportOn); !built)
            return built;
    } else if (Status repaired = SearchIndexes::repair(db, reportOn); !repaired) {
        return repaired;
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
