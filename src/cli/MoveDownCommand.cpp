#include "cli/Command.h"

#include "cli/ViewOptions.h"
#include "operations/RecordLookup.h"
#include "operations/RecordReorder.h"

namespace {

class MoveDownCommand : public Command {
public:
    QString name() const override { return QStringLiteral("move-down"); }
    QString description() const override
    {
        return QStringLiteral("把记录在视图中下移一位（与相邻记录交换序号）");
    }

    void configure(QCommandLineParser& parser) override
    {
        parser.addPositionalArgument(QStringLiteral("SERIAL"), QStringLiteral("记录的文件序号"));
        // The neighbour is the one in this view; without options, all records.
        ViewOptions::add(parser);
    }

    int run(const QCommandLineParser& parser, CliContext& context) override
    {
        const QStringList arguments = parser.positionalArguments();
        if (arguments.size() != 1) {
            context.err << "quorvel-cli move-down: 需要一个序号" << Qt::endl;
            return 2;
        }
        std::optional<Register> reg = context.openRegister();
        if (!reg)
            return 1;
        Result<qint64> rowid = RecordLookup::rowidForSerial(*reg, arguments.at(0));
        if (!rowid) {
            context.fail(rowid.error());
            return 1;
        }
        Result<std::shared_ptr<ViewRst>> view = ViewRst::open(*reg, ViewOptions::condition(parser));
        if (!view) {
            context.fail(view.error());
            return 1;
        }
        const int position = view.value()->positionOf(rowid.value());
        if (position == 0) {
            context.err << "quorvel-cli: 序号 " << arguments.at(0) << " 的记录不在此视图中"
                        << Qt::endl;
            return 1;
        }
        if (position == view.value()->recordCount()) {
            context.out << "已是最后一条，未移动" << Qt::endl;
            return 0;
        }
        if (Status moved = RecordReorder::moveDown(*view.value(), position); !moved) {
            context.fail(moved.error());
            return 1;
        }
        context.out << "已下移" << Qt::endl;
        return 0;
    }
};

const CommandRegistration<MoveDownCommand> registration;

} // namespace
