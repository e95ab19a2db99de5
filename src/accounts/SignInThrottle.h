#pragma once

#include <QHash>
#include <QString>

#include <chrono>
#include <functional>
#include <mutex>

// Slows guessing of passwords: after a few failed sign-ins for one account
// name, or from one address, each further try must wait, twice as long after
// each failure up to a limit. Failures are forgotten a while after the last
// one. Names and addresses are counted apart, so guessing one account from
// many addresses, or many accounts from one address, is slowed either way.
// Safe to use from several threads at once.
class SignInThrottle {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    struct Policy {
        int freeByName = 3;     // failures for a name before it must wait
        int freeByAddress = 10; // an office may share one address
        std::chrono::milliseconds firstWait{1000};
        std::chrono::milliseconds longestWait{std::chrono::minutes(5)};
        std::chrono::milliseconds forgetAfter{std::chrono::minutes(15)};
    };

    SignInThrottle();
    // `clock` defaults to the steady clock; tests give their own.
    explicit SignInThrottle(Policy policy, Clock clock = {});

    // How long a sign-in for `name` from `address` must still wait (0 = may try now).
    std::chrono::milliseconds waitFor(const QString& name, const QString& address) const;
    void failed(const QString& name, const QString& address);
    // Clears the failures of `name`; those of the address fade with time,
    // so one's own account cannot wipe out guesses at another's.
    void succeeded(const QString& name, const QString& address);

private:
    struct Failures {
        int count = 0;
        std::chrono::steady_clock::time_point last;
    };
    using Table = QHash<QString, Failures>;

    std::chrono::milliseconds waitOf(const Table& table, const QString& key, int free,
                                     std::chrono::steady_clock::time_point now) const;
    void count(Table& table, const QString& key, std::chrono::steady_clock::time_point now);

    Policy m_policy;
    Clock m_clock;
    mutable std::mutex m_mutex;
    Table m_byName;
    Table m_byAddress;
};
