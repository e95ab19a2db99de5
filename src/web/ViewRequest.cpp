#include "web/ViewRequest.h"

#include "browser/CombinedSearch.h"
#include "browser/SystemViews.h"
#include "queries/QuerySlots.h"
#include "web/Html.h"

namespace {

struct KindName {
    ViewRequest::Kind kind;
    const char* name;
};

const KindName kindNames[] = {
    {ViewRequest::Kind::All, "all"},           {ViewRequest::Kind::Sent, "sent"},
    {ViewRequest::Kind::Received, "received"}, {ViewRequest::Kind::Local, "local"},
    {ViewRequest::Kind::Folder, "folder"},     {ViewRequest::Kind::Search, "search"},
    {ViewRequest::Kind::Query, "query"},
};

QString boxParameter(int box)
{
    return QStringLiteral("b%1").arg(box);
}

} // namespace

ViewRequest ViewRequest::from(const std::function<QString(const QString&)>& param)
{
    ViewRequest request;
    const QString kind = param(QStringLiteral("v"));
    for (const KindName& entry : kindNames) {
        if (kind == QLatin1String(entry.name))
            request.kind = entry.kind;
    }
    request.folder = param(QStringLiteral("f"));
    request.slot = param(QStringLiteral("q")).toInt();
    if (request.kind == Kind::Query && (request.slot < 1 || request.slot > QuerySlots::slotCount))
        request.kind = Kind::All;
    for (int box = 0; box < SearchCriteria::BoxCount; ++box)
        request.boxes.box(box) = param(boxParameter(box));
    request.page = qMax(1, param(QStringLiteral("p")).toInt());
    return request;
}

QString ViewRequest::query() const
{
    QString text;
    for (const KindName& entry : kindNames) {
        if (entry.kind == kind)
            text = QStringLiteral("v=") + QLatin1String(entry.name);
    }
    if (kind == Kind::Folder)
        text += QStringLiteral("&f=") + Html::urlValue(folder);
    if (kind == Kind::Query)
        text += QStringLiteral("&q=%1").arg(slot);
    if (kind == Kind::Search) {
        for (int box = 0; box < SearchCriteria::BoxCount; ++box) {
            if (!boxes.box(box).isEmpty())
                text += QLatin1Char('&') + boxParameter(box) + QLatin1Char('=') +
                        Html::urlValue(boxes.box(box));
        }
    }
    return text;
}

Result<ChosenView> chooseView(const Register& reg, const ViewRequest& request)
{
    ChosenView chosen;
    SearchCriteria searched;
    switch (request.kind) {
    case ViewRequest::Kind::All:
        chosen.caption = QStringLiteral("系统定义查询：所有记录");
        return chosen;
    case ViewRequest::Kind::Sent:
        chosen.condition = SystemViews::sentByMe();
        chosen.caption = QStringLiteral("系统定义查询：我发他收");
        return chosen;
    case ViewRequest::Kind::Folder:
        chosen.condition = SystemViews::folder(request.folder);
        chosen.caption = QStringLiteral("文件夹：") + request.folder;
        return chosen;
    case ViewRequest::Kind::Received:
        searched = SystemViews::receivedByMe();
        chosen.caption = QStringLiteral("系统定义查询：他发我收");
        break;
    case ViewRequest::Kind::Local:
        searched = SystemViews::localDocuments();
        chosen.caption = QStringLiteral("系统定义查询：本地文档");
        break;
    case ViewRequest::Kind::Search:
        searched = request.boxes;
        chosen.caption = QStringLiteral("组合搜索");
        break;
    case ViewRequest::Kind::Query: {
        Result<QueryRun> run = QuerySlots::prepareRun(reg, request.slot);
        if (!run)
            return run.error();
        searched = run->criteria;
        chosen.caption = run->caption;
        break;
    }
    }
    const CombinedSearch::Made made = CombinedSearch::build(searched);
    chosen.condition = made.condition;
    chosen.shown = made.used;
    chosen.ignoredDates = made.ignoredDates;
    return chosen;
}

QString conditionKey(const ViewCondition& condition)
{
    // Lengths before texts, so no text can pass for a separator.
    QString key = QStringLiteral("(%1,%2,%3,%4:%5")
                      .arg(static_cast<int>(condition.kind))
                      .arg(static_cast<int>(condition.field))
                      .arg(condition.number)
                      .arg(condition.text.size())
                      .arg(condition.text);
    for (const QString& text : condition.texts)
        key += QStringLiteral(",%1:").arg(text.size()) + text;
    for (const ViewCondition& side : condition.sides)
        key += conditionKey(side);
    return key + QLatin1Char(')');
}
