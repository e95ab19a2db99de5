#include "web/Html.h"
#include "web/WebRoutes.h"

namespace {

QString roleOptions(Role chosen)
{
    QString options;
    for (const Role role : {Role::Viewer, Role::Registrar, Role::Administrator})
        options +=
            QStringLiteral("<option value=\"%1\"%2>%1</option>")
                .arg(roleText(role), role == chosen ? QStringLiteral(" selected") : QString());
    return options;
}

void usersPage(WebContext& context, const httplib::Request& request, httplib::Response& response)
{
    const std::optional<WebContext::Visitor> visitor =
        context.allow(request, response, Role::Administrator);
    if (!visitor)
        return;
    Result<QList<Account>> accounts = Accounts(context.reg).list();
    if (!accounts)
        return context.sendFailure(response, &*visitor, 500, accounts.error().message);
    const QString token = Html::tokenField(visitor->formToken);
    QString rows;
    for (const Account& account : *accounts) {
        const QString name = Html::escape(account.name);
        rows +=
            QStringLiteral(
                "<tr><td>%1</td><td>%2</td><td><form method=\"post\" action=\"/users/role\">"
                "%3<input type=\"hidden\" name=\"name\" value=\"%1\">"
                "<select name=\"role\" aria-label=\"角色\">%4</select> <button>更改角色</button>"
                "</form></td><td><form method=\"post\" action=\"/users/password\">%3"
                "<input type=\"hidden\" name=\"name\" value=\"%1\">"
                "<input type=\"password\" name=\"password\" aria-label=\"新口令\" "
                "autocomplete=\"new-password\"> <button>设置口令</button></form></td>"
                "<td><form method=\"post\" action=\"/users/remove\">%3"
                "<input type=\"hidden\" name=\"name\" value=\"%1\"><button>删除账户</button>"
                "</form></td></tr>")
                .arg(name, Html::escape(account.created), token, roleOptions(account.role));
    }
    const QString body =
        context.takeNotice(*visitor) +
        QStringLiteral("<h1>账户</h1><table class=\"grid\" id=\"users\"><thead><tr><th>账户名</th>"
                       "<th>创建时间</th><th>角色</th><th>口令</th><th></th></tr></thead>"
                       "<tbody>%1</tbody></table>"
                       "<form method=\"post\" action=\"/users/add\"><fieldset><legend>新建账户"
                       "</legend>%2<div class=\"boxes\"><label>账户名<input type=\"text\" "
                       "name=\"name\" maxlength=\"%3\"></label><label>口令<input type=\"password\" "
                       "name=\"password\" autocomplete=\"new-password\"></label><label>角色"
                       "<select name=\"role\">%4</select></label></div><div class=\"actions\">"
                       "<button>新建</button></div></fieldset></form>")
            .arg(rows, token, QString::number(Accounts::maxNameLength), roleOptions(Role::Viewer));
    context.sendPage(response, QStringLiteral("账户"), &*visitor, body);
}

enum class Change { Add, Role, Password, Remove };

void changeAccount(WebContext& context, const httplib::Request& request,
                   httplib::Response& response, Change change)
{
    const std::optional<WebContext::Visitor> visitor =
        context.allow(request, response, Role::Administrator, true);
    if (!visitor)
        return;
    const QString name = WebContext::parameter(request, "name");
    const QString password = WebContext::parameter(request, "password");
    const std::optional<Role> role = roleFromText(WebContext::parameter(request, "role"));
    Accounts accounts(context.reg);
    Result<void> done = Error{QStringLiteral("请选择一个角色。"), {}};
    QString said;
    switch (change) {
    case Change::Add:
        if (role) {
            done = accounts.add(name, password, *role);
            said = QStringLiteral("已新建账户“%1”（%2）。").arg(name, roleText(*role));
        }
        break;
    case Change::Role:
        if (role) {
            done = accounts.setRole(name, *role);
            said = QStringLiteral("“%1”的角色已改为%2。").arg(name, roleText(*role));
        }
        break;
    case Change::Password:
        done = accounts.setPassword(name, password);
        said = QStringLiteral("已设置“%1”的口令。").arg(name);
        break;
    case Change::Remove:
        done = accounts.remove(name);
        said = QStringLiteral("已删除账户“%1”。").arg(name);
        break;
    }
    // A removed account, or one whose password changed, is signed out everywhere.
    if (done.ok() && (change == Change::Remove || change == Change::Password) &&
        name != visitor->account.name)
        context.sessions.closeAll(name);
    context.sendBack(response, QStringLiteral("/users"), &*visitor,
                     done.ok() ? said : done.error().message, !done.ok());
}

} // namespace

namespace WebRoutes {

void users(httplib::Server& server, WebContext& context)
{
    server.Get("/users", [&context](const httplib::Request& request, httplib::Response& response) {
        usersPage(context, request, response);
    });
    const std::pair<const char*, Change> changes[] = {{"/users/add", Change::Add},
                                                      {"/users/role", Change::Role},
                                                      {"/users/password", Change::Password},
                                                      {"/users/remove", Change::Remove}};
    for (const auto& [path, change] : changes) {
        server.Post(path, [&context, change = change](const httplib::Request& request,
                                                      httplib::Response& response) {
            changeAccount(context, request, response, change);
        });
    }
}

} // namespace WebRoutes
