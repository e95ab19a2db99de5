#pragma once

#include "store/Register.h"
#include "store/SeenRecord.h"

#include <QTemporaryDir>
#include <QVariantList>

// A register in a temporary folder that disappears with the test. A
// PostgreSQL one gets a fresh database of the program's test server (see
// PgCluster; callers skip when it is not available) and its store folder
// in the temporary folder.
class TempRegister {
public:
    explicit TempRegister(Register::Kind kind = Register::Kind::Sqlite);
    ~TempRegister();

    const Register& reg() const { return *m_register; }
    QString folder() const { return m_dir.path(); }
    // What names the register to a program: its folder, or its server URL.
    QString location() const { return m_location; }

    // Inserts a record directly (with a stored copy holding `content` when
    // given) and returns its rowid. Dates are ISO text.
    qint64 addRecord(qint64 serial, const QString& fileName, const QString& recipient = {},
                     const QString& folder = {}, const QString& date = QStringLiteral("2020-01-02"),
                     const QString& remark = {}, const QString& method = {},
                     const QByteArray& content = {});

    // The record `rowid` as a window or a command would have seen it now.
    SeenRecord seen(qint64 rowid) const;

    // Serials of the record table in view order.
    QList<qint64> serials() const;

    // Runs a statement as written, unprepared: a server prepares no table
    // changes (DROP, ALTER).
    Status execute(const QString& sql) const;

    // The column that names a record in statements: rowid, or the server's identity.
    static QString identityColumn(const Register& reg);
    QString identityColumn() const { return identityColumn(*m_register); }

private:
    QTemporaryDir m_dir;
    QString m_location;
    std::optional<Register> m_register;
};
