#include "web/Sessions.h"

#include <QByteArray>

#include <utility>

#include <sodium.h>

QString Sessions::open(const QString& account)
{
    const QString token = randomToken();
    const std::lock_guard lock(m_mutex);
    // Expired sessions go as new ones come, so the table cannot grow without end.
    const Clock::time_point now = Clock::now();
    for (auto it = m_sessions.begin(); it != m_sessions.end();) {
        if (now - it->lastSeen > m_idle)
            it = m_sessions.erase(it);
        else
            ++it;
    }
    m_sessions.insert(token, Session{account, randomToken(), now, {}, false});
    return token;
}

std::optional<Sessions::Session> Sessions::touch(const QString& token)
{
    if (token.isEmpty())
        return std::nullopt;
    const std::lock_guard lock(m_mutex);
    const auto it = m_sessions.find(token);
    if (it == m_sessions.end())
        return std::nullopt;
    const Clock::time_point now = Clock::now();
    if (now - it->lastSeen > m_idle) {
        m_sessions.erase(it);
        return std::nullopt;
    }
    it->lastSeen = now;
    return *it;
}

void Sessions::close(const QString& token)
{
    const std::lock_guard lock(m_mutex);
    m_sessions.remove(token);
}

void Sessions::say(const QString& token, const QString& message, bool failed)
{
    const std::lock_guard lock(m_mutex);
    const auto it = m_sessions.find(token);
    if (it != m_sessions.end()) {
        it->message = message;
        it->failed = failed;
    }
}

std::pair<QString, bool> Sessions::takeMessage(const QString& token)
{
    const std::lock_guard lock(m_mutex);
    const auto it = m_sessions.find(token);
    if (it == m_sessions.end())
        return {};
    return {std::exchange(it->message, QString()), it->failed};
}

void Sessions::closeAll(const QString& account)
{
    const std::lock_guard lock(m_mutex);
    for (auto it = m_sessions.begin(); it != m_sessions.end();) {
        if (it->account == account)
            it = m_sessions.erase(it);
        else
            ++it;
    }
}

QString Sessions::randomToken()
{
    QByteArray bytes(32, Qt::Uninitialized);
    randombytes_buf(bytes.data(), static_cast<size_t>(bytes.size()));
    return QString::fromLatin1(bytes.toHex());
}

bool Sessions::sameToken(const QString& a, const QString& b)
{
    const QByteArray left = a.toLatin1();
    const QByteArray right = b.toLatin1();
    if (left.size() != right.size() || left.isEmpty())
        return false;
    return sodium_memcmp(left.constData(), right.constData(), static_cast<size_t>(left.size())) ==
           0;
}
