#include "store/Register.h"

#include "store/RegisterNames.h"
#include "store/pg/PgConnection.h"
#include "store/pg/PgRecordStore.h"
#include "store/pg/PgSchema.h"
#include "store/pg/PreparedStatements.h"
#include "store/sql/Sql.h"
#include "store/sqlite/Schema.h"
#include "store/sqlite/ShmReserve.h"
#include "store/sqlite/SqliteRecordStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// SQLite creates the -wal and -shm files with the database's mode. After the
// database was read-only once they stay so when it is writable again, and
// every later program would open the register read-only: give them back the
// database's mode. Only our own files, and only to open them up.
void matchSidecarModes(const QString& databasePath)
{
    const QByteArray database = QFile::encodeName(databasePath);
    struct stat db;
    if (::stat(database.constData(), &db) != 0 || (db.st_mode & S_IWUSR) == 0 ||
        ::access(database.constData(), W_OK) != 0)
        return;
    for (const char* suffix : {"-wal", "-shm"}) {
        const QByteArray path = database + suffix;
        struct stat side;
        if (::lstat(path.constData(), &side) != 0 || !S_ISREG(side.st_mode) ||
            side.st_uid != ::geteuid() || (side.st_mode & S_IWUSR) != 0)
            continue;
        ::chmod(path.constData(), db.st_mode & 0666);
    }
}

} // namespace

Result<Register> Register::open(const QString& folder, Mode mode, const StepProgress& progress)
{
    ShmReserve::install();
    // Bytes that are not UTF-8 reach us as U+FFFD: that names another folder,
    // which would be created or reported instead of the one meant.
    if (folder.contains(QChar::ReplacementCharacter) && !QFileInfo::exists(folder))
        return Error{QStringLiteral("登记库文件夹“%1”的名称含有无法识别的字符（不是 UTF-8 "
                                    "编码），无法使用。请给文件夹改名，或换一个文件夹。")
                         .arg(folder),
                     folder};
    if (PgTarget::isUrl(folder)) {
        Result<PgTarget> target = PgTarget::fromUrl(folder);
        if (!target)
            return target.error();
        return openServer(target.value(), target->storeFolder, mode);
    }
    if (std::optional<Result<PgTarget>> target =
            PgTarget::fromFolder(QFileInfo(folder).absoluteFilePath())) {
        if (!*target)
            return target->error();
        return openServer(target->value(), QFileInfo(folder).absoluteFilePath(), mode);
    }
    Register reg(QFileInfo(folder).absoluteFilePath());
    const QString dbPath = reg.databasePath();

    QString detail;
    const Schema::FileKind kind = Schema::inspect(dbPath, &detail);
    switch (kind) {
    case Schema::FileKind::QuorvelRegister:
        break;
    case Schema::FileKind::Missing:
    case Schema::FileKind::Empty:
        if (mode == Mode::MustExist) {
            return Error{QStringLiteral("在“%1”没有找到登记库。").arg(reg.m_folder), dbPath,
                         ErrorCode::NotFound};
        }
        if (!QDir().mkpath(reg.m_folder)) {
            return Error{QStringLiteral("无法创建登记库文件夹“%1”。").arg(reg.m_folder), QString()};
        }
        reg.m_created = true;
        break;
    default:
        return Schema::foreignError(dbPath, kind, detail);
    }

    QSqlDatabase db = reg.database();
    if (!db.isOpen()) {
        return Error{QStringLiteral("无法打开登记库“%1”。").arg(dbPath), db.lastError().text()};
    }
    // A quick read shows a damaged file now rather than in the middle of work.
    if (Result<QVariant> probe =
            Sql::scalar(db, QStringLiteral("SELECT count(*) FROM sqlite_master"));
        !probe) {
        reg.closeConnection();
        if (Sql::isBusy(probe.error()))
            return probe.error();
        if (probe.error().message.startsWith(QStringLiteral("磁盘已满")))
            return Error{Schema::describeForeign(dbPath, Schema::FileKind::DiskFull, QString()),
                         probe.error().detail};
        return Error{QStringLiteral("登记库“%1”已损坏或无法读取。").arg(dbPath),
                     probe.error().detail, ErrorCode::Damaged};
    }
    if (Status migrated = Schema::migrate(db, progress); !migrated) {
        reg.closeConnection();
        if (Sql::isBusy(migrated.error()))
            return migrated.error();
        return Error{QStringLiteral("无法准备登记库“%1”：%2").arg(dbPath, migrated.error().message),
                     migrated.error().detail};
    }
    QDir store(reg.storeFolder());
    if (!store.exists() && !QDir().mkpath(reg.storeFolder())) {
        return Error{QStringLiteral("无法创建存储文件夹“%1”。").arg(reg.storeFolder()), QString()};
    }
    return reg;
}

Result<Register> Register::openServer(PgTarget target, const QString& folder, Mode mode)
{
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        return Error{
            QStringLiteral("缺少 Qt 的 PostgreSQL 数据库驱动，无法打开数据库服务器上的登记库。"
                           "请安装 libqt6sql6-psql。"),
            QStringLiteral("QPSQL")};
    Register reg(folder);
    reg.m_server = std::make_shared<const PgTarget>(std::move(target));
    const QString shown = reg.m_server->shown();
    // The connection is closed on every failure, once nothing uses it.
    const auto prepare = [&]() -> Status {
        QSqlDatabase db = reg.database();
        if (!db.isOpen())
            return Error{QStringLiteral("无法连接数据库服务器上的登记库“%1”。").arg(shown),
                         db.lastError().text()};
        Result<PgSchema::State> state = PgSchema::inspect(db);
        if (!state)
            return state.error();
        if (*state == PgSchema::State::Foreign)
            return Error{QStringLiteral("数据库“%1”不是 Quorvel 登记库：其中已有其他表。为保护其"
                                        "内容，Quorvel 不会改动它。")
                             .arg(shown),
                         reg.databasePath(), ErrorCode::Foreign};
        if (*state == PgSchema::State::Empty) {
            if (mode == Mode::MustExist)
                return Error{QStringLiteral("在“%1”没有找到登记库。").arg(shown),
                             reg.databasePath(), ErrorCode::NotFound};
            reg.m_created = true;
        }
        if (Status migrated = PgSchema::migrate(db); !migrated) {
            if (Sql::isBusy(migrated.error()) || migrated.error().code == ErrorCode::Foreign)
                return migrated.error();
            return Error{
                QStringLiteral("无法准备登记库“%1”：%2").arg(shown, migrated.error().message),
                migrated.error().detail};
        }
        return {};
    };
    if (Status prepared = prepare(); !prepared) {
        reg.closeConnection();
        return prepared.error();
    }
    if (!QDir().mkpath(reg.storeFolder())) {
        return Error{QStringLiteral("无法创建存储文件夹“%1”。").arg(reg.storeFolder()), QString()};
    }
    return reg;
}

QString Register::databasePath() const
{
    if (m_server)
        return m_server->url();
    return QDir(m_folder).filePath(RegisterNames::databaseFile);
}

QString Register::storeFolder() const
{
    if (m_server)
        return m_server->storeFolder;
    return QDir(m_folder).filePath(RegisterNames::storeFolder);
}

bool Register::isPlainFileName(const QString& name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) &&
           !name.contains(QChar(0));
}

QString Register::storedCopyPath(const QString& storedName) const
{
    if (!isPlainFileName(storedName))
        return QString();
    return storeFolder() + QLatin1Char('/') + storedName;
}

QString Register::connectionName() const
{
    return QStringLiteral("quorvel:%1:%2")
        .arg(m_server ? m_server->url() : m_folder)
        .arg(reinterpret_cast<quintptr>(QThread::currentThread()));
}

std::unique_ptr<RecordStore> Register::records() const
{
    if (m_server)
        return std::make_unique<PgRecordStore>(*this);
    return std::make_unique<SqliteRecordStore>(*this);
}

QSqlDatabase Register::database() const
{
    const QString name = connectionName();
    if (QSqlDatabase::contains(name)) {
        QSqlDatabase existing = QSqlDatabase::database(name, false);
        // A server connection found broken is opened again here, unless a
        // write on it has to fail first.
        if (m_server)
            PgConnection::reopen(existing);
        else if (!existing.isOpen())
            existing.open();
        return existing;
    }
    if (m_server)
        return openServerConnection(name);
    ShmReserve::install();
    matchSidecarModes(databasePath());
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(databasePath());
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(Sql::busyTimeoutMs));
    if (db.open()) {
        QSqlQuery pragma(db);
        // WAL with FULL sync flushes the log at every commit: a record
        // reported as registered, changed or deleted stays so after a power
        // cut. (NORMAL would stay consistent but could lose the last commits
        // while their copies, flushed before, remain.) Intake commits in
        // groups, so this is one flush per group.
        pragma.exec(QStringLiteral("PRAGMA journal_mode = WAL"));
        pragma.exec(QStringLiteral("PRAGMA synchronous = FULL"));
        pragma.exec(QStringLiteral("PRAGMA foreign_keys = ON"));
    }
    return db;
}

QSqlDatabase Register::openServerConnection(const QString& name) const
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    db.setHostName(m_server->host);
    if (m_server->port != 0)
        db.setPort(m_server->port);
    db.setDatabaseName(m_server->database);
    db.setUserName(m_server->user);
    // Waiting for a lock as long as SQLite waits for a busy file, then
    // telling the person; notices of IF NOT EXISTS are no news. Set for the
    // session at connecting, so a connection opened again has them too.
    // A search of names held by a million records of ten keeps its list of
    // pages exact in 64 MB; in the server's default 4 MB the list turns
    // lossy, and each record on those pages is tested again through the
    // function of pieces, which takes a minute where reading takes seconds.
    // No parallel workers: each starts cold and maps the server's shared
    // buffers page by page again, which made the counts of name searches
    // at ten million records about three times slower on two cores; the
    // views read a page of keys at a time.
    db.setConnectOptions(
        QStringLiteral("connect_timeout=10;application_name=quorvel;"
                       "options='-c lock_timeout=%1 -c client_min_messages=warning "
                       "-c work_mem=64MB -c max_parallel_workers_per_gather=0'")
            .arg(Sql::busyTimeoutMs));
    db.open();
    return db;
}

void Register::closeConnection() const
{
    const QString name = connectionName();
    if (!QSqlDatabase::contains(name))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        PreparedStatements::forget(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}
