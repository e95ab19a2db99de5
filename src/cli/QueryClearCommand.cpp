#include "cli/Command.h"
#include "cli/QuerySlotArgument.h"

#include "queries/QuerySlots.h"

namespace {

class QueryClearCommand : public Command {
public:
    QString name() const override { return QStringLiteral("query-clear"); }
    QString description() const override
    {
        return QStringLiteral("清除第 N 个自定义查询（保留工具条标题）");
    }

    void configure(QCommandLineParser& parser) override { QuerySlotArgument::add(parser); }

    int run(const QCommandLineParser& parser, CliContext& context) override
    {
        const std::optional<int> number = QuerySlotArgument::from(parser, name(), context.err);
        if (!number)
            return ExitUsage;
        std::optional<Register> reg = context.openRegister();
        if (!reg)
            return ExitFailed;
        if (Status cleared = QuerySlots::clear(*reg, *number); !cleared) {
            context.fail(cleared.error());
            return ExitFailed;
        }
        context.out << "自定义查询" << *number << "已清除" << Qt::endl;
        return ExitDone;
    }
};

const CommandRegistration<QueryClearCommand> registration;

} // namespace
