#include "accounts/Accounts.h"
#include "accounts/SignInThrottle.h"
#include "store/sql/AccountTable.h"
#include "store/sql/Sql.h"
#include "store/sqlite/Schema.h"
#include "support/PgCluster.h"
#include "support/RegisterKinds.h"
#include "support/TempRegister.h"

#include <QElapsedTimer>
#include <QTest>

#include <thread>

using namespace std::chrono_literals;

namespace {

// One step on the accounts: "add:ROLE", "passwd", "role:ROLE", "remove",
// "verify" (argument: the password; ok only with the right one) or "find".
struct Step {
    const char* action;
    QString name;
    QString argument;
    bool ok;
};

Result<void> perform(Accounts& accounts, const Step& step)
{
    const QString action = QString::fromUtf8(step.action);
    const QString verb = action.section(QLatin1Char(':'), 0, 0);
    const std::optional<Role> role = roleFromText(action.section(QLatin1Char(':'), 1));
    if (verb == QLatin1String("add"))
        return accounts.add(step.name, step.argument, *role);
    if (verb == QLatin1String("passwd"))
        return accounts.setPassword(step.name, step.argument);
    if (verb == QLatin1String("role"))
        return accounts.setRole(step.name, *role);
    if (verb == QLatin1String("remove"))
        return accounts.remove(step.name);
    Result<Account> account = verb == QLatin1String("verify")
                                  ? accounts.verify(step.name, step.argument)
                                  : accounts.find(step.name);
    if (!account)
        return account.error();
    if (account->name != step.name)
        return Error{QStringLiteral("wrong account ") + account->name, QString()};
    return {};
}

// The shortest of a few runs of `work`, in milliseconds: waiting for a busy
// machine only ever adds.
qint64 fastest(const std::function<void()>& work)
{
    qint64 best = std::numeric_limits<qint64>::max();
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer timer;
        timer.start();
        work();
        best = std::min(best, timer.nsecsElapsed() / 1000000);
    }
    return best;
}

} // namespace

class TestAccounts : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void rolesAllowWhatIsBelowThem()
    {
        const QList<Role> roles = {Role::Viewer, Role::Registrar, Role::Administrator};
        for (const Role held : roles) {
            QCOMPARE(roleFromText(roleText(held)), held);
            for (const Role needed : roles)
                QCOMPARE(roleAllows(held, needed), roles.indexOf(held) >= roles.indexOf(needed));
        }
        QCOMPARE(roleText(Role::Administrator), QStringLiteral("管理"));
        QVERIFY(!roleFromText(QStringLiteral("admin")));
        QVERIFY(!roleFromText(QString()));
    }

    void accountsKeepTheirRules_data() { kinds(); }
    void accountsKeepTheirRules()
    {
        QFETCH(bool, server);
        NEED_KIND(server);
        TempRegister temp(server ? Register::Kind::Postgres : Register::Kind::Sqlite);
        Accounts accounts(temp.reg());
        const QString longest(Accounts::maxNameLength, QChar(0x767B));
        const QString hostile = QStringLiteral("o'; DROP TABLE 账户;--");
        // Not made of the hash's letters, so the hash cannot hold it by chance.
        const QString newPassword = QStringLiteral("新口令 new");
        const QList<Step> steps = {
            {"add:管理", QStringLiteral("anna"), QStringLiteral("甲 pass"), true},
            {"add:查看", QStringLiteral("anna"), QStringLiteral("other"), false},
            {"add:查看", QString(), QStringLiteral("x"), false},
            {"add:查看", QStringLiteral("  "), QStringLiteral("x"), false},
            {"add:查看", longest + QLatin1Char('x'), QStringLiteral("x"), false},
            {"add:查看", QStringLiteral("a\nb"), QStringLiteral("x"), false},
            {"add:查看", QStringLiteral("a\tb"), QStringLiteral("x"), false},
            {"add:查看", QStringLiteral("bob"), QString(), false},
            {"add:查看", longest, QStringLiteral("x"), true},
            {"add:登记", hostile, QStringLiteral("'--"), true},
            {"verify", hostile, QStringLiteral("'--"), true},
            {"verify", QStringLiteral("anna"), QStringLiteral("甲 pass"), true},
            {"verify", QStringLiteral("anna"), QStringLiteral("甲 pas"), false},
            {"verify", QStringLiteral("anna"), QString(), false},
            {"verify", QStringLiteral("Anna"), QStringLiteral("甲 pass"), false},
            {"verify", QStringLiteral("nobody"), QStringLiteral("甲 pass"), false},
            // The last administrator stays one.
            {"role:登记", QStringLiteral("anna"), {}, false},
            {"remove", QStringLiteral("anna"), {}, false},
            {"role:管理", hostile, {}, true},
            {"role:查看", QStringLiteral("anna"), {}, true},
            {"remove", hostile, {}, false},
            {"role:管理", QStringLiteral("nobody"), {}, false},
            {"remove", QStringLiteral("nobody"), {}, false},
            {"passwd", QStringLiteral("nobody"), QStringLiteral("x"), false},
            {"passwd", QStringLiteral("anna"), QString(), false},
            {"passwd", QStringLiteral("anna"), newPassword, true},
            {"verify", QStringLiteral("anna"), QStringLiteral("甲 pass"), false},
            {"verify", QStringLiteral("anna"), newPassword, true},
            {"remove", longest, {}, true},
            {"find", longest, {}, false},
            {"find", QStringLiteral("anna"), {}, true},
        };
        for (const Step& step : steps) {
            const Result<void> done = perform(accounts, step);
            const QString what = QStringLiteral("%1 %2: %3")
                                     .arg(QString::fromUtf8(step.action), step.name,
                                          done ? QString() : done.error().message);
            QVERIFY2(done.ok() == step.ok, qPrintable(what));
            // A failed sign-in never tells which part was wrong.
            if (!step.ok && QLatin1String(step.action) == QLatin1String("verify"))
                QCOMPARE(done.error().message, Accounts::signInRefused());
        }
        Result<QList<Account>> listed = accounts.list();
        QVERIFY(listed);
        QStringList seen;
        for (const Account& account : *listed) {
            seen << account.name + QLatin1Char(':') + roleText(account.role);
            QVERIFY(!account.created.isEmpty());
        }
        QCOMPARE(seen,
                 QStringList({QStringLiteral("anna:查看"), hostile + QStringLiteral(":管理")}));
        QCOMPARE(accounts.find(QStringLiteral("nobody")).error().code, ErrorCode::NotFound);

        // Only a memory-hard hash is kept, never the password.
        Result<std::optional<AccountTable::Row>> row =
            AccountTable::find(temp.reg().database(), QStringLiteral("anna"));
        QVERIFY(row && row->has_value());
        QVERIFY((*row)->hash.startsWith(QStringLiteral("$argon2id$")));
        QVERIFY(!(*row)->hash.contains(newPassword));

        // A missing account costs a hash too, so the time tells nothing.
        const qint64 wrong = fastest(
            [&] { QVERIFY(!accounts.verify(QStringLiteral("anna"), QStringLiteral("guess"))); });
        const qint64 missing = fastest(
            [&] { QVERIFY(!accounts.verify(QStringLiteral("nobody"), QStringLiteral("guess"))); });
        QVERIFY2(missing * 4 >= wrong,
                 qPrintable(QStringLiteral("%1 / %2 ms").arg(missing).arg(wrong)));
        temp.reg().closeConnection();
    }

    // A register of the version before accounts gains their table when opened.
    void olderRegisterGainsAccounts()
    {
        TempRegister temp;
        const QSqlDatabase db = temp.reg().database();
        QVERIFY(Sql::run(
            db, QStringLiteral("DROP TABLE %1").arg(Sql::identifier(AccountTable::table))));
        QVERIFY(Sql::run(db, QStringLiteral("PRAGMA user_version = 7")));
        temp.reg().closeConnection();
        Result<Register> reopened = Register::open(temp.folder(), Register::Mode::MustExist);
        QVERIFY(reopened);
        QVERIFY(
            Accounts(*reopened).add(QStringLiteral("anna"), QStringLiteral("pw"), Role::Viewer));
        QCOMPARE(Sql::scalar(reopened->database(), QStringLiteral("PRAGMA user_version"))->toInt(),
                 Schema::currentVersion);
        reopened->closeConnection();
    }

    void failuresSlowSignIns()
    {
        auto now = std::chrono::steady_clock::time_point();
        SignInThrottle::Policy policy;
        policy.freeByName = 2;
        policy.freeByAddress = 3;
        policy.firstWait = 1s;
        policy.longestWait = 8s;
        policy.forgetAfter = 60s;
        SignInThrottle throttle(policy, [&] { return now; });
        const QString a = QStringLiteral("anna");
        const QString b = QStringLiteral("bob");
        const QString here = QStringLiteral("10.0.0.1");
        const QString there = QStringLiteral("10.0.0.2");
        // Each: fail (name, address), or "" to only wait `advance`; then the
        // wait expected for each of (anna, here), (bob, here), (anna, there).
        struct Event {
            QString name;
            QString address;
            std::chrono::milliseconds advance;
            QList<qint64> waits;
        };
        const QList<Event> events = {
            {a, here, 0ms, {0, 0, 0}},
            {a, here, 0ms, {0, 0, 0}},
            {a, here, 0ms, {1000, 0, 1000}},
            {a, there, 0ms, {2000, 0, 2000}},
            {{}, {}, 500ms, {1500, 0, 1500}},
            // The address, shared with bob, runs out of free tries too.
            {b, here, 0ms, {1500, 1000, 1500}},
            {a, there, 0ms, {4000, 1000, 4000}},
            {a, there, 0ms, {8000, 1000, 8000}},
            {a, there, 0ms, {8000, 1000, 8000}},
            {{}, {}, 8s, {0, 0, 0}},
            {a, here, 0ms, {8000, 2000, 8000}},
            // A minute without failures forgets them.
            {{}, {}, 60s, {0, 0, 0}},
            {a, there, 0ms, {0, 0, 0}},
        };
        for (const Event& event : events) {
            now += event.advance;
            if (!event.name.isEmpty())
                throttle.failed(event.name, event.address);
            const QList<qint64> waits = {throttle.waitFor(a, here).count(),
                                         throttle.waitFor(b, here).count(),
                                         throttle.waitFor(a, there).count()};
            QCOMPARE(waits, event.waits);
        }
        // Success clears the name, not the address.
        for (int i = 0; i < 5; ++i)
            throttle.failed(a, here);
        throttle.succeeded(a, here);
        QCOMPARE(throttle.waitFor(a, there).count(), 0);
        QCOMPARE(throttle.waitFor(b, here).count(), 2000);

        // Failures counted from many threads at once are none of them lost.
        policy.freeByName = 1000;
        policy.freeByAddress = 1000;
        SignInThrottle shared(policy, [&] { return now; });
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&] {
                for (int i = 0; i < 250; ++i) {
                    shared.failed(a, here);
                    (void)shared.waitFor(a, here);
                }
            });
        }
        for (std::thread& thread : threads)
            thread.join();
        QCOMPARE(shared.waitFor(a, here).count(), 0);
        shared.failed(a, there);
        QCOMPARE(shared.waitFor(a, there).count(), 1000);
    }
};

QTEST_GUILESS_MAIN(TestAccounts)
#include "test_accounts.moc"
