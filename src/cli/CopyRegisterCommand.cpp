#include "cli/Command.h"

#include "copy/RegisterCopy.h"

namespace {

// `copy-register --to TARGET`: the whole register into a new one of either
// kind, or the rest of a copy that was cut short. Exit status 1 when a
// record could not be copied whole (each is told on stderr) or the copy
// failed; run again, it goes on where it stopped.
class CopyRegisterCommand : public Command {
public:
    QString name() const override { return QStringLiteral("copy-register"); }
    QString description() const override
    {
        return QStringLiteral("把整个登记库（记录、查询、校验值、存储副本）复制到新的登记库，"
                              "例如搬到服务器上；历史从复制时开始，回收站不复制");
    }

    void configure(QCommandLineParser& parser) override
    {
        parser.addOption(m_to);
        parser.addOption(m_batch);
    }

    int run(const QCommandLineParser& parser, CliContext& context) override
    {
        if (!parser.isSet(m_to) || !parser.positionalArguments().isEmpty()) {
            context.error() << "需要 --to TARGET（目标登记库的文件夹或 postgresql:// 地址）"
                            << Qt::endl;
            return ExitUsage;
        }
        bool number = false;
        const int batch = parser.value(m_batch).toInt(&number);
        if (!number || batch < 1) {
            context.error() << "--batch 需要一个正整数" << Qt::endl;
            return ExitUsage;
        }
        std::optional<Register> source = context.openRegister();
        if (!source)
            return ExitFailed;
        Result<Register> target = Register::open(parser.value(m_to));
        if (!target) {
            context.fail(target.error());
            return ExitFailed;
        }
        RegisterCopy::Options options;
        options.batchRecords = batch;
        options.progress = [&](qint64 done, qint64 total) {
            context.err << QStringLiteral("已复制 %1 / %2 条记录").arg(done).arg(total) << Qt::endl;
        };
        Result<RegisterCopy::Report> report = RegisterCopy::run(*source, *target, options);
        if (!report) {
            context.fail(report.error());
            return ExitFailed;
        }
        for (const RegisterCopy::Problem& problem : report->problems)
            context.warning() << QStringLiteral("序号 %1“%2”：%3")
                                     .arg(problem.serial, problem.fileName, problem.message)
                              << Qt::endl;
        context.out << report->summary() << Qt::endl;
        return report->complete() ? ExitDone : ExitFailed;
    }

private:
    const QCommandLineOption m_to{QStringLiteral("to"),
                                  QStringLiteral("目标登记库：新的文件夹、postgresql:// 地址，"
                                                 "或上次中断的复制的目标"),
                                  QStringLiteral("TARGET")};
    const QCommandLineOption m_batch{QStringLiteral("batch"),
                                     QStringLiteral("每个事务写入的记录数（默认 1000）"),
                                     QStringLiteral("N"), QStringLiteral("1000")};
};

const CommandRegistration<CopyRegisterCommand> registration;

} // namespace
