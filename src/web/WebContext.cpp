#include "web/WebContext.h"

#include "browser/FolderMenu.h"
#include "operations/RecordLookup.h"
#include "queries/QuerySlots.h"
#include "web/Html.h"
#include "web/ViewRequest.h"

const char* const WebContext::sessionCookie = "quorvel_session";

WebContext::WebContext(Register reg, WebSettings settings)
    : reg(std::move(reg)), settings(std::move(settings)),
      sessions(std::chrono::minutes(this->settings.idleMinutes)), m_viewKeys(this->reg)
{
}

QString WebContext::parameter(const httplib::Request& request, const char* name)
{
    return QString::fromStdString(request.get_param_value(name));
}

QString WebContext::cookie(const httplib::Request& request, const char* name)
{
    const QString header = QString::fromStdString(request.get_header_value("Cookie"));
    const QString prefix = QString::fromLatin1(name) + QLatin1Char('=');
    for (const QString& part : header.split(QLatin1Char(';'))) {
        const QString trimmed = part.trimmed();
        if (trimmed.startsWith(prefix))
            return trimmed.mid(prefix.size());
    }
    return {};
}

std::optional<WebContext::Visitor> WebContext::allow(const httplib::Request& request,
                                                     httplib::Response& response, Role needed,
                                                     bool changes)
{
    const QString token = cookie(request, sessionCookie);
    const std::optional<Sessions::Session> session = sessions.touch(token);
    if (!session) {
        if (request.method == "GET")
            sendBack(response, QStringLiteral("/signin"));
        else
            sendFailure(response, nullptr, 401, QStringLiteral("请先登录。"));
        return std::nullopt;
    }
    // The account as stored now: a changed role or a removal counts at once.
    Result<Account> account = Accounts(reg).find(session->account);
    if (!account && account.error().code != ErrorCode::NotFound) {
        sendFailure(response, nullptr, 503, account.error().message);
        return std::nullopt;
    }
    if (!account) {
        sessions.closeAll(session->account);
        sendFailure(response, nullptr, 401, QStringLiteral("请先登录。"));
        return std::nullopt;
    }
    Visitor visitor{*account, token, session->formToken};
    if (!roleAllows(account->role, needed)) {
        sendFailure(response, &visitor, 403,
                    QStringLiteral("您的角色（%1）不能做这件事。").arg(roleText(account->role)));
        return std::nullopt;
    }
    if (changes && !Sessions::sameToken(parameter(request, "csrf"), session->formToken)) {
        sendFailure(response, &visitor, 403, QStringLiteral("表单已过期，请重新打开页面再试。"));
        return std::nullopt;
    }
    return visitor;
}

std::optional<RegisterRecord> WebContext::namedRecord(const httplib::Request& request,
                                                      httplib::Response& response,
                                                      const Visitor& visitor)
{
    const qint64 id = QString::fromStdString(request.matches[1]).toLongLong();
    Result<RegisterRecord> record = RecordLookup::recordAt(reg, id);
    if (!record) {
        sendFailure(response, &visitor, 404, record.error().message);
        return std::nullopt;
    }
    return *record;
}

void WebContext::sendPage(httplib::Response& response, const QString& title, const Visitor* visitor,
                          const QString& body, int status, bool again)
{
    response.status = status;
    response.set_header("Cache-Control", "no-store");
    response.set_content(Html::page(title, visitor ? navigation(*visitor) : QString(), body, again),
                         "text/html; charset=utf-8");
}

void WebContext::sendFailure(httplib::Response& response, const Visitor* visitor, int status,
                             const QString& message)
{
    sendPage(response, QStringLiteral("出错了"), visitor,
             Html::notice(message, true) + QStringLiteral("<p><a href=\"/\">返回所有文件</a></p>"),
             status);
}

void WebContext::sendBack(httplib::Response& response, const QString& target,
                          const Visitor* visitor, const QString& message, bool failed)
{
    if (visitor && !message.isEmpty())
        sessions.say(visitor->token, message, failed);
    response.set_redirect(target.toStdString(), 303);
}

QString WebContext::takeNotice(const Visitor& visitor)
{
    const auto [message, failed] = sessions.takeMessage(visitor.token);
    return message.isEmpty() ? QString() : Html::notice(message, failed);
}

WebContext::Menus WebContext::menus()
{
    const quint64 generation = m_generation.load();
    {
        const std::lock_guard lock(m_mutex);
        if (m_menusGeneration == generation)
            return m_menus;
    }
    Menus read;
    if (Result<QList<FolderMenu::Entry>> folders = FolderMenu::load(reg)) {
        for (const FolderMenu::Entry& entry : *folders)
            read.folders << entry.name;
    }
    if (Result<QList<QuerySlot>> slots = QuerySlots::readAll(reg)) {
        for (const QuerySlot& slot : *slots)
            read.queryNames << slot.name;
    }
    const std::lock_guard lock(m_mutex);
    m_menus = read;
    m_menusGeneration = generation;
    return read;
}

QString WebContext::navigation(const Visitor& visitor)
{
    const Menus kept = menus();
    QString folders;
    for (const QString& folder : kept.folders)
        folders += QStringLiteral("<option value=\"%1\">%1</option>").arg(Html::escape(folder));
    QString queries;
    for (int slot = 0; slot < kept.queryNames.size(); ++slot)
        queries += QStringLiteral("<option value=\"%1\">%2</option>")
                       .arg(QString::number(slot + 1), Html::escape(kept.queryNames.at(slot)));
    QString nav = QStringLiteral(
        "<header><span class=\"brand\">Quorvel</span>"
        "<a href=\"/?v=all\">所有文件</a><a href=\"/?v=sent\">我发他收</a>"
        "<a href=\"/?v=received\">他发我收</a><a href=\"/?v=local\">本地文件</a>"
        "<form action=\"/\" method=\"get\"><input type=\"hidden\" name=\"v\" value=\"folder\">"
        "<select name=\"f\" aria-label=\"文件夹\">%1</select> <button>文件夹</button></form>"
        "<form action=\"/\" method=\"get\"><input type=\"hidden\" name=\"v\" value=\"query\">"
        "<select name=\"q\" aria-label=\"自定义查询\">%2</select> <button>查询</button></form>");
    nav = nav.arg(folders, queries);
    if (roleAllows(visitor.account.role, Role::Registrar))
        nav += QStringLiteral("<a href=\"/add\">登记文件</a>");
    nav += QStringLiteral("<a href=\"/bin\">回收站</a>");
    if (roleAllows(visitor.account.role, Role::Administrator))
        nav += QStringLiteral("<a href=\"/users\">账户</a>");
    nav += QStringLiteral("<span class=\"who\">%1（%2）</span>"
                          "<form action=\"/signout\" method=\"post\">%3"
                          "<button class=\"link\" id=\"signout\">退出</button></form></header>")
               .arg(Html::escape(visitor.account.name), roleText(visitor.account.role),
                    Html::tokenField(visitor.formToken));
    return nav;
}
