#include "base/DateText.h"
#include "modify/RecordModify.h"
#include "operations/RecordDelete.h"
#include "operations/RecordHistory.h"
#include "operations/RecordLookup.h"
#include "operations/RecordReorder.h"
#include "store/Audit.h"
#include "store/RecordFields.h"
#include "store/view/ViewRst.h"
#include "web/Html.h"
#include "web/ViewRequest.h"
#include "web/WebRoutes.h"

#include <QDate>

namespace {

constexpr int pageRows = 50;

// The labels the main window shows above its search boxes, in box order.
const char16_t* const boxLabels[SearchCriteria::BoxCount] = {
    u"全部或部分文件名", u"全部或部分接收人名", u"传送方式 ",          u"最早发件日期",
    u"最晚发件日期",     u"备注中一个词",       u"全部或部分文件夹名", u"文件内容中的词",
};

// The grid's visible columns, in the grid's order.
const RecordField gridFields[] = {RecordField::Date,   RecordField::FileName,
                                  RecordField::Remark, RecordField::Recipient,
                                  RecordField::Method, RecordField::Folder};

QString fieldText(const RegisterRecord& record, RecordField field)
{
    return record.text(RecordFields::of(field).gridColumn);
}

QString searchForm(const ChosenView& view)
{
    QString boxes;
    for (int box = 0; box < SearchCriteria::BoxCount; ++box)
        boxes += QStringLiteral("<label>%1<input type=\"text\" name=\"b%2\" value=\"%3\"></label>")
                     .arg(QString::fromUtf16(boxLabels[box]), QString::number(box),
                          Html::escape(view.shown.box(box)));
    return QStringLiteral("<form action=\"/\" method=\"get\"><fieldset><legend>搜索文件</legend>"
                          "<input type=\"hidden\" name=\"v\" value=\"search\">"
                          "<div class=\"boxes\">%1</div><div class=\"actions\">"
                          "<button id=\"search\" title=\"进行组合查询\">搜索</button></div>"
                          "</fieldset></form>")
        .arg(boxes);
}

// The pager; `pages` 0 while the view's count is still being read.
QString pageLinks(const ViewRequest& request, int page, int pages)
{
    const QString base = QStringLiteral("/?") + request.query() + QStringLiteral("&p=");
    const int last = pages > 0 ? pages : page + 1;
    auto link = [&](int target, const QString& text) {
        if (target < 1 || target > last || target == page)
            return QStringLiteral("<span>%1</span>").arg(text);
        return QStringLiteral("<a href=\"%1%2\">%3</a>")
            .arg(Html::escape(base), QString::number(target), text);
    };
    QString hidden;
    const QStringList pairs = request.query().split(QLatin1Char('&'));
    for (const QString& pair : pairs) {
        const qsizetype equals = pair.indexOf(QLatin1Char('='));
        hidden +=
            QStringLiteral("<input type=\"hidden\" name=\"%1\" value=\"%2\">")
                .arg(Html::escape(pair.left(equals)),
                     Html::escape(QUrl::fromPercentEncoding(pair.mid(equals + 1).toLatin1())));
    }
    return QStringLiteral(
               "<div class=\"pages\">%1 %2 <span id=\"pageinfo\">第 %3 页 共 %4 页</span>"
               " %5 %6 <form action=\"/\" method=\"get\">%7"
               "<input type=\"number\" name=\"p\" min=\"1\" value=\"%3\" "
               "aria-label=\"页码\" style=\"width:6em\"> <button>转到</button></form></div>")
        .arg(link(1, QStringLiteral("首页")), link(page - 1, QStringLiteral("上一页")),
             QString::number(page), pages > 0 ? QString::number(pages) : QStringLiteral("…"),
             link(page + 1, QStringLiteral("下一页")), link(pages, QStringLiteral("末页")), hidden);
}

// The view page: the search boxes, one page of the grid, and the batch actions.
void viewPage(WebContext& context, const httplib::Request& request, httplib::Response& response)
{
    const std::optional<WebContext::Visitor> visitor =
        context.allow(request, response, Role::Viewer);
    if (!visitor)
        return;
    const ViewRequest asked = ViewRequest::from(
        [&](const QString& name) { return WebContext::parameter(request, qPrintable(name)); });
    Result<ChosenView> view = chooseView(context.reg, asked);
    if (!view)
        return context.sendFailure(response, &*visitor, 500, view.error().message);
    // The first page is shown as soon as its rows are read; the count follows.
    Result<ViewKeys::Keys> keys =
        context.viewKeys(view->condition, asked.page == 1 ? pageRows + 1 : 0);
    if (!keys)
        return context.sendFailure(response, &*visitor, 500, keys.error().message);

    const int count = static_cast<int>(keys->keys.size());
    const int pages = keys->complete ? (count + pageRows - 1) / pageRows : 0;
    const int page = keys->complete ? qBound(1, asked.page, qMax(pages, 1)) : 1;
    ViewRst rows(context.reg, view->condition, keys->keys);
    const QString back = asked.query() + QStringLiteral("&p=") + QString::number(page);

    QString body = context.takeNotice(*visitor);
    for (const QString& date : view->ignoredDates)
        body += Html::notice(QStringLiteral("“%1”不是日期，未按它搜索。").arg(date), true);
    body += searchForm(*view);
    const QString counted = keys->complete ? QStringLiteral("（共 %1 条记录）").arg(count)
                                           : QStringLiteral("（%1 条以上，正在计数…）").arg(count);
    body += QStringLiteral("<h1 id=\"caption\">%1 <small>%2</small></h1>")
                .arg(Html::escape(view->caption), counted);

    QString table = QStringLiteral("<table class=\"grid\" id=\"grid\"><thead><tr><th>选择</th>");
    for (const RecordField field : gridFields)
        table += QStringLiteral("<th>%1</th>").arg(Html::escape(RecordFields::of(field).label));
    table += QStringLiteral("<th>文件</th></tr></thead><tbody>");
    const int first = (page - 1) * pageRows + 1;
    for (int position = first; position < first + pageRows && position <= count; ++position) {
        const std::optional<RegisterRecord> record = rows.record(position);
        if (!record)
            continue;
        const QString id = QString::number(record->rowid);
        table += QStringLiteral("<tr><td><input type=\"checkbox\" name=\"r\" value=\"%1\" "
                                "aria-label=\"选择\"></td>")
                     .arg(id);
        for (const RecordField field : gridFields) {
            QString cell = Html::escape(fieldText(*record, field));
            if (field == RecordField::FileName)
                cell = QStringLiteral("<a href=\"/record/%1?back=%2\">%3</a>")
                           .arg(id, Html::escape(Html::urlValue(back)), cell);
            table += QStringLiteral("<td>%1</td>").arg(cell);
        }
        table += QStringLiteral("<td><a href=\"/file/%1\" download>下载</a></td></tr>").arg(id);
    }
    table += QStringLiteral("</tbody></table>");

    QString actions;
    if (roleAllows(visitor->account.role, Role::Registrar))
        actions += QStringLiteral("<button formaction=\"/modify\" id=\"modify\">修改记录</button>");
    if (roleAllows(visitor->account.role, Role::Administrator))
        actions += QStringLiteral("<button formaction=\"/delete\" id=\"delete\">删除</button>");
    // The pager holds a form of its own, so it stands outside the grid's.
    body += pageLinks(asked, page, pages);
    body += QStringLiteral("<form method=\"post\" action=\"/modify\">%1"
                           "<input type=\"hidden\" name=\"back\" value=\"%2\">%3"
                           "<div class=\"actions\">%4</div></form>")
                .arg(Html::tokenField(visitor->formToken), Html::escape(back), table, actions);
    context.sendPage(response, view->caption, &*visitor, body, 200, !keys->complete);
}

QString recordPath(qint64 id, const QString& back)
{
    return QStringLiteral("/record/%1?back=%2").arg(QString::number(id), Html::urlValue(back));
}

// The path to go back to after a change: the record page it was made on, or
// the view; a path of ours, never another site.
QString backTarget(const httplib::Request& request)
{
    const QString back = WebContext::parameter(request, "back");
    if (back.contains(QLatin1Char('\n')) || back.contains(QLatin1Char('\r')))
        return QStringLiteral("/");
    const qint64 record = WebContext::parameter(request, "record").toLongLong();
    return record > 0 ? recordPath(record, back) : QStringLiteral("/?") + back;
}

QList<qint64> chosenRecords(const httplib::Request& request)
{
    QList<qint64> ids;
    const auto range = request.params.equal_range("r");
    for (auto it = range.first; it != range.second; ++it) {
        bool ok = false;
        const qint64 id = QString::fromStdString(it->second).toLongLong(&ok);
        if (ok && id > 0 && !ids.contains(id))
            ids << id;
    }
    return ids;
}

// The records as they are now; an error names the first that is gone.
Result<QList<RegisterRecord>> currentRecords(const Register& reg, const QList<qint64>& ids)
{
    QList<RegisterRecord> records;
    for (const qint64 id : ids) {
        Result<RegisterRecord> record = RecordLookup::recordAt(reg, id);
        if (!record)
            return record.error();
        records << *record;
    }
    return records;
}

QString historyTable(const Register& reg, qint64 id)
{
    Result<QList<Audit::Entry>> entries = RecordHistory::ofRecord(reg, id);
    if (!entries)
        return Html::notice(entries.error().message, true);
    QString rows;
    for (const Audit::Entry& entry : *entries)
        rows += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td><td>%4</td></tr>")
                    .arg(Html::escape(entry.time), Html::escape(entry.user),
                         Html::escape(entry.action), Html::escape(Audit::changesText(entry)));
    return QStringLiteral("<h2>历史记录</h2><table class=\"grid\" id=\"history\"><thead><tr>"
                          "<th>时间</th><th>用户</th><th>操作</th><th>更改</th></tr></thead>"
                          "<tbody>%1</tbody></table>")
        .arg(rows);
}

// The modify form for `records`: a field left empty keeps each record's value.
QString modifyForm(const WebContext::Visitor& visitor, const QList<RegisterRecord>& records,
                   const QString& back, bool onRecordPage)
{
    QString fields;
    for (const RecordFields::Field& field : RecordFields::all()) {
        if (!field.modifiable)
            continue;
        const QString shown = records.size() == 1 ? (records.first().*field.shown) : QString();
        fields += QStringLiteral("<label>%1<input type=\"text\" name=\"%2\" value=\"%3\" "
                                 "maxlength=\"%4\"></label>")
                      .arg(Html::escape(field.label), field.column, Html::escape(shown),
                           QString::number(field.limit > 0 ? field.limit : 255));
    }
    QString chosen;
    if (onRecordPage)
        chosen += QStringLiteral("<input type=\"hidden\" name=\"record\" value=\"%1\">")
                      .arg(records.first().rowid);
    for (const RegisterRecord& record : records)
        chosen += QStringLiteral("<input type=\"hidden\" name=\"r\" value=\"%1\">"
                                 "<input type=\"hidden\" name=\"seen%1\" value=\"%2\">")
                      .arg(QString::number(record.rowid), Html::escape(record.storedName));
    return QStringLiteral("<form method=\"post\" action=\"/modify/save\" id=\"modifyform\">"
                          "<fieldset><legend>修改记录（%1 条；留空的项不变）</legend>%2%3"
                          "<input type=\"hidden\" name=\"back\" value=\"%4\">"
                          "<div class=\"boxes\">%5</div><div class=\"actions\">"
                          "<button id=\"save\">确定</button></div></fieldset></form>")
        .arg(QString::number(records.size()), Html::tokenField(visitor.formToken), chosen,
             Html::escape(back), fields);
}

void recordPage(WebContext& context, const httplib::Request& request, httplib::Response& response)
{
    const std::optional<WebContext::Visitor> visitor =
        context.allow(request, response, Role::Viewer);
    if (!visitor)
        return;
    const std::optional<RegisterRecord> record = context.namedRecord(request, response, *visitor);
    if (!record)
        return;
    const qint64 id = record->rowid;
    const QString back = WebContext::parameter(request, "back");
    QString details;
    for (const RecordFields::Field& field : RecordFields::inOutputOrder()) {
        if (field.field == RecordField::StoredName)
            continue;
        details +=
            QStringLiteral("<tr><th>%1</th><td>%2</td></tr>")
                .arg(Html::escape(field.label), Html::escape(record->text(field.gridColumn)));
    }
    QString body = context.takeNotice(*visitor);
    body +=
        QStringLiteral("<h1>%1</h1><p><a href=\"/file/%2\" download id=\"download\">下载</a>"
                       " · <a href=\"/?%3\">返回</a></p>"
                       "<table class=\"grid\" id=\"details\">%4</table>")
            .arg(Html::escape(record->fileName), QString::number(id), Html::escape(back), details);
    const QString seen =
        QStringLiteral("<input type=\"hidden\" name=\"r\" value=\"%1\">"
                       "<input type=\"hidden\" name=\"seen%1\" value=\"%2\">"
                       "<input type=\"hidden\" name=\"back\" value=\"%3\">")
            .arg(QString::number(id), Html::escape(record->storedName), Html::escape(back));
    QString actions;
    if (roleAllows(visitor->account.role, Role::Registrar))
        actions +=
            QStringLiteral("<button formaction=\"/move/up\" id=\"moveup\">上移</button>"
                           "<button formaction=\"/move/down\" id=\"movedown\">下移</button>");
    if (roleAllows(visitor->account.role, Role::Administrator))
        actions += QStringLiteral("<button formaction=\"/delete\" id=\"delete\">删除</button>");
    if (!actions.isEmpty())
        body += QStringLiteral("<form method=\"post\" action=\"/move/up\"><div class=\"actions\">"
                               "%1%2%3</div></form>")
                    .arg(Html::tokenField(visitor->formToken), seen, actions);
    if (roleAllows(visitor->account.role, Role::Registrar))
        body += modifyForm(*visitor, {*record}, back, true);
    body += historyTable(context.reg, id);
    context.sendPage(response, record->fileName, &*visitor, body);
}

// The records a form names, each as its sender saw it (identity and stored
// name); a record chosen in the grid carries no stored name and is read now.
Result<QList<SeenRecord>> seenRecords(const Register& reg, const httplib::Request& request)
{
    QList<SeenRecord> seen;
    for (const qint64 id : chosenRecords(request)) {
        const QString name =
            WebContext::parameter(request, qPrintable(QStringLiteral("seen%1").arg(id)));
        if (!name.isEmpty()) {
            seen << SeenRecord{id, name};
            continue;
        }
        Result<RegisterRecord> now = RecordLookup::recordAt(reg, id);
        if (!now)
            return now.error();
        seen << SeenRecord::of(*now);
    }
    return seen;
}

void modifyChosen(WebContext& context, const httplib::Request& request, httplib::Response& response)
{
    const std::optional<WebContext::Visitor> visitor =
        context.allow(request, response, Role::Registrar, true);
    if (!visitor)
        return;
    const QString back = WebContext::parameter(request, "back");
    const QList<qint64> ids = chosenRecords(request);
    if (ids.isEmpty())
        return context.sendBack(response, backTarget(request), &*visitor,
                                QStringLiteral("请先选择要修改的记录。"), true);
    Result<QList<RegisterRecord>> records = currentRecords(context.reg, ids);
    if (!records)
        return context.sendFailure(response, &*visitor, 404, records.error().message);
    context.sendPage(response, QStringLiteral("修改记录"), &*visitor,
                     modifyForm(*visitor, *records, back, false));
}

void saveModified(WebContext& context, const httplib::Request& request, httplib::Response& response)
{
    const std::optional<WebContext::Visitor> visitor =
        context.allow(request, response, Role::Registrar, true);
    if (!visitor)
        return;
    RecordModify::Changes changes;
    for (const RecordFields::Field& field : RecordFields::all()) {
        if (!field.modifiable)
            continue;
        const QString value = WebContext::parameter(request, qPrintable(field.column));
        if (!value.isEmpty())
            changes[field.field] = value;
    }
    Result<QList<SeenRecord>> seen = seenRecords(context.reg, request);
    if (!seen)
        return context.sendBack(response, backTarget(request), &*visitor, seen.error().message,
                                true);
    if (seen->isEmpty() || changes.isEmpty())
        return context.sendBack(response, backTarget(request), &*visitor,
                                QStringLiteral("没有要修改的内容。"));
    const Audit::ActingUser acting(visitor->account.name);
    const Status applied = RecordModify::apply(context.reg, *seen, changes);
    context.changed();
    if (!applied)
        return context.sendBack(response, backTarget(request), &*visitor, applied.error().message,
                                true);
    context.sendBack(response, backTarget(request), &*visitor,
                     QStringLiteral("已修改 %1 条记录。").arg(seen->size()));
}

void deleteChosen(WebContext& context, const httplib::Request& request, httplib::Response& response)
{
    const std::optional<WebContext::Visitor> visitor =
        context.allow(request, response, Role::Administrator, true);
    if (!visitor)
        return;
    Result<QList<SeenRecord>> seen = seenRecords(context.reg, request);
    if (!seen)
        return context.sendBack(response, backTarget(request), &*visitor, seen.error().message,
                                true);
    const Audit::ActingUser acting(visitor->account.name);
    int deleted = 0;
    QStringList failures;
    for (const SeenRecord& record : *seen) {
        const Status status = RecordDelete::deleteRecord(context.reg, record);
        if (status)
            ++deleted;
        else
            failures << status.error().message;
    }
    context.changed();
    QString message = QStringLiteral("已删除 %1 条记录（可在回收站中恢复）。").arg(deleted);
    if (!failures.isEmpty())
        message += QLatin1Char(' ') + failures.join(QLatin1Char(' '));
    context.sendBack(response, backTarget(request), &*visitor, message, !failures.isEmpty());
}

void move(WebContext& context, const httplib::Request& request, httplib::Response& response,
          bool up)
{
    const std::optional<WebContext::Visitor> visitor =
        context.allow(request, response, Role::Registrar, true);
    if (!visitor)
        return;
    const QList<qint64> ids = chosenRecords(request);
    if (ids.size() != 1)
        return context.sendFailure(response, &*visitor, 400, QStringLiteral("请选择一条记录。"));
    // Moved within the view it was chosen in, as the grid moves it.
    const QString back = WebContext::parameter(request, "back");
    const QUrlQuery query(back);
    const ViewRequest asked = ViewRequest::from(
        [&](const QString& name) { return query.queryItemValue(name, QUrl::FullyDecoded); });
    Result<ChosenView> view = chooseView(context.reg, asked);
    Result<ViewKeys::Keys> keys =
        view ? context.viewKeys(view->condition) : Result<ViewKeys::Keys>(view.error());
    if (!keys)
        return context.sendFailure(response, &*visitor, 500, keys.error().message);
    ViewRst rows(context.reg, view->condition, keys->keys);
    const int position = rows.positionOf(ids.first());
    const QString target = recordPath(ids.first(), back);
    if (position == 0)
        return context.sendBack(response, target, &*visitor,
                                QStringLiteral("这条记录不在此视图中。"), true);
    if (position == (up ? 1 : rows.recordCount()))
        return context.sendBack(response, target, &*visitor,
                                up ? QStringLiteral("已是第一条，未移动")
                                   : QStringLiteral("已是最后一条，未移动"));
    const Audit::ActingUser acting(visitor->account.name);
    const Status moved =
        up ? RecordReorder::moveUp(rows, position) : RecordReorder::moveDown(rows, position);
    context.changed();
    if (!moved)
        return context.sendBack(response, target, &*visitor, moved.error().message, true);
    context.sendBack(response, target, &*visitor,
                     up ? QStringLiteral("已上移") : QStringLiteral("已下移"));
}

} // namespace

namespace WebRoutes {

void records(httplib::Server& server, WebContext& context)
{
    server.Get("/", [&context](const httplib::Request& request, httplib::Response& response) {
        viewPage(context, request, response);
    });
    server.Get(R"(/record/(\d{1,18}))",
               [&context](const httplib::Request& request, httplib::Response& response) {
                   recordPage(context, request, response);
               });
    server.Post("/modify",
                [&context](const httplib::Request& request, httplib::Response& response) {
                    modifyChosen(context, request, response);
                });
    server.Post("/modify/save",
                [&context](const httplib::Request& request, httplib::Response& response) {
                    saveModified(context, request, response);
                });
    server.Post("/delete",
                [&context](const httplib::Request& request, httplib::Response& response) {
                    deleteChosen(context, request, response);
                });
    server.Post("/move/up",
                [&context](const httplib::Request& request, httplib::Response& response) {
                    move(context, request, response, true);
                });
    server.Post("/move/down",
                [&context](const httplib::Request& request, httplib::Response& response) {
                    move(context, request, response, false);
                });
}

} // namespace WebRoutes
