#include "cli/Command.h"
#include "cli/LegacyReportOutput.h"

#include "legacy/LegacyImport.h"

namespace {

// Exit status: 0 every record imported, 1 some were not (listed) or failed,
// 2 no folder given.
class ImportLegacyCommand : public Command {
public:
    QString name() const override { return QStringLiteral("import-legacy"); }
    QString description() const override
    {
        return QStringLiteral("把另一个旧格式（Access/Jet）登记库的记录和文件导入本登记库");
    }

    void configure(QCommandLineParser& parser) override
    {
        parser.addPositionalArgument(
            QStringLiteral("FOLDER"),
            QStringLiteral("旧登记库文件夹（含 文件管理.mdb 和 随机文件）"));
    }

    int run(const QCommandLineParser& parser, CliContext& context) override
    {
        const QStringList arguments = parser.positionalArguments();
        if (arguments.size() != 1) {
            context.error() << "请给出一个旧登记库文件夹" << Qt::endl;
            return ExitUsage;
        }
        std::optional<Register> reg = context.openRegister();
        if (!reg)
            return ExitFailed;
        return printLegacyReport(LegacyImport::run(*reg, arguments.first()), context);
    }
};

const CommandRegistration<ImportLegacyCommand> registration;

} // namespace
