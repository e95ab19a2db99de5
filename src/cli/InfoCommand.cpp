#include "cli/Command.h"

#include "store/RecordStore.h"

namespace {

class InfoCommand : public Command {
public:
    QString name() const override { return QStringLiteral("info"); }
    QString description() const override
    {
        return QStringLiteral("显示登记库文件夹、类型、数据库和记录数");
    }

    int run(const QCommandLineParser&, CliContext& context) override
    {
        std::optional<Register> reg = context.openRegister();
        if (!reg)
            return ExitFailed;
        Result<qint64> count = reg->records()->recordCount();
        if (!count) {
            context.fail(count.error());
            return ExitFailed;
        }
        context.out << "登记库文件夹: " << reg->folder() << "\n";
        if (const PgTarget* server = reg->server())
            context.out << "类型:         PostgreSQL（" << server->shown() << "）\n"
                        << "数据库:       " << server->address() << "\n";
        else
            context.out << "类型:         SQLite\n"
                        << "数据库文件:   " << reg->databasePath() << "\n";
        context.out << "存储文件夹:   " << reg->storeFolder() << "\n"
                    << "记录数:       " << count.value() << Qt::endl;
        return ExitDone;
    }
};

const CommandRegistration<InfoCommand> registration;

} // namespace
