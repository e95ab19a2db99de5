#include "browser/CombinedSearch.h"
#include "browser/SystemViews.h"
#include "cli/Command.h"
#include "cli/RecordOutput.h"
#include "store/DateText.h"

namespace {

struct CriterionOption {
    const char* name;
    SearchCriteria::Box box;
    const char16_t* description;
};

// The seven boxes of the search panel, in box order.
const CriterionOption criterionOptions[] = {
    {"name", SearchCriteria::FileName, u"文件名包含 TEXT"},
    {"recipient", SearchCriteria::Recipient, u"接收人包含 TEXT"},
    {"method", SearchCriteria::Method, u"传送方式包含 TEXT"},
    {"from", SearchCriteria::Earliest, u"发件日期不早于 DATE（如 2006-5-1）"},
    {"to", SearchCriteria::Latest, u"发件日期不晚于 DATE（含当天）"},
    {"remark", SearchCriteria::Remark, u"备注包含 TEXT"},
    {"in-folder", SearchCriteria::Folder, u"文件夹名包含 TEXT"},
};

class ListCommand : public Command {
public:
    QString name() const override { return QStringLiteral("list"); }
    QString description() const override
    {
        return QStringLiteral("列出记录：所有文件、我发他收、他发我收、本地文件或一个文件夹，"
                              "可按条件组合搜索");
    }

    void configure(QCommandLineParser& parser) override
    {
        parser.addOption({QStringLiteral("all"), QStringLiteral("所有文件（默认）")});
        parser.addOption({QStringLiteral("sent"), QStringLiteral("我发他收")});
        parser.addOption({QStringLiteral("received"), QStringLiteral("他发我收")});
        parser.addOption({QStringLiteral("local"), QStringLiteral("本地文件")});
        parser.addOption({QStringLiteral("folder"), QStringLiteral("文件夹 NAME 中的记录"),
                          QStringLiteral("NAME")});
        for (const CriterionOption& option : criterionOptions) {
            const QString name = QString::fromLatin1(option.name);
            const bool isDate =
                option.box == SearchCriteria::Earliest || option.box == SearchCriteria::Latest;
            parser.addOption({name, QString::fromUtf16(option.description),
                              isDate ? QStringLiteral("DATE") : QStringLiteral("TEXT")});
        }
        RecordOutput::addFormatOption(parser);
    }

    int run(const QCommandLineParser& parser, CliContext& context) override
    {
        const std::optional<RecordOutput::Format> format =
            RecordOutput::formatFrom(parser, context.err);
        if (!format)
            return 2;

        int views = 0;
        for (const char* view : {"all", "sent", "received", "local", "folder"})
            views += parser.isSet(QString::fromLatin1(view)) ? 1 : 0;
        if (views > 1) {
            context.err << "quorvel-cli list: --all、--sent、--received、--local、--folder "
                           "只能选一个"
                        << Qt::endl;
            return 2;
        }

        // Every option adds its condition with AND, as the search panel
        // joins its boxes.
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
        for (const CriterionOption& option : criterionOptions) {
            const QString name = QString::fromLatin1(option.name);
            if (!parser.isSet(name))
                continue;
            const QString value = parser.value(name);
            // A script is told, where the panel silently drops the date.
            if ((option.box == SearchCriteria::Earliest || option.box == SearchCriteria::Latest) &&
                !DateText::parse(value)) {
                context.err << "quorvel-cli list: “" << value << "”不是日期（例如 2006-5-1）"
                            << Qt::endl;
                return 2;
            }
            typed.box(option.box) = value;
        }
        // The view's recipient and a typed one must both match.
        condition = SystemViews::allOf(condition, CombinedSearch::SqlMade(criteria));
        condition = SystemViews::allOf(condition, CombinedSearch::SqlMade(typed));

        std::optional<Register> reg = context.openRegister();
        if (!reg)
            return 1;
        Result<std::shared_ptr<ViewRst>> view = ViewRst::open(*reg, condition);
        if (!view) {
            context.fail(view.error());
            return 1;
        }
        RecordOutput::print(**view, *format, context.out);
        return 0;
    }
};

const CommandRegistration<ListCommand> registration;

} // namespace
