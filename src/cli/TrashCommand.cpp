#include "cli/Command.h"
#include "cli/RecordOutput.h"

#include "store/RecordStore.h"
#include "store/RecycleBin.h"
#include "trash/Trash.h"

#include <QDateTime>

#include <unistd.h>

namespace {

QStringList fileNames(const QList<RecycleBin::Entry>& entries)
{
    QStringList names;
    for (const RecycleBin::Entry& entry : entries)
        names << entry.record.fileName;
    return names;
}

// `trash list`, `trash restore SERIAL...`, `trash purge [SERIAL...|--older-than DAYS]`.
// A serial names every record in the bin that had it.
class TrashCommand : public Command {
public:
    QString name() const override { return QStringLiteral("trash"); }
    QString description() const override
    {
        return QStringLiteral("回收站：list 列出，restore 恢复，purge 彻底删除");
    }

    void configure(QCommandLineParser& parser) override
    {
        parser.addPositionalArgument(QStringLiteral("list|restore|purge"),
                                     QStringLiteral("列出、恢复或彻底删除回收站中的记录"));
        parser.addPositionalArgument(QStringLiteral("SERIAL..."),
                                     QStringLiteral("回收站中记录的文件序号"));
        parser.addOption({QStringLiteral("older-than"),
                          QStringLiteral("purge：彻底删除在 DAYS 天以前删除的记录"),
                          QStringLiteral("DAYS")});
        parser.addOption({{QStringLiteral("y"), QStringLiteral("yes")},
                          QStringLiteral("purge：不询问，直接彻底删除")});
        RecordOutput::addFormatOption(parser);
    }

    int run(const QCommandLineParser& parser, CliContext& context) override
    {
        QStringList arguments = parser.positionalArguments();
        const QString action = arguments.isEmpty() ? QString() : arguments.takeFirst();
        if (action != QLatin1String("list") && action != QLatin1String("restore") &&
            action != QLatin1String("purge")) {
            context.error() << "需要 list、restore 或 purge" << Qt::endl;
            return ExitUsage;
        }
        const bool olderThan = parser.isSet(QStringLiteral("older-than"));
        qint64 days = 0;
        if (olderThan) {
            bool ok = false;
            days = parser.value(QStringLiteral("older-than")).toLongLong(&ok);
            if (!ok || days < 0 || action != QLatin1String("purge") || !arguments.isEmpty()) {
                context.error() << "--older-than 只用于 purge，取一个天数，不与序号同用"
                                << Qt::endl;
                return ExitUsage;
            }
        }
        if (action == QLatin1String("restore") && arguments.isEmpty()) {
            context.error() << "至少需要一个序号" << Qt::endl;
            return ExitUsage;
        }
        if (action == QLatin1String("list") && !arguments.isEmpty()) {
            context.error() << "list 不带序号" << Qt::endl;
            return ExitUsage;
        }
        if (!context.serialsAreNumbers(arguments))
            return ExitUsage;
        const std::optional<RecordOutput::Format> format =
            RecordOutput::formatFrom(parser, context.err, name());
        if (!format)
            return ExitUsage;
        std::optional<Register> reg = context.openRegister();
        if (!reg)
            return ExitFailed;
        if (action == QLatin1String("list"))
            return list(*reg, *format, context);

        std::optional<QList<RecycleBin::Entry>> chosen =
            olderThan
                ? deletedBefore(*reg, days, context)
                : (arguments.isEmpty() ? all(*reg, context) : named(*reg, arguments, context));
        if (!chosen)
            return ExitFailed;
        if (action == QLatin1String("restore"))
            return restore(*reg, *chosen, context);
        if (chosen->isEmpty()) {
            context.out << "回收站中没有要彻底删除的记录。" << Qt::endl;
            return ExitDone;
        }
        if (!parser.isSet(QStringLiteral("yes"))) {
            if (!::isatty(STDIN_FILENO)) {
                context.error() << "彻底删除不可恢复，请加 --yes 确认" << Qt::endl;
                return ExitUsage;
            }
            if (!context.confirmed(
                    QStringLiteral("将从回收站彻底删除 %1 条记录及其文件（不可恢复）：")
                        .arg(chosen->size()),
                    fileNames(*chosen)))
                return ExitFailed;
        }
        return purge(*reg, *chosen, context);
    }

private:
    static int list(const Register& reg, RecordOutput::Format format, CliContext& context)
    {
        Result<QList<RecycleBin::Entry>> entries = reg.records()->binEntries();
        if (!entries) {
            context.fail(entries.error());
            return ExitFailed;
        }
        RecordOutput::Writer writer(format, context.out,
                                    RecordOutput::recordKeys() << RecycleBin::deletedAtColumn);
        for (const RecycleBin::Entry& entry : entries.value())
            writer.row(RecordOutput::recordFields(entry.record, format) << entry.deletedAt);
        writer.finish(QStringLiteral("（回收站中 %1 条记录）").arg(entries->size()));
        return ExitDone;
    }

    static std::optional<QList<RecycleBin::Entry>>
    entriesOf(const Register& reg, const Result<QList<qint64>>& identities, CliContext& context)
    {
        if (!identities) {
            context.fail(identities.error());
            return std::nullopt;
        }
        QList<RecycleBin::Entry> entries;
        for (const qint64 identity : identities.value()) {
            Result<std::optional<RecycleBin::Entry>> entry = reg.records()->binEntry(identity);
            if (!entry) {
                context.fail(entry.error());
                return std::nullopt;
            }
            if (entry->has_value())
                entries << **entry;
        }
        return entries;
    }

    static std::optional<QList<RecycleBin::Entry>> all(const Register& reg, CliContext& context)
    {
        Result<QList<RecycleBin::Entry>> entries = reg.records()->binEntries();
        if (!entries) {
            context.fail(entries.error());
            return std::nullopt;
        }
        return entries.value();
    }

    static std::optional<QList<RecycleBin::Entry>> deletedBefore(const Register& reg, qint64 days,
                                                                 CliContext& context)
    {
        const QString cutoff = QDateTime::currentDateTime().addDays(-days).toString(
            QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        return entriesOf(reg, reg.records()->binDeletedBefore(cutoff), context);
    }

    static std::optional<QList<RecycleBin::Entry>>
    named(const Register& reg, const QStringList& serials, CliContext& context)
    {
        QList<RecycleBin::Entry> entries;
        for (const QString& serial : serials) {
            std::optional<QList<RecycleBin::Entry>> found =
                entriesOf(reg, reg.records()->binWithSerial(serial.toLongLong()), context);
            if (!found)
                return std::nullopt;
            if (found->isEmpty()) {
                context.error() << "回收站中没有序号为 " << serial << " 的记录" << Qt::endl;
                return std::nullopt;
            }
            for (const RecycleBin::Entry& entry : *found) {
                const auto same = [&](const RecycleBin::Entry& e) {
                    return e.record.rowid == entry.record.rowid;
                };
                if (std::none_of(entries.cbegin(), entries.cend(), same))
                    entries << entry;
            }
        }
        return entries;
    }

    static int restore(const Register& reg, const QList<RecycleBin::Entry>& entries,
                       CliContext& context)
    {
        int failures = 0;
        for (const RecycleBin::Entry& entry : entries) {
            Result<Trash::Restored> restored = Trash::restore(reg, entry.record.rowid);
            if (!restored) {
                context.error() << entry.record.fileName << ": " << restored.error().message
                                << Qt::endl;
                ++failures;
                continue;
            }
            context.out << "已恢复: " << restored->fileName;
            if (restored->serialChanged())
                context.out << "（序号 " << restored->oldSerial.toString() << " 已被占用，改为 "
                            << restored->serial.toString() << "）";
            if (restored->storedNameChanged())
                context.out << "（存储名“" << restored->oldStoredName << "”已被占用，改为“"
                            << restored->storedName << "”）";
            context.out << Qt::endl;
        }
        return failures == 0 ? ExitDone : ExitFailed;
    }

    static int purge(const Register& reg, const QList<RecycleBin::Entry>& entries,
                     CliContext& context)
    {
        int failures = 0;
        for (const RecycleBin::Entry& entry : entries) {
            if (Status purged = Trash::purge(reg, entry.record.rowid); !purged) {
                context.error() << entry.record.fileName << ": " << purged.error().message
                                << Qt::endl;
                ++failures;
                continue;
            }
            context.out << "已彻底删除: " << entry.record.fileName << Qt::endl;
        }
        return failures == 0 ? ExitDone : ExitFailed;
    }
};

const CommandRegistration<TrashCommand> registration;

} // namespace
