#include "cli/BackupCheckOutput.h"
#include "cli/Command.h"

#include "backup/Backup.h"

namespace {

// Exit status: 0 done (or, with --verify, the backup is good); 1 failed,
// the backup was made but a copy the records name was missing from the
// register or differed from its recorded hash, or the backup is damaged.
class BackupCommand : public Command {
public:
    QString name() const override { return QStringLiteral("backup"); }
    QString description() const override
    {
        return QStringLiteral("备份登记库（数据库和存储副本）到文件夹，或核对一份备份");
    }

    void configure(QCommandLineParser& parser) override
    {
        parser.addOption(m_verify);
        parser.addPositionalArgument(QStringLiteral("DEST"),
                                     QStringLiteral("备份文件夹（新的、空的，或以前的备份）"));
    }

    int run(const QCommandLineParser& parser, CliContext& context) override
    {
        if (parser.positionalArguments().size() != 1) {
            context.error() << "需要一个备份文件夹 DEST" << Qt::endl;
            return ExitUsage;
        }
        const QString destination = parser.positionalArguments().first();
        if (parser.isSet(m_verify))
            return verify(destination, context);
        std::optional<Register> reg = context.openRegister();
        if (!reg)
            return ExitFailed;
        Result<Backup::Report> report = Backup::run(*reg, destination);
        if (!report) {
            context.fail(report.error());
            return ExitFailed;
        }
        context.out << report->text() << Qt::endl;
        return report->complete() ? ExitDone : ExitFailed;
    }

private:
    static int verify(const QString& source, CliContext& context)
    {
        Result<Backup::Check> check = Backup::verify(source);
        if (!check) {
            context.fail(check.error());
            return ExitFailed;
        }
        if (!printBackupCheck(*check, "备份已损坏：", context))
            return ExitFailed;
        context.out << QStringLiteral(
                           "备份完好：%1 个存储副本，回收站中 %2 个，大小和校验值都相符。")
                           .arg(check->copies)
                           .arg(check->binCopies)
                    << Qt::endl;
        return ExitDone;
    }

    const QCommandLineOption m_verify{QStringLiteral("verify"),
                                      QStringLiteral("不做备份，按清单核对 DEST 中的备份")};
};

const CommandRegistration<BackupCommand> registration;

} // namespace
