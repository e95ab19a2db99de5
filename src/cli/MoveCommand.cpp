#include "cli/Command.h"

#include "cli/ViewOptions.h"
#include "operations/RecordReorder.h"

namespace {

// move-up and move-down: exchange a record's serial with its neighbour's in
// a view (all records unless view options are given).
class MoveCommand : public Command {
public:
    explicit MoveCommand(bool up) : m_up(up) {}

    QString name() const override
    {
        return m_up ? QStringLiteral("move-up") : QStringLiteral("move-down");
    }
    QString description() const override
    {
        return m_up ? QStringLiteral("把记录在视图中上移一位（与相邻记录交换序号）")
                    : QStringLiteral("把记录在视图中下移一位（与相邻记录交换序号）");
    }

    void configure(QCommandLineParser& parser) override
    {
        parser.addPositionalArgument(QStringLiteral("SERIAL"), QStringLiteral("记录的文件序号"));
        ViewOptions::addView(parser);
    }

    int run(const QCommandLineParser& parser, CliContext& context) override
    {
        const QStringList arguments = parser.positionalArguments();
        if (arguments.size() != 1) {
            context.error() << "需要一个序号" << Qt::endl;
            return ExitUsage;
        }
        const std::optional<ViewCondition> condition =
            ViewOptions::viewCondition(parser, context.err, name());
        if (!condition)
            return ExitUsage;
        const CliContext::NamedRecords named = context.openRecords({arguments.at(0)});
        if (!named)
            return named.status;
        const std::optional<Register>& reg = named.reg;
        const qint64 rowid = named.records.first().rowid;
        Result<std::shared_ptr<ViewRst>> view = ViewRst::open(*reg, *condition);
        if (!view) {
            context.fail(view.error());
            return ExitFailed;
        }
        const int position = view.value()->positionOf(rowid);
        if (position == 0) {
            context.error() << "序号 " << arguments.at(0) << " 的记录不在此视图中" << Qt::endl;
            return ExitFailed;
        }
        if (position == (m_up ? 1 : view.value()->recordCount())) {
            context.out << (m_up ? "已是第一条，未移动" : "已是最后一条，未移动") << Qt::endl;
            return ExitDone;
        }
        const Status moved = m_up ? RecordReorder::moveUp(*view.value(), position)
                                  : RecordReorder::moveDown(*view.value(), position);
        if (!moved) {
            context.fail(moved.error());
            return ExitFailed;
        }
        context.out << (m_up ? "已上移" : "已下移") << Qt::endl;
        return ExitDone;
    }

private:
    bool m_up;
};

struct MoveUpCommand : MoveCommand {
    MoveUpCommand() : MoveCommand(true) {}
};
struct MoveDownCommand : MoveCommand {
    MoveDownCommand() : MoveCommand(false) {}
};

const CommandRegistration<MoveUpCommand> moveUp;
const CommandRegistration<MoveDownCommand> moveDown;

} // namespace
