#include "cli/ViewOptions.h"

#include "browser/CombinedSearch.h"
#include "browser/SystemViews.h"

namespace ViewOptions {

namespace {

struct CriterionOption {
    const char* name;
    SearchCriteria::Box box;
    const char16_t* description;
};

// The boxes of the search panel, in box order.
const CriterionOption criterionOptions[] = {
    {"name", SearchCriteria::FileName, u"文件名包含 TEXT"},
    {"recipient", SearchCriteria::Recipient, u"接收人包含 TEXT"},
    {"method", SearchCriteria::Method, u"传送方式包含 TEXT"},
    {"from", SearchCriteria::Earliest, u"发件日期不早于 DATE（如 2006-5-1）"},
    {"to", SearchCriteria::Latest, u"发件日期不晚于 DATE（含当天）"},
    {"remark", SearchCriteria::Remark, u"备注包含 TEXT"},
    {"in-folder", SearchCriteria::Folder, u"文件夹名包含 TEXT"},
    {"content", SearchCriteria::Content, u"文件内容中含有 TEXT（已读取的副本）"},
};

bool isDate(SearchCriteria::Box box)
{
    return box == SearchCriteria::Earliest || box == SearchCriteria::Latest;
}

QString optionName(const CriterionOption& option, const QString& fileNameOption)
{
    return option.box == SearchCriteria::FileName ? fileNameOption
                                                  : QString::fromLatin1(option.name);
}

// The first date option the search would leave out. An empty one counts:
// a script's unset variable must not widen the list to every record.
std::optional<QString> refusedDate(const QCommandLineParser& parser,
                                   const CombinedSearch::Made& search)
{
    for (const CriterionOption& option : criterionOptions) {
        const QString name = QString::fromLatin1(option.name);
        if (!isDate(option.box) || !parser.isSet(name))
            continue;
        const QString value = parser.value(name);
        if (value.isEmpty() || search.ignoredDates.contains(value))
            return value;
    }
    return std::nullopt;
}

} // namespace

void addCriteria(QCommandLineParser& parser, const QString& fileNameOption)
{
    for (const CriterionOption& option : criterionOptions) {
        parser.addOption({optionName(option, fileNameOption),
                          QString::fromUtf16(option.description),
                          isDate(option.box) ? QStringLiteral("DATE") : QStringLiteral("TEXT")});
    }
}

void readCriteria(const QCommandLineParser& parser, SearchCriteria& criteria,
                  const QString& fileNameOption)
{
    for (const CriterionOption& option : criterionOptions) {
        const QString name = optionName(option, fileNameOption);
        if (parser.isSet(name))
            criteria.box(option.box) = parser.value(name);
    }
}

void addView(QCommandLineParser& parser)
{
    parser.addOption({QStringLiteral("all"), QStringLiteral("所有文件（默认）")});
    parser.addOption({QStringLiteral("sent"), QStringLiteral("我发他收")});
    parser.addOption({QStringLiteral("received"), QStringLiteral("他发我收")});
    parser.addOption({QStringLiteral("local"), QStringLiteral("本地文件")});
    parser.addOption(
        {QStringLiteral("folder"), QStringLiteral("文件夹 NAME 中的记录"), QStringLiteral("NAME")});
    addCriteria(parser);
}

std::optional<ViewCondition> viewCondition(const QCommandLineParser& parser, QTextStream& err,
                                           const QString& command)
{
    int views = 0;
    for (const char* view : {"all", "sent", "received", "local", "folder"})
        views += parser.isSet(QString::fromLatin1(view)) ? 1 : 0;
    if (views > 1) {
        err << "quorvel-cli " << command
            << ": --all、--sent、--received、--local、--folder 只能选一个" << Qt::endl;
        return std::nullopt;
    }

    // Every option adds its condition with AND, as the search panel joins
    // its boxes.
    SearchCriteria criteria;
    if (parser.isSet(QStringLiteral("received")))
        criteria = SystemViews::receivedByMe();
    else if (parser.isSet(QStringLiteral("local")))
        criteria = SystemViews::localDocuments();
    ViewCondition condition;
    if (parser.isSet(QStringLiteral("sent")))
        condition = SystemViews::sentByMe();
    else if (parser.isSet(QStringLiteral("folder")))
        condition = SystemViews::folder(parser.value(QStringLiteral("folder")));

    SearchCriteria typed;
    readCriteria(parser, typed);
    const CombinedSearch::Made search = CombinedSearch::build(typed);
    // A script is told of a date that is not a date, where the panel drops it.
    if (const std::optional<QString> date = refusedDate(parser, search)) {
        err << "quorvel-cli " << command << ": “" << *date << "”不是日期（例如 2006-5-1）"
            << Qt::endl;
        return std::nullopt;
    }
    // The view's recipient and a typed one must both match.
    condition = SystemViews::allOf(condition, CombinedSearch::build(criteria).condition);
    return SystemViews::allOf(condition, search.condition);
}

} // namespace ViewOptions
