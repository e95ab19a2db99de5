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
        if (reg->wasCreated())
            context.out << "已创建登记库: " << reg->folder() << Qt::endl;
        else
            context.out << "登记库已存在: " << reg->folder() << Qt::endl;
        return ExitDone;
    }
};

const CommandRegistration<InitCommand> registration;

} // namespace
