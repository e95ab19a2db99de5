#include "cli/Command.h"

#include "integrity/IntegrityCheck.h"

namespace {

// Exit status: 0 nothing to do, 1 something needs the user's decision or the
// check itself failed.
class CheckCommand : public Command {
public:
    QString name() const override { return QStringLiteral("check"); }
    QString description() const override
    {
        return QStringLiteral("检查登记库：缺少的存储副本、多余文件、残留文件、序号");
    }

    void configure(QCommandLineParser& parser) override
    {
        parser.addOption(m_verify);
        parser.addOption(m_repair);
    }

    int run(const QCommandLineParser& parser, CliContext& context) override
    {
        std::optional<Register> reg = context.openRegister();
        if (!reg)
            return ExitFailed;
        Integrity::Options options;
        options.verify = parser.isSet(m_verify);
        options.repair = parser.isSet(m_repair);
        Result<Integrity::Report> report = Integrity::check(*reg, options);
        if (!report) {
            context.fail(report.error());
            return ExitFailed;
        }
        for (const Integrity::Finding& finding : report->findings) {
            // Older registers have no hashes at all: the summary counts them.
            if (finding.kind == Integrity::Kind::NotHashed)
                continue;
            context.out << "[" << Integrity::kindLabel(finding.kind) << "] " << finding.text()
                        << "\n";
        }
        context.out << report->summary() << "\n";
        if (!options.repair && report->removableLeftovers() > 0)
            context.out << "使用 --repair 删除残留文件。"
                        << "\n";
        context.out.flush();
        return report->needingDecision() == 0 ? ExitDone : ExitFailed;
    }

private:
    const QCommandLineOption m_verify{QStringLiteral("verify"),
                                      QStringLiteral("读取每个存储副本，核对大小和校验值")};
    const QCommandLineOption m_repair{
        QStringLiteral("repair"),
        QStringLiteral("删除中断的复制和删除留下的残留文件（不会删除任何记录的文件）")};
};

const CommandRegistration<CheckCommand> registration;

} // namespace
