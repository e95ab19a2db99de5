#include "cli/Command.h"
#include "cli/QuerySlotArgument.h"
#include "cli/RecordOutput.h"

#include "browser/CombinedSearch.h"
#include "queries/QuerySlots.h"

namespace {

// Runs a saved query the way the main window does: its criteria go through
// the combined search.
class QueryCommand : public Command {
public:
    QString name() const override { return QStringLiteral("query"); }
    QString description() const override
    {
        return QStringLiteral("运行第 N 个自定义查询并列出记录");
    }

    void configure(QCommandLineParser& parser) override
    {
        QuerySlotArgument::add(parser);
        RecordOutput::addFormatOption(parser);
    }

    int run(const QCommandLineParser& parser, CliContext& context) override
    {
        const std::optional<int> number = QuerySlotArgument::from(parser, name(), context.err);
        if (!number)
            return ExitUsage;
        const std::optional<RecordOutput::Format> format =
            RecordOutput::formatFrom(parser, context.err, name());
        if (!format)
            return ExitUsage;
        std::optional<Register> reg = context.openRegister();
        if (!reg)
            return ExitFailed;
        Result<QueryRun> run = QuerySlots::prepareRun(*reg, *number);
        if (!run) {
            context.fail(run.error());
            return ExitFailed;
        }
        if (run->emptySlot)
            context.warning() << "自定义查询" << *number << "还未设置，列出所有记录。" << Qt::endl;

        const CombinedSearch::Made made = CombinedSearch::build(run->criteria);
        for (const QString& date : made.ignoredDates)
            context.warning() << "“" << date << "”不是日期，已忽略。" << Qt::endl;
        if (*format == RecordOutput::Format::Table)
            context.out << run->caption << "\n";
        return RecordOutput::list(*reg, made.condition, *format, context);
    }
};

const CommandRegistration<QueryCommand> registration;

} // namespace
