#include "store/sqlite/WorkingRegister.h"

#include "store/RegisterNames.h"
#include "store/sql/Sql.h"
#include "store/sqlite/Schema.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

namespace WorkingRegister {

namespace {

// One connection for one bulk write, with durability off until the caller
// flushes the file.
class Connection {
public:
    explicit Connection(const QString& path)
        : m_name(QStringLiteral("quorvel-convert:") + QUuid::createUuid().toString())
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery pragma(db);
            pragma.exec(QStringLiteral("PRAGMA journal_mode = OFF"));
            pragma.exec(QStringLiteral("PRAGMA synchronous = OFF"));
        }
    }
    ~Connection()
    {
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }
    QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }

private:
    QString m_name;
};

Status fill(const QSqlDatabase& db, const Content& content, const StepProgress& progress)
{
    QSqlDatabase writable = db;
    if (Status migrated = Schema::migrate(writable); !migrated)
        return migrated;
    Transaction transaction(db);
    if (!transaction.started())
        return transaction.startError();
    RecordWriter::Writer writer(db);
    const int steps = int(content.records.size());
    for (int i = 0; i < steps; ++i) {
        if (progress && i % 256 == 0)
            progress(i, steps);
        Result<qint64> rowid = writer.insert(content.records.at(i));
        if (!rowid)
            return rowid.error();
        if (!content.historyAction.isEmpty()) {
            if (Status logged = writer.recordHistory(*rowid, content.historyAction); !logged)
                return logged;
        }
        if (const std::optional<ContentHash::Digest>& digest = content.digests.at(i)) {
            if (Status hashed = writer.recordHash(*rowid, digest->size, digest->hash); !hashed)
                return hashed;
        }
    }
    for (int i = 0; i < content.slots.size(); ++i) {
        if (Status written = RecordWriter::writeSlot(db, i + 1, content.slots.at(i)); !written)
            return written;
    }
    return transaction.commit();
}

// The written database holds what was given, and SQLite finds it sound.
Status verify(const QSqlDatabase& db, const Content& content)
{
    Result<QVariant> check = Sql::scalar(db, QStringLiteral("PRAGMA quick_check"));
    Result<QVariant> count = Sql::scalar(
        db,
        QStringLiteral("SELECT count(*) FROM %1").arg(Sql::identifier(RegisterNames::recordTable)));
    if (!check || !count || check->toString() != QLatin1String("ok") ||
        count->toLongLong() != content.records.size())
        return Error{QStringLiteral("转换后的登记库未通过检查，旧登记库未被改动。"),
                     check ? check->toString() : check.error().detail, ErrorCode::Damaged};
    return {};
}

} // namespace

Status write(const QString& path, const Content& content, const StepProgress& progress)
{
    Connection connection(path);
    if (!connection.db().isOpen()) {
        return Error{QStringLiteral("无法在“%1”写入新登记库。").arg(QFileInfo(path).absolutePath()),
                     connection.db().lastError().text()};
    }
    if (Status written = fill(connection.db(), content, progress); !written)
        return written;
    return verify(connection.db(), content);
}

} // namespace WorkingRegister
