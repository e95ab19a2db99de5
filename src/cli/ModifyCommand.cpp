#include "cli/Command.h"

#include "modify/RecordModify.h"
#include "operations/RecordLookup.h"

#include <algorithm>

namespace {

// The fields `modify` changes, each with its option.
QList<RecordFields::Field> optionFields()
{
    QList<RecordFields::Field> fields;
    for (const RecordFields::Field& field : RecordFields::all()) {
        if (field.modifiable)
            fields << field;
    }
    return fields;
}

// "a、b、c或d", with `space` around the last "或".
QString listed(const QStringList& items, bool space)
{
    const QString last = space ? QStringLiteral(" 或 ") : QStringLiteral("或");
    return items.size() < 2
               ? items.join(QString())
               : items.mid(0, items.size() - 1).join(QStringLiteral("、")) + last + items.last();
}

class ModifyCommand : public Command {
public:
    QString name() const override { return QStringLiteral("modify"); }
    QString description() const override
    {
        QStringList labels;
        for (const RecordFields::Field& field : optionFields())
            labels << field.label;
        return QStringLiteral("修改记录的") + listed(labels, false);
    }

    void configure(QCommandLineParser& parser) override
    {
        parser.addPositionalArgument(QStringLiteral("SERIAL..."), QStringLiteral("记录的文件序号"));
        for (const RecordFields::Field& field : optionFields()) {
            const QString note = field.optionNote
                                     ? QStringLiteral("，") + QString::fromUtf16(field.optionNote)
                                     : QString();
            parser.addOption({QString::fromLatin1(field.option),
                              QStringLiteral("新的%1（最多 %2 字%3）")
                                  .arg(field.label)
                                  .arg(field.limit)
                                  .arg(note),
                              QStringLiteral("TEXT")});
        }
    }

    int run(const QCommandLineParser& parser, CliContext& context) override
    {
        const QStringList serials = parser.positionalArguments();
        RecordModify::Changes changes;
        QStringList options;
        for (const RecordFields::Field& field : optionFields()) {
            const QString name = QString::fromLatin1(field.option);
            options << QStringLiteral("--") + name;
            if (parser.isSet(name))
                changes[field.field] = parser.value(name);
        }
        if (serials.isEmpty() || changes.isEmpty()) {
            context.error() << "需要至少一个序号和至少一个 " << listed(options, true) << Qt::endl;
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
