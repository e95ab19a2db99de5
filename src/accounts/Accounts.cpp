#include "accounts/Accounts.h"

#include "store/Audit.h"
#include "store/sql/AccountTable.h"
#include "store/sql/Sql.h"

#include <sodium.h>

#include <QByteArray>

namespace {

const QString viewerText = QStringLiteral("查看");
const QString registrarText = QStringLiteral("登记");
const QString administratorText = QStringLiteral("管理");

bool sodiumReady()
{
    static const bool ready = sodium_init() >= 0;
    return ready;
}

Error noSodium()
{
    return Error{QStringLiteral("无法使用口令散列库。"), QStringLiteral("sodium_init")};
}

Result<QString> hashOf(const QString& password)
{
    if (!sodiumReady())
        return noSodium();
    const QByteArray bytes = password.toUtf8();
    char hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(hash, bytes.constData(), quint64(bytes.size()),
                          crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        return Error{QStringLiteral("内存不足，无法计算口令散列。"),
                     QStringLiteral("crypto_pwhash_str")};
    return QString::fromLatin1(hash);
}

bool matches(const QString& hash, const QString& password)
{
    const QByteArray stored = hash.toLatin1();
    const QByteArray bytes = password.toUtf8();
    return crypto_pwhash_str_verify(stored.constData(), bytes.constData(), quint64(bytes.size())) ==
           0;
}

// What a missing account's sign-in checks instead, made once with the same
// parameters as real hashes so that it takes as long.
const QString& standIn()
{
    static const QString hash = [] {
        unsigned char random[16];
        randombytes_buf(random, sizeof random);
        Result<QString> made = hashOf(QString::fromLatin1(
            QByteArray(reinterpret_cast<const char*>(random), sizeof random).toBase64()));
        return made ? *made : QString();
    }();
    return hash;
}

Status passwordAllowed(const QString& password)
{
    if (password.isEmpty())
        return Error{QStringLiteral("口令不能为空。"), QString()};
    return {};
}

Result<Account> accountOf(const AccountTable::Row& row)
{
    std::optional<Role> role = roleFromText(row.role);
    if (!role)
        return Error{QStringLiteral("账户“%1”的角色“%2”无法识别。").arg(row.name, row.role),
                     QString()};
    return Account{row.name, *role, row.created};
}

// Whether the change leaves some account with 管理 (the register must never
// lose its last one); run inside the change's transaction.
Status keepsAnAdministrator(const QSqlDatabase& db, const AccountTable::Row& row,
                            const QString& refusal)
{
    if (row.role != administratorText)
        return {};
    Result<qint64> administrators = AccountTable::countWithRole(db, administratorText);
    if (!administrators)
        return administrators.error();
    if (*administrators <= 1)
        return Error{refusal, QString()};
    return {};
}

// The stored row of `name` inside a transaction, or why not.
Result<AccountTable::Row> existing(const QSqlDatabase& db, const QString& name)
{
    Result<std::optional<AccountTable::Row>> row = AccountTable::find(db, name);
    if (!row)
        return row.error();
    if (!row->has_value())
        return Error{AccountTable::missingText(name), QString(), ErrorCode::NotFound};
    return **row;
}

} // namespace

QString roleText(Role role)
{
    switch (role) {
    case Role::Viewer:
        return viewerText;
    case Role::Registrar:
        return registrarText;
    case Role::Administrator:
        return administratorText;
    }
    return viewerText;
}

std::optional<Role> roleFromText(const QString& text)
{
    for (Role role : {Role::Viewer, Role::Registrar, Role::Administrator}) {
        if (roleText(role) == text)
            return role;
    }
    return std::nullopt;
}

bool roleAllows(Role held, Role needed)
{
    return int(held) >= int(needed);
}

Accounts::Accounts(Register reg) : m_register(std::move(reg)) {}

QString Accounts::signInRefused()
{
    return QStringLiteral("账户名或口令不对。");
}

QString Accounts::nameProblem(const QString& name)
{
    if (name.trimmed().isEmpty())
        return QStringLiteral("账户名不能为空。");
    const QList<uint> characters = name.toUcs4();
    if (characters.size() > maxNameLength)
        return QStringLiteral("账户名不能超过 %1 个字符。").arg(maxNameLength);
    for (const uint c : characters) {
        if (QChar::category(char32_t(c)) == QChar::Other_Control)
            return QStringLiteral("账户名不能含控制字符。");
    }
    return {};
}

Result<void> Accounts::add(const QString& name, const QString& password, Role role)
{
    if (const QString problem = nameProblem(name); !problem.isEmpty())
        return Error{problem, QString()};
    if (Status allowed = passwordAllowed(password); !allowed)
        return allowed;
    // Hashing takes a while and much memory: not while holding the register.
    Result<QString> hash = hashOf(password);
    if (!hash)
        return hash.error();
    QSqlDatabase db = m_register.database();
    Transaction transaction(db);
    if (!transaction.started())
        return transaction.startError();
    if (Status inserted = AccountTable::insert(db, {name, *hash, roleText(role), Audit::now()});
        !inserted)
        return inserted;
    return transaction.commit();
}

Result<QList<Account>> Accounts::list() const
{
    Result<QList<AccountTable::Row>> rows = AccountTable::all(m_register.database());
    if (!rows)
        return rows.error();
    QList<Account> accounts;
    for (const AccountTable::Row& row : *rows) {
        Result<Account> account = accountOf(row);
        if (!account)
            return account.error();
        accounts << *account;
    }
    return accounts;
}

Result<void> Accounts::setPassword(const QString& name, const QString& password)
{
    if (Status allowed = passwordAllowed(password); !allowed)
        return allowed;
    Result<QString> hash = hashOf(password);
    if (!hash)
        return hash.error();
    return AccountTable::setHash(m_register.database(), name, *hash);
}

Result<void> Accounts::setRole(const QString& name, Role role)
{
    QSqlDatabase db = m_register.database();
    Transaction transaction(db);
    if (!transaction.started())
        return transaction.startError();
    Result<AccountTable::Row> row = existing(db, name);
    if (!row)
        return row.error();
    if (role != Role::Administrator) {
        if (Status kept = keepsAnAdministrator(
                db, *row,
                QStringLiteral("“%1”是最后一个有管理权限的账户，不能改为其他角色；"
                               "请先让另一个账户成为管理。")
                    .arg(name));
            !kept)
            return kept;
    }
    if (Status changed = AccountTable::setRole(db, name, roleText(role)); !changed)
        return changed;
    return transaction.commit();
}

Result<void> Accounts::remove(const QString& name)
{
    QSqlDatabase db = m_register.database();
    Transaction transaction(db);
    if (!transaction.started())
        return transaction.startError();
    Result<AccountTable::Row> row = existing(db, name);
    if (!row)
        return row.error();
    if (Status kept =
            keepsAnAdministrator(db, *row,
                                 QStringLiteral("“%1”是最后一个有管理权限的账户，不能删除；"
                                                "请先让另一个账户成为管理。")
                                     .arg(name));
        !kept)
        return kept;
    if (Status removed = AccountTable::remove(db, name); !removed)
        return removed;
    return transaction.commit();
}

Result<Account> Accounts::verify(const QString& name, const QString& password) const
{
    if (!sodiumReady())
        return noSodium();
    Result<std::optional<AccountTable::Row>> row = AccountTable::find(m_register.database(), name);
    if (!row)
        return row.error();
    const bool found = row->has_value();
    // The same work whether or not the account exists.
    const bool right = matches(found ? (*row)->hash : standIn(), password);
    if (!found || !right || password.isEmpty())
        return Error{signInRefused(), QString()};
    return accountOf(**row);
}

Result<Account> Accounts::find(const QString& name) const
{
    Result<std::optional<AccountTable::Row>> row = AccountTable::find(m_register.database(), name);
    if (!row)
        return row.error();
    if (!row->has_value())
        return Error{AccountTable::missingText(name), QString(), ErrorCode::NotFound};
    return accountOf(**row);
}
