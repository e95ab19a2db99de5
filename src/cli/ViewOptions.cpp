#include "cli/ViewOptions.h"

#include "browser/CombinedSearch.h"

namespace ViewOptions {

namespace {

struct Option {
    const char* name;
    const char16_t* description;
    SearchCriteria::Box box;
};

const Option options[] = {
    {"name", u"文件名包含此文字", SearchCriteria::FileName},
    {"recipient", u"接收人包含此文字", SearchCriteria::Recipient},
    {"method", u"传送方式包含此文字", SearchCriteria::Method},
    {"since", u"最早发件日期", SearchCriteria::Earliest},
    {"until", u"最晚发件日期", SearchCriteria::Latest},
    {"remark", u"备注包含此词", SearchCriteria::Remark},
    {"folder", u"文件夹名包含此文字", SearchCriteria::Folder},
};

} // namespace

void add(QCommandLineParser& parser)
{
    for (const Option& option : options)
        parser.addOption({QString::fromLatin1(option.name), QString::fromUtf16(option.description),
                          QStringLiteral("TEXT")});
}

ViewCondition condition(const QCommandLineParser& parser)
{
    SearchCriteria criteria;
    for (const Option& option : options)
        criteria.box(option.box) = parser.value(QString::fromLatin1(option.name));
    return CombinedSearch::SqlMade(criteria);
}

} // namespace ViewOptions
