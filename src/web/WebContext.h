#pragma once

#include "accounts/Accounts.h"
#include "accounts/SignInThrottle.h"
#include "base/Result.h"
#include "store/Register.h"
#include "store/RegisterRecord.h"
#include "store/view/ViewCondition.h"
#include "web/Sessions.h"
#include "web/ViewKeys.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <httplib.h>

#include <atomic>
#include <mutex>
#include <optional>

// What the server was told at its start.
struct WebSettings {
    QString host = QStringLiteral("127.0.0.1");
    int port = 8080;
    qint64 maxUploadBytes = qint64(2) << 30;
    int idleMinutes = 30;
    int threads = 64;
    QString uploadFolder; // where uploads are written before they are registered
};

// What every request handler shares: the register, the sessions, the
// sign-in throttle and the views' keys already read. Handlers run on the
// server's worker threads at once; each thread uses its own connection.
class WebContext {
public:
    WebContext(Register reg, WebSettings settings);

    const Register reg;
    const WebSettings settings;
    Sessions sessions;
    SignInThrottle throttle;

    // The person behind a request: the account as stored now, its session.
    struct Visitor {
        Account account;
        QString token;
        QString formToken;
    };

    // The visitor when their role allows `needed`; for a request that
    // changes something (`changes`), also only with the session's form token.
    // Otherwise the response is set (sign-in page, or refusal) and nullopt.
    std::optional<Visitor> allow(const httplib::Request& request, httplib::Response& response,
                                 Role needed, bool changes = false);

    // The record the number in the request's path names; nullopt after a
    // page that says why not.
    std::optional<RegisterRecord> namedRecord(const httplib::Request& request,
                                              httplib::Response& response, const Visitor& visitor);

    // A page in the frame, with the navigation for `visitor` (none when null).
    // `again`: the page is read again after a moment (its view is still being read).
    void sendPage(httplib::Response& response, const QString& title, const Visitor* visitor,
                  const QString& body, int status = 200, bool again = false);
    void sendFailure(httplib::Response& response, const Visitor* visitor, int status,
                     const QString& message);
    // Back to `target` (a path of ours), after a change: `message` is shown there.
    void sendBack(httplib::Response& response, const QString& target,
                  const Visitor* visitor = nullptr, const QString& message = {},
                  bool failed = false);
    // The message a change left for this page, as a notice (or nothing).
    QString takeNotice(const Visitor& visitor);

    // The keys of a view in view order, read again only after a change: all
    // of them, or (`needed` > 0) as soon as the first `needed` are there.
    Result<ViewKeys::Keys> viewKeys(const ViewCondition& condition, int needed = 0)
    {
        return m_viewKeys.get(condition, m_generation.load(), needed);
    }
    // Every view, folder list and query name read before now is out of date.
    void changed() { ++m_generation; }

    // The folders and the saved queries' names for the navigation bar.
    struct Menus {
        QStringList folders;
        QStringList queryNames; // slot order
    };
    Menus menus();

    static QString parameter(const httplib::Request& request, const char* name);
    static QString cookie(const httplib::Request& request, const char* name);
    static const char* const sessionCookie;

private:
    QString navigation(const Visitor& visitor);

    std::atomic<quint64> m_generation{1};
    ViewKeys m_viewKeys;
    std::mutex m_mutex;
    quint64 m_menusGeneration = 0;
    Menus m_menus;
};
