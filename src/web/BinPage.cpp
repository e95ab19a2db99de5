#include "store/Audit.h"
#include "store/RecordStore.h"
#include "store/RecycleBin.h"
#include "trash/Trash.h"
#include "web/Html.h"
#include "web/WebRoutes.h"

namespace {

void binPage(WebContext& context, const httplib::Request& request, httplib::Response& response)
{
    const std::optional<WebContext::Visitor> visitor =
        context.allow(request, response, Role::Viewer);
    if (!visitor)
        return;
    Result<QList<RecycleBin::Entry>> entries = context.reg.records()->binEntries();
    if (!entries)
        return context.sendFailure(response, &*visitor, 500, entries.error().message);
    const bool manages = roleAllows(visitor->account.role, Role::Administrator);
    QString rows;
    for (const RecycleBin::Entry& entry : *entries) {
        const QString id = QString::number(entry.record.rowid);
        QString actions;
        if (manages)
            actions = QStringLiteral("<form method=\"post\" action=\"/bin/restore\">%1"
                                     "<input type=\"hidden\" name=\"r\" value=\"%2\">"
                                     "<button class=\"restore\">恢复</button> "
                                     "<button class=\"purge\" formaction=\"/bin/purge\">彻底删除"
                                     "</button></form>")
                          .arg(Html::tokenField(visitor->formToken), id);
        rows += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td><td>%4</td><td>%5</td>"
                               "<td>%6</td></tr>")
                    .arg(Html::escape(entry.deletedAt), Html::escape(entry.record.fileName),
                         Html::escape(entry.record.date), Html::escape(entry.record.recipient),
                         Html::escape(entry.record.folder), actions);
    }
    const QString body =
        context.takeNotice(*visitor) +
        QStringLiteral("<h1>回收站 <small>（%1 条）</small></h1><table class=\"grid\" id=\"bin\">"
                       "<thead><tr><th>删除时间</th><th>文件名</th><th>发件日期</th>"
                       "<th>接收人</th><th>文件夹</th><th></th></tr></thead><tbody>%2</tbody>"
                       "</table>")
            .arg(QString::number(entries->size()), rows);
    context.sendPage(response, QStringLiteral("回收站"), &*visitor, body);
}

void binAction(WebContext& context, const httplib::Request& request, httplib::Response& response,
               bool restore)
{
    const std::optional<WebContext::Visitor> visitor =
        context.allow(request, response, Role::Administrator, true);
    if (!visitor)
        return;
    const qint64 id = WebContext::parameter(request, "r").toLongLong();
    const Audit::ActingUser acting(visitor->account.name);
    QString message;
    bool failed = false;
    if (restore) {
        Result<Trash::Restored> restored = Trash::restore(context.reg, id);
        failed = !restored;
        message = restored ? QStringLiteral("已恢复：%1").arg(restored->fileName)
                           : restored.error().message;
    } else {
        const Status purged = Trash::purge(context.reg, id);
        failed = !purged;
        message = purged ? QStringLiteral("已彻底删除。") : purged.error().message;
    }
    context.changed();
    context.sendBack(response, QStringLiteral("/bin"), &*visitor, message, failed);
}

} // namespace

namespace WebRoutes {

void bin(httplib::Server& server, WebContext& context)
{
    server.Get("/bin", [&context](const httplib::Request& request, httplib::Response& response) {
        binPage(context, request, response);
    });
    server.Post("/bin/restore",
                [&context](const httplib::Request& request, httplib::Response& response) {
                    binAction(context, request, response, true);
                });
    server.Post("/bin/purge",
                [&context](const httplib::Request& request, httplib::Response& response) {
                    binAction(context, request, response, false);
                });
}

} // namespace WebRoutes
