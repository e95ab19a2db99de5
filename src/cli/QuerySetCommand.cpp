#include "cli/Command.h"
#include "cli/QuerySlotArgument.h"
#include "cli/ViewOptions.h"

#include "browser/CombinedSearch.h"
#include "queries/QuerySlots.h"

namespace {

// Saves a slot through the same code as the definitions form. Criteria and
// title that are not given keep their stored values; "" empties them.
class QuerySetCommand : public Command {
public:
    QString name() const override { return QStringLiteral("query-set"); }
    QString description() const override
    {
        return QStringLiteral("设置第 N 个自定义查询（未给出的条件保持不变）");
    }

    void configure(QCommandLineParser& parser) override
    {
        QuerySlotArgument::add(parser);
        parser.addOption(
            {QStringLiteral("name"), QStringLiteral("菜单中的标题"), QStringLiteral("TEXT")});
        parser.addOption({QStringLiteral("title"),
                          QStringLiteral("工具条中的标题（四个字符以下，多余的截去）"),
                          QStringLiteral("TEXT")});
        ViewOptions::addCriteria(parser, QStringLiteral("file-name"));
    }

    int run(const QCommandLineParser& parser, CliContext& context) override
    {
        const std::optional<int> number = QuerySlotArgument::from(parser, name(), context.err);
        if (!number)
            return ExitUsage;
        // Something must be given to change.
        const bool given =
            std::any_of(parser.optionNames().cbegin(), parser.optionNames().cend(),
                        [](const QString& option) { return option != QLatin1String("register"); });
        if (!given) {
            context.error() << "请给出要修改的标题或条件" << Qt::endl;
            return ExitUsage;
        }
        std::optional<Register> reg = context.openRegister();
        if (!reg)
            return ExitFailed;
        Result<QuerySlot> stored = QuerySlots::read(*reg, *number);
        if (!stored) {
            context.fail(stored.error());
            return ExitFailed;
        }
        QueryDefinition definition;
        definition.name = parser.isSet(QStringLiteral("name"))
                              ? parser.value(QStringLiteral("name"))
                              : stored->name;
        definition.title = parser.isSet(QStringLiteral("title"))
                               ? parser.value(QStringLiteral("title"))
                               : stored->title.trimmed();
        definition.criteria = stored->criteria;
        // Dates are stored as typed, as the form stores them.
        ViewOptions::readCriteria(parser, definition.criteria, QStringLiteral("file-name"));
        // Dates are stored as typed; say now that a run will ignore one.
        for (const QString& date : CombinedSearch::ignoredDates(definition.criteria))
            context.warning() << "“" << date << "”不是日期，运行查询时将忽略该条件。" << Qt::endl;
        if (Status saved = QuerySlots::save(*reg, *number, definition); !saved) {
            context.fail(saved.error());
            return ExitFailed;
        }
        context.out << "自定义查询" << *number << "修改成功" << Qt::endl;
        return ExitDone;
    }
};

const CommandRegistration<QuerySetCommand> registration;

} // namespace
