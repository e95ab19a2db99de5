#include "store/sqlite/Snapshot.h"

#include "store/RecycleBin.h"

#include "store/RegisterNames.h"
#include "store/sql/ContentHash.h"
#include "store/sql/Sql.h"

#include <QFile>
#include <QHash>
#include <QUrl>

#include <sqlite3.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Writers wait a few seconds for the register; a backup can wait longer for
// its one short moment of the write lock.
constexpr int lockWaitMs = 30000;
// Pages per backup step: progress often enough, little overhead.
constexpr int pagesPerStep = 4096;

QString messageOf(sqlite3* db)
{
    return QString::fromUtf8(sqlite3_errmsg(db));
}

Error databaseError(sqlite3* db, const QString& what)
{
    const int code = sqlite3_errcode(db) & 0xff;
    if (code == SQLITE_BUSY || code == SQLITE_LOCKED)
        return {Sql::busyMessage(), what + QStringLiteral(": ") + messageOf(db)};
    return {QStringLiteral("读取登记库时出错。"), what + QStringLiteral(": ") + messageOf(db)};
}

// Closes a connection when it goes out of scope unless released.
struct Connection {
    sqlite3* db = nullptr;
    ~Connection() { sqlite3_close(db); }
    sqlite3* release() { return std::exchange(db, nullptr); }
};

int open(const QByteArray& name, int flags, Connection& connection)
{
    const int rc = sqlite3_open_v2(name.constData(), &connection.db, flags, nullptr);
    if (connection.db)
        sqlite3_extended_result_codes(connection.db, 1);
    return rc;
}

bool exec(sqlite3* db, const char* sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

QString namedCopiesSql()
{
    return QStringLiteral("SELECT r.%1, h.%2, h.%3, r.%8 FROM %4 r LEFT JOIN %5 h "
                          "ON h.%6 = r.rowid AND h.%7 = r.%1 ORDER BY r.%8, r.rowid")
        .arg(Sql::identifier(RegisterNames::storedName), Sql::identifier(ContentHash::sizeColumn),
             Sql::identifier(ContentHash::hashColumn), Sql::identifier(RegisterNames::recordTable),
             Sql::identifier(ContentHash::table), Sql::identifier(ContentHash::recordColumn),
             Sql::identifier(ContentHash::storedNameColumn),
             Sql::identifier(RegisterNames::serial));
}

// The bin's copies of this moment, with the digests recorded for them.
QString binCopiesSql()
{
    return QStringLiteral("SELECT %1, %2, %3, %5 FROM %4 WHERE %1 IS NOT NULL ORDER BY %5")
        .arg(Sql::identifier(RecycleBin::binNameColumn), Sql::identifier(RecycleBin::sizeColumn),
             Sql::identifier(RecycleBin::hashColumn), Sql::identifier(RecycleBin::table),
             Sql::identifier(RegisterNames::serial));
}

Result<QList<Snapshot::NamedCopy>> readNamedCopies(sqlite3* db,
                                                   const QString& query = namedCopiesSql())
{
    const QByteArray sql = query.toUtf8();
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &statement, nullptr) != SQLITE_OK)
        return databaseError(db, QStringLiteral("stored names"));
    QList<Snapshot::NamedCopy> copies;
    QHash<QString, qsizetype> seen; // name → its place in `copies`
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
        const QString name = QString::fromUtf8(text, sqlite3_column_bytes(statement, 0));
        // Names that are not plain file names point nowhere in the store.
        if (!Register::isPlainFileName(name))
            continue;
        const QString serial =
            QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, 3)),
                              sqlite3_column_bytes(statement, 3));
        if (const auto known = seen.constFind(name); known != seen.cend()) {
            copies[*known].serials << serial;
            continue;
        }
        seen.insert(name, copies.size());
        Snapshot::NamedCopy copy{name, -1, QString(), {serial}};
        if (sqlite3_column_type(statement, 1) != SQLITE_NULL) {
            copy.size = sqlite3_column_int64(statement, 1);
            copy.hash =
                QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, 2)));
        }
        copies << copy;
    }
    sqlite3_finalize(statement);
    if (rc != SQLITE_DONE)
        return databaseError(db, QStringLiteral("stored names"));
    return copies;
}

Status flushFile(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    const bool flushed = fd >= 0 && ::fsync(fd) == 0;
    if (fd >= 0)
        ::close(fd);
    if (!flushed)
        return Error{QStringLiteral("无法写入备份数据库“%1”。").arg(path), QString()};
    return {};
}

} // namespace

Result<std::unique_ptr<Snapshot>> Snapshot::take(const Register& reg,
                                                 const std::function<void()>& underLock)
{
    // A server's database is backed up by the server's own tools.
    if (reg.kind() == Register::Kind::Postgres)
        return Error{QStringLiteral("该登记库保存在数据库服务器上，Quorvel 不能备份它。请用服务器的"
                                    "备份工具（如 pg_dump）备份数据库，并另行备份共享存储文件夹。"),
                     reg.databasePath()};
    const QByteArray path = QFile::encodeName(reg.databasePath());
    Connection writer;
    Connection reader;
    if (open(path, SQLITE_OPEN_READWRITE, writer) != SQLITE_OK)
        return databaseError(writer.db, QStringLiteral("open"));
    if (open(path, SQLITE_OPEN_READWRITE, reader) != SQLITE_OK)
        return databaseError(reader.db, QStringLiteral("open"));
    sqlite3_busy_timeout(writer.db, lockWaitMs);
    sqlite3_busy_timeout(reader.db, lockWaitMs);
    if (!exec(writer.db, "BEGIN IMMEDIATE"))
        return databaseError(writer.db, QStringLiteral("BEGIN IMMEDIATE"));
    // The read transaction starts at its first read: that fixes the moment.
    const bool fixed =
        exec(reader.db, "BEGIN") && exec(reader.db, "SELECT count(*) FROM sqlite_master");
    if (fixed && underLock)
        underLock();
    exec(writer.db, "ROLLBACK");
    if (!fixed)
        return databaseError(reader.db, QStringLiteral("BEGIN"));
    return std::unique_ptr<Snapshot>(new Snapshot(reader.release()));
}

Snapshot::~Snapshot()
{
    exec(m_db, "ROLLBACK");
    sqlite3_close(m_db);
}

Result<QList<Snapshot::NamedCopy>> Snapshot::namedCopies() const
{
    return readNamedCopies(m_db);
}

Result<QList<Snapshot::NamedCopy>> Snapshot::binCopies() const
{
    return readNamedCopies(m_db, binCopiesSql());
}

Status Snapshot::writeTo(const QString& path,
                         const std::function<void(int done, int total)>& progress) const
{
    Connection target;
    if (open(QFile::encodeName(path), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, target) !=
        SQLITE_OK)
        return Error{QStringLiteral("无法创建备份数据库“%1”。").arg(path), messageOf(target.db)};
    // A new file nobody else sees until it is complete: no journal and no
    // flush at each step, one flush at the end.
    exec(target.db, "PRAGMA journal_mode = OFF");
    exec(target.db, "PRAGMA synchronous = OFF");
    // The copy runs inside this connection's open read transaction, so every
    // step reads the same moment however much others write meanwhile.
    sqlite3_backup* backup = sqlite3_backup_init(target.db, "main", m_db, "main");
    if (!backup)
        return Error{QStringLiteral("无法创建备份数据库“%1”。").arg(path), messageOf(target.db)};
    int rc;
    while ((rc = sqlite3_backup_step(backup, pagesPerStep)) == SQLITE_OK) {
        if (progress) {
            const int total = sqlite3_backup_pagecount(backup);
            progress(total - sqlite3_backup_remaining(backup), total);
        }
    }
    sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE)
        return Error{QStringLiteral("写入备份数据库“%1”时出错。").arg(path),
                     QString::fromUtf8(sqlite3_errstr(rc))};
    // The register runs with a log file; the backup must stand alone.
    if (!exec(target.db, "PRAGMA journal_mode = DELETE"))
        return Error{QStringLiteral("写入备份数据库“%1”时出错。").arg(path), messageOf(target.db)};
    sqlite3_close(target.release());
    return flushFile(path);
}

Result<QList<Snapshot::NamedCopy>> Snapshot::readBackup(const QString& path)
{
    // Immutable: nothing is written next to a backup, not even a lock.
    const QByteArray uri = QUrl::fromLocalFile(path).toEncoded() + "?immutable=1";
    Connection backup;
    const auto damaged = [&](const QString& detail) {
        return Error{QStringLiteral("备份的数据库已损坏或不是登记库。"), detail};
    };
    if (open(uri, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, backup) != SQLITE_OK)
        return damaged(messageOf(backup.db));
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(backup.db, "PRAGMA quick_check", -1, &statement, nullptr) != SQLITE_OK)
        return damaged(messageOf(backup.db));
    QStringList faults;
    while (sqlite3_step(statement) == SQLITE_ROW) {
        const QString line =
            QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
        if (line != QLatin1String("ok"))
            faults << line;
    }
    const int rc = sqlite3_finalize(statement);
    if (rc != SQLITE_OK)
        return damaged(messageOf(backup.db));
    if (!faults.isEmpty())
        return damaged(faults.join(QLatin1String("; ")));
    Result<QList<NamedCopy>> copies = readNamedCopies(backup.db);
    if (!copies)
        return damaged(copies.error().detail);
    return copies;
}
