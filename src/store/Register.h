#pragma once

#include "base/Result.h"
#include "base/StepProgress.h"
#include "store/pg/PgTarget.h"

#include <QSqlDatabase>
#include <QString>

#include <memory>

class RecordStore;

// One register: its folder, its database and its store folder. A cheap value;
// each thread that uses it gets its own database connection. The database is
// an SQLite file in the folder, or a database on a PostgreSQL server whose
// copies lie in a shared store folder.
class Register {
public:
    enum class Mode { CreateIfMissing, MustExist };
    enum class Kind { Sqlite, Postgres };

    // Opens the register in `folder`, creating it when missing (and allowed).
    // Never overwrites a file that is not a Quorvel register. A register of
    // an older version is brought up to date first; on a large one that
    // takes a while, and `progress` hears of its steps.
    // `folder` may instead be a postgresql:// URL (PgTarget), and a folder
    // holding quorvel.ini names a register on a server.
    static Result<Register> open(const QString& folder, Mode mode = Mode::CreateIfMissing,
                                 const StepProgress& progress = {});

    Kind kind() const { return m_server ? Kind::Postgres : Kind::Sqlite; }
    // The server, for a register kept on one.
    const PgTarget* server() const { return m_server.get(); }

    // The register folder; for one named by a URL, its store folder.
    QString folder() const { return m_folder; }
    // The SQLite file, or the server database's URL.
    QString databasePath() const;
    QString storeFolder() const;

    // The stored copy of a record, or an empty text when `storedName` is not
    // a plain file name (a damaged or hostile register must not lead us
    // outside the store folder).
    QString storedCopyPath(const QString& storedName) const;
    static bool isPlainFileName(const QString& name);

    // The register's records, through this thread's connection.
    std::unique_ptr<RecordStore> records() const;

    // This thread's connection, opened on first use. For the store's own
    // implementation (and tests that shape a register by hand).
    QSqlDatabase database() const;

    // Closes this thread's connection (for tests and before deleting files).
    void closeConnection() const;

    // Whether the register database was created by this open.
    bool wasCreated() const { return m_created; }

private:
    explicit Register(QString folder) : m_folder(std::move(folder)) {}
    static Result<Register> openServer(PgTarget target, const QString& folder, Mode mode);
    QString connectionName() const;
    QSqlDatabase openServerConnection(const QString& name) const;

    QString m_folder;
    std::shared_ptr<const PgTarget> m_server;
    bool m_created = false;
};
