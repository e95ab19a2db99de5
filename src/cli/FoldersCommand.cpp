#include "browser/FolderMenu.h"
#include "cli/Command.h"
#include "cli/RecordOutput.h"

namespace {

class FoldersCommand : public Command {
public:
    QString name() const override { return QStringLiteral("folders"); }
    QString description() const override
    {
        return QStringLiteral("按“文件夹”菜单的顺序列出文件夹（记录最多的在前）");
    }

    void configure(QCommandLineParser& parser) override
    {
        parser.addOption(
            {QStringLiteral("counts"), QStringLiteral("在每个文件夹名后（制表符分隔）显示记录数")});
        RecordOutput::addNullOption(parser);
    }

    int run(const QCommandLineParser& parser, CliContext& context) override
    {
        std::optional<Register> reg = context.openRegister();
        if (!reg)
            return ExitFailed;
        Result<QList<FolderMenu::Entry>> entries = FolderMenu::load(*reg);
        if (!entries) {
            context.fail(entries.error());
            return ExitFailed;
        }
        const bool counts = parser.isSet(QStringLiteral("counts"));
        const QString end = RecordOutput::lineEnd(parser);
        // A name is escaped as a tsv field unless names end with NUL.
        const bool raw = end != QLatin1String("\n");
        for (const FolderMenu::Entry& entry : *entries) {
            context.out << (raw ? entry.name : RecordOutput::tsvEscaped(entry.name));
            if (counts)
                context.out << '\t' << entry.count;
            context.out << end;
        }
        context.out.flush();
        return ExitDone;
    }
};

const CommandRegistration<FoldersCommand> registration;

} // namespace
