#include "cli/Command.h"

namespace {

class InitCommand : public Command {
public:
    QString name() const override { return QStringLiteral("init"); }
    QString description() const override { return QStringLiteral("创建登记库（已存在时说明）"); }

    int run(const QCommandLineParser&, CliContext& context) override
    {
        std::optional<Register> reg = context.openRegister(Register::Mode::CreateIfMissing);
        if (!reg)
            return ExitFailed;
        // A register on a server is named by its database; its folder may
        // be only where the copies lie.
        const QString where = reg->server()
                                  ? QStringLiteral("PostgreSQL（%1）").arg(reg->server()->shown())
                                  : reg->folder();
        if (reg->wasCreated())
            context.out << "已创建登记库: " << where << Qt::endl;
        else
            context.out << "登记库已存在: " << where << Qt::endl;
        return ExitDone;
    }
};

const CommandRegistration<InitCommand> registration;

} // namespace
