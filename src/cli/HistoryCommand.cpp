#include "cli/Command.h"
#include "cli/RecordOutput.h"

#include "operations/RecordHistory.h"

namespace {

// `history [SERIAL]`: what was done to every record, or to the record that
// has SERIAL now (followed through its moves, and into the bin), newest
// first.
class HistoryCommand : public Command {
public:
    QString name() const override { return QStringLiteral("history"); }
    QString description() const override
    {
        return QStringLiteral("列出记录的历史：谁在何时登记、修改、移动、删除或恢复");
    }

    void configure(QCommandLineParser& parser) override
    {
        parser.addPositionalArgument(QStringLiteral("[SERIAL]"),
                                     QStringLiteral("只列出现在序号为 SERIAL 的记录的历史"));
        RecordOutput::addFormatOption(parser);
    }

    int run(const QCommandLineParser& parser, CliContext& context) override
    {
        const QStringList arguments = parser.positionalArguments();
        if (arguments.size() > 1) {
            context.error() << "最多一个序号" << Qt::endl;
            return ExitUsage;
        }
        if (!context.serialsAreNumbers(arguments))
            return ExitUsage;
        const std::optional<RecordOutput::Format> format =
            RecordOutput::formatFrom(parser, context.err, name());
        if (!format)
            return ExitUsage;
        std::optional<Register> reg = context.openRegister();
        if (!reg)
            return ExitFailed;
        Result<QList<Audit::Entry>> entries =
            arguments.isEmpty()
                ? RecordHistory::all(*reg)
                : RecordHistory::ofSerial(*reg, arguments.first().trimmed().toLongLong());
        if (!entries) {
            context.fail(entries.error());
            return ExitFailed;
        }
        RecordOutput::Writer writer(*format, context.out,
                                    {Audit::timeColumn, Audit::userColumn, Audit::actionColumn,
                                     Audit::identityColumn, QStringLiteral("变更")},
                                    {QStringLiteral("time"), QStringLiteral("user"),
                                     QStringLiteral("action"), QStringLiteral("identity"),
                                     QStringLiteral("changes")});
        for (const Audit::Entry& entry : entries.value())
            writer.row(
                {entry.time, entry.user, entry.action, entry.identity, Audit::changesText(entry)});
        writer.finish(QStringLiteral("（%1 条历史记录）").arg(entries->size()));
        return writer.output().stopped() ? ExitFailed : ExitDone;
    }
};

const CommandRegistration<HistoryCommand> registration;

} // namespace
