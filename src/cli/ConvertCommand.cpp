#include "cli/Command.h"
#include "cli/LegacyReportOutput.h"

#include "legacy/LegacyConversion.h"
#include "store/RegisterLocation.h"

namespace {

// Exit status: 0 converted (or nothing to do) with nothing lost, 1 converted
// but something of the old register did not come over (listed) or failed.
class ConvertCommand : public Command {
public:
    QString name() const override { return QStringLiteral("convert"); }
    QString description() const override
    {
        return QStringLiteral("把旧格式（Access/Jet）的登记库就地转换为 Quorvel 登记库");
    }

    void configure(QCommandLineParser& parser) override { parser.addOption(m_dryRun); }

    int run(const QCommandLineParser& parser, CliContext& context) override
    {
        const QString folder = RegisterLocation::resolve(context.registerOption);
        return printLegacyReport(LegacyConversion::convert(folder, parser.isSet(m_dryRun)),
                                 context);
    }

private:
    const QCommandLineOption m_dryRun{QStringLiteral("dry-run"),
                                      QStringLiteral("只读取旧登记库并报告，不改动任何文件")};
};

const CommandRegistration<ConvertCommand> registration;

} // namespace
