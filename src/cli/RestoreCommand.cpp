#include "cli/BackupCheckOutput.h"
#include "cli/Command.h"

#include "backup/Backup.h"
#include "store/RegisterLocation.h"

#include <QDir>

namespace {

// Exit status: 0 restored; 1 refused (a damaged backup, a target that is not
// empty) or failed, with nothing left that looks like a register.
class RestoreCommand : public Command {
public:
    QString name() const override { return QStringLiteral("restore"); }
    QString description() const override
    {
        return QStringLiteral("从备份恢复登记库到空文件夹（--register 指定）");
    }

    void configure(QCommandLineParser& parser) override
    {
        parser.addPositionalArgument(QStringLiteral("SOURCE"), QStringLiteral("备份文件夹"));
    }

    int run(const QCommandLineParser& parser, CliContext& context) override
    {
        if (parser.positionalArguments().size() != 1) {
            context.error() << "需要一个备份文件夹 SOURCE" << Qt::endl;
            return ExitUsage;
        }
        const QString target = RegisterLocation::resolve(context.registerOption);
        Result<Backup::Check> check = Backup::restore(parser.positionalArguments().first(), target);
        if (!check) {
            context.fail(check.error());
            return ExitFailed;
        }
        if (!printBackupCheck(*check, "备份已损坏，未恢复：", context))
            return ExitFailed;
        context.out << QStringLiteral("已恢复登记库到“%1”：%2 个存储副本，回收站中 %3 个，"
                                      "校验值都已核对。")
                           .arg(QDir::toNativeSeparators(target))
                           .arg(check->copies)
                           .arg(check->binCopies)
                    << Qt::endl;
        return ExitDone;
    }
};

const CommandRegistration<RestoreCommand> registration;

} // namespace
