#pragma once

#include "base/Result.h"

#include <QList>
#include <QSqlDatabase>
#include <QStringList>

#include <optional>

// The accounts of people who sign in to the register from elsewhere than
// this machine's programs, as SQL on one connection of either kind. The
// table holds only what the accounts layer hands it: a name, the password's
// stored hash, a role's text and when the account was made. Rules (who may
// be removed, what a password must be) are the caller's.
namespace AccountTable {

inline const QString table = QStringLiteral("账户");
inline const QString nameColumn = QStringLiteral("账户名");
inline const QString hashColumn = QStringLiteral("口令散列");
inline const QString roleColumn = QStringLiteral("角色");
inline const QString createdColumn = QStringLiteral("创建时间");

struct Row {
    QString name;
    QString hash;
    QString role;
    QString created;
};

// The table, made only when missing; the same text on SQLite and a server.
QStringList createStatements();

// A new account; an error when the name is taken.
Status insert(const QSqlDatabase& db, const Row& row);
// Every account, by name.
Result<QList<Row>> all(const QSqlDatabase& db);
// The account `name`, or none.
Result<std::optional<Row>> find(const QSqlDatabase& db, const QString& name);
// Each an error with ErrorCode::NotFound when there is no account `name`.
Status setHash(const QSqlDatabase& db, const QString& name, const QString& hash);
Status setRole(const QSqlDatabase& db, const QString& name, const QString& role);
Status remove(const QSqlDatabase& db, const QString& name);
// How many accounts hold `role`.
Result<qint64> countWithRole(const QSqlDatabase& db, const QString& role);

// The text of a missing account's error.
QString missingText(const QString& name);

} // namespace AccountTable
