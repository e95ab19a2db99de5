#include "cli/Command.h"

#include "modify/RecordModify.h"
#include "operations/RecordLookup.h"

#include <algorithm>

namespace {

using RecordModify::Field;

struct FieldOption {
    const char* name;
    const char16_t* description;
    Field field;
};

const FieldOption fieldOptions[] = {
    {"remark", u"新的备注（最多 150 字）", Field::Remark},
    {"recipient", u"新的接收人（最多 50 字）", Field::Recipient},
    {"method", u"新的传送方式（最多 50 字）", Field::Method},
    {"folder", u"新的文件夹（最多 50 字，空文字表示不在文件夹中）", Field::Folder},
};

class ModifyCommand : public Command {
public:
    QString name() const override { return QStringLiteral("modify"); }
    QString description() const override
    {
        return QStringLiteral("修改记录的备注、接收人、传送方式或文件夹");
    }

    void configure(QCommandLineParser& parser) override
    {
        parser.addPositionalArgument(QStringLiteral("SERIAL..."), QStringLiteral("记录的文件序号"));
        for (const FieldOption& option : fieldOptions)
            parser.addOption({QString::fromLatin1(option.name),
                              QString::fromUtf16(option.description), QStringLiteral("TEXT")});
    }

    int run(const QCommandLineParser& parser, CliContext& context) override
    {
        const QStringList serials = parser.positionalArguments();
        RecordModify::Changes changes;
        for (const FieldOption& option : fieldOptions) {
            const QString name = QString::fromLatin1(option.name);
            if (parser.isSet(name))
                changes[option.field] = parser.value(name);
        }
        if (serials.isEmpty() || changes.isEmpty()) {
            context.error() << "需要至少一个序号和至少一个 --remark、"
                               "--recipient、--method 或 --folder"
                            << Qt::endl;
            return ExitUsage;
        }
        const CliContext::NamedRecords named = context.openRecords(serials);
        if (!named)
            return named.status;
        const std::optional<Register>& reg = named.reg;
        const QList<RegisterRecord>* found = &named.records;
        QList<SeenRecord> records;
        for (const RegisterRecord& record : *found)
            records << SeenRecord::of(record);
        // All the named records change together, or none does.
        if (Status applied = RecordModify::apply(*reg, records, changes); !applied) {
            context.fail(applied.error());
            return ExitFailed;
        }
        context.out << "已修改 " << records.size() << " 条记录" << Qt::endl;
        return ExitDone;
    }
};

const CommandRegistration<ModifyCommand> registration;

} // namespace
