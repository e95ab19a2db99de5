#include "web/Html.h"
#include "web/WebRoutes.h"

#include <chrono>
#include <semaphore>

namespace {

// The address a sign-in came from. Behind nginx on this machine every request
// comes from the loopback address, and nginx says whose it is.
QString senderAddress(const httplib::Request& request)
{
    const QString peer = QString::fromStdString(request.remote_addr);
    const QString forwarded = QString::fromStdString(request.get_header_value("X-Real-IP"));
    const bool local = peer == QLatin1String("127.0.0.1") || peer == QLatin1String("::1");
    return local && !forwarded.isEmpty() ? forwarded : peer;
}

QString signInForm(const QString& name, const QString& message)
{
    return QStringLiteral("<form class=\"signin\" method=\"post\" action=\"/signin\">"
                          "<h1>Quorvel 登录</h1>%1"
                          "<label>账户名<input type=\"text\" name=\"name\" id=\"name\" "
                          "value=\"%2\" autocomplete=\"username\" autofocus></label>"
                          "<label>口令<input type=\"password\" name=\"password\" id=\"password\" "
                          "autocomplete=\"current-password\"></label>"
                          "<button id=\"signin\">登录</button></form>")
        .arg(message.isEmpty() ? QString() : Html::notice(message, true), Html::escape(name));
}

void signIn(WebContext& context, const httplib::Request& request, httplib::Response& response)
{
    const QString name = WebContext::parameter(request, "name");
    const QString password = WebContext::parameter(request, "password");
    const QString address = senderAddress(request);
    // The same answers whether or not the account exists: nothing tells a
    // guesser which names are taken.
    const auto wait = context.throttle.waitFor(name, address);
    if (wait.count() > 0) {
        const auto seconds = std::chrono::ceil<std::chrono::seconds>(wait).count();
        response.set_header("Retry-After", std::to_string(seconds));
        return context.sendPage(
            response, QStringLiteral("登录"), nullptr,
            signInForm(name, QStringLiteral("登录失败次数过多，请 %1 秒后再试。").arg(seconds)),
            429);
    }
    // Each check of a password takes 64 MiB for a moment: a few at a time, so a
    // flood of sign-ins cannot take the server's memory.
    static std::counting_semaphore<4> hashing(4);
    hashing.acquire();
    Result<Account> account = Accounts(context.reg).verify(name, password);
    hashing.release();
    if (!account) {
        context.throttle.failed(name, address);
        return context.sendPage(response, QStringLiteral("登录"), nullptr,
                                signInForm(name, QStringLiteral("账户名或口令不正确。")), 403);
    }
    context.throttle.succeeded(name, address);
    const QString token = context.sessions.open(account->name);
    response.set_header("Set-Cookie",
                        QStringLiteral("%1=%2; Path=/; HttpOnly; SameSite=Strict")
                            .arg(QString::fromLatin1(WebContext::sessionCookie), token)
                            .toStdString());
    response.set_redirect("/", 303);
}

} // namespace

namespace WebRoutes {

void signIn(httplib::Server& server, WebContext& context)
{
    server.Get("/signin", [&context](const httplib::Request&, httplib::Response& response) {
        context.sendPage(response, QStringLiteral("登录"), nullptr, signInForm({}, {}));
    });
    server.Post("/signin",
                [&context](const httplib::Request& request, httplib::Response& response) {
                    ::signIn(context, request, response);
                });
    server.Post("/signout", [&context](const httplib::Request& request,
                                       httplib::Response& response) {
        const std::optional<WebContext::Visitor> visitor =
            context.allow(request, response, Role::Viewer, true);
        if (!visitor)
            return;
        context.sessions.close(visitor->token);
        response.set_header("Set-Cookie", std::string(WebContext::sessionCookie) +
                                              "=; Path=/; HttpOnly; SameSite=Strict; Max-Age=0");
        response.set_redirect("/signin", 303);
    });
}

} // namespace WebRoutes
