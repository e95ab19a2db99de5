#include "cli/Command.h"

#include "base/TestPause.h"
#include "operations/RecordDelete.h"
#include "operations/RecordLookup.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace {

class DeleteCommand : public Command {
public:
    QString name() const override { return QStringLiteral("delete"); }
    QString description() const override
    {
        return QStringLiteral("删除记录及其存储文件（移入回收站）");
    }

    void configure(QCommandLineParser& parser) override
    {
        parser.addPositionalArgument(QStringLiteral("SERIAL..."), QStringLiteral("记录的文件序号"));
        parser.addOption(
            {{QStringLiteral("y"), QStringLiteral("yes")}, QStringLiteral("不询问，直接删除")});
    }

    int run(const QCommandLineParser& parser, CliContext& context) override
    {
        const QStringList serials = parser.positionalArguments();
        if (serials.isEmpty()) {
            context.error() << "至少需要一个序号" << Qt::endl;
            return ExitUsage;
        }
        const CliContext::NamedRecords named = context.openRecords(serials);
        if (!named)
            return named.status;
        const std::optional<Register>& reg = named.reg;
        const QList<RegisterRecord>* found = &named.records;
        QList<SeenRecord> records;
        QStringList names;
        for (const RegisterRecord& record : *found) {
            records << SeenRecord::of(record);
            names << record.fileName;
        }
        if (!parser.isSet(QStringLiteral("yes"))) {
            // Without a terminal to ask on, --yes is required: a usage error.
            if (!::isatty(STDIN_FILENO)) {
                context.error() << "删除前需要确认，请加 --yes" << Qt::endl;
                return ExitUsage;
            }
            if (!context.confirmed(
                    QStringLiteral("将删除 %1 条记录及其存储文件：").arg(names.size()), names))
                return ExitFailed;
        }
        TestPause::at("delete-confirmed");

        int failures = 0;
        for (qsizetype i = 0; i < records.size(); ++i) {
            const Status deleted = RecordDelete::deleteRecord(*reg, records.at(i));
            if (!deleted) {
                context.error() << names.at(i) << ": " << deleted.error().message << Qt::endl;
                ++failures;
                continue;
            }
            context.out << "已删除: " << names.at(i) << Qt::endl;
        }
        return failures == 0 ? ExitDone : ExitFailed;
    }
};

const CommandRegistration<DeleteCommand> registration;

} // namespace
