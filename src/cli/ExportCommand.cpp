#include "cli/Command.h"

#include "operations/RecordExport.h"

#include <QDir>
#include <QFileInfo>

namespace {

class ExportCommand : public Command {
public:
    QString name() const override { return QStringLiteral("export"); }
    QString description() const override
    {
        return QStringLiteral("把一条记录的存储文件另存到 DEST（文件或文件夹）");
    }

    void configure(QCommandLineParser& parser) override
    {
        parser.addPositionalArgument(QStringLiteral("SERIAL"), QStringLiteral("记录的文件序号"));
        parser.addPositionalArgument(QStringLiteral("DEST"),
                                     QStringLiteral("目标文件，或放入的文件夹"));
        parser.addOption({{QStringLiteral("f"), QStringLiteral("force")},
                          QStringLiteral("目标文件已存在时覆盖它")});
    }

    int run(const QCommandLineParser& parser, CliContext& context) override
    {
        const QStringList arguments = parser.positionalArguments();
        if (arguments.size() != 2) {
            context.error() << "需要 SERIAL 和 DEST 两个参数" << Qt::endl;
            return ExitUsage;
        }
        const CliContext::NamedRecords named = context.openRecords({arguments.at(0)});
        if (!named)
            return named.status;
        const std::optional<Register>& reg = named.reg;
        const RegisterRecord* record = &named.records.first();
        QString target = arguments.at(1);
        if (QFileInfo(target).isDir())
            target = QDir(target).filePath(RecordExport::plainName(record->fileName));
        if (RecordExport::isTaken(target) && !parser.isSet(QStringLiteral("force"))) {
            context.error() << "“" << target << "”已经存在（用 --force 覆盖）" << Qt::endl;
            return ExitFailed;
        }
        if (Status saved = RecordExport::saveRecordAs(*reg, record->rowid, target); !saved) {
            context.fail(saved.error());
            return ExitFailed;
        }
        context.out << "已另存为: " << target << Qt::endl;
        return ExitDone;
    }
};

const CommandRegistration<ExportCommand> registration;

} // namespace
