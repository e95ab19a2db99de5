#pragma once

#include <QHash>
#include <QString>

#include <chrono>
#include <mutex>
#include <optional>
#include <utility>

// Who is signed in: a random token per sign-in, kept only in this process
// (a restart signs everyone out), forgotten after `idle` without a request.
class Sessions {
public:
    using Clock = std::chrono::steady_clock;

    struct Session {
        QString account;
        QString formToken; // every form that changes something carries it
        Clock::time_point lastSeen;
        QString message; // said once on the next page: what the last change did
        bool failed = false;
    };

    explicit Sessions(std::chrono::minutes idle) : m_idle(idle) {}

    // A new session for `account`; its token.
    QString open(const QString& account);
    // The session of `token`, its idle time restarted; nullopt when unknown or expired.
    std::optional<Session> touch(const QString& token);
    void close(const QString& token);
    // A message for the session's next page, and taking it from there.
    void say(const QString& token, const QString& message, bool failed);
    // The message and whether it tells of a failure.
    std::pair<QString, bool> takeMessage(const QString& token);
    // Every session of `account` (removed, or its password changed).
    void closeAll(const QString& account);

    // 32 random bytes as hex, from the system's generator.
    static QString randomToken();
    // Compares two tokens in a time that does not depend on where they differ.
    static bool sameToken(const QString& a, const QString& b);

private:
    std::chrono::minutes m_idle;
    std::mutex m_mutex;
    QHash<QString, Session> m_sessions;
};
