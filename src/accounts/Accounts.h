#pragma once

#include "base/Result.h"
#include "store/Register.h"

#include <QList>
#include <QString>

#include <optional>

// What an account may do: 查看 reads and downloads, 登记 also registers,
// modifies and moves records, 管理 also deletes, restores, purges and
// manages accounts. Each role allows everything of the ones below it.
enum class Role { Viewer, Registrar, Administrator };

// 查看, 登记, 管理: how roles are stored, typed and shown.
QString roleText(Role role);
std::optional<Role> roleFromText(const QString& text);
bool roleAllows(Role held, Role needed);

struct Account {
    QString name;
    Role role = Role::Viewer;
    QString created; // "yyyy-MM-dd HH:mm:ss", local time
};

// The accounts of people who sign in to a register from a browser. They live
// in the register itself, so every program on it sees the same ones; a
// password is kept only as its memory-hard hash (Argon2id).
class Accounts {
public:
    explicit Accounts(Register reg);

    Result<void> add(const QString& name, const QString& password, Role role);
    Result<QList<Account>> list() const;
    Result<void> setPassword(const QString& name, const QString& password);
    // Refused when it would leave no account with 管理.
    Result<void> setRole(const QString& name, Role role);
    // Refused for the last account with 管理.
    Result<void> remove(const QString& name);
    // The account when name and password match; otherwise one error whose
    // text does not tell a missing account from a wrong password, after as
    // much work (a hash of a stand-in is checked for a missing account).
    Result<Account> verify(const QString& name, const QString& password) const;
    // The account as stored now (role changes and removals take effect at once).
    Result<Account> find(const QString& name) const;

    // Why `name` cannot name an account (empty, longer than 64 characters,
    // or holding a control character), or an empty text when it can.
    static QString nameProblem(const QString& name);
    static constexpr int maxNameLength = 64;
    // The text of every failed sign-in.
    static QString signInRefused();

private:
    Register m_register;
};
