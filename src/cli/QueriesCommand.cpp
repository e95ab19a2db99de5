#include "cli/Command.h"
#include "cli/RecordOutput.h"

#include "queries/QuerySlots.h"

namespace {

const char16_t* const headers[] = {u"编号",   u"名称",     u"工具条标题", u"文件名",
                                   u"接收人", u"传送方式", u"最早日期",   u"最晚日期",
                                   u"备注",   u"文件夹",   u"文件内容",   u"状态"};
const char* const jsonKeys[] = {"slot",     "name",   "title",  "fileName", "recipient", "method",
                                "earliest", "latest", "remark", "folder",   "content",   "empty"};

class QueriesCommand : public Command {
public:
    QString name() const override { return QStringLiteral("queries"); }
    QString description() const override { return QStringLiteral("列出九个自定义查询"); }

    void configure(QCommandLineParser& parser) override { RecordOutput::addFormatOption(parser); }

    int run(const QCommandLineParser& parser, CliContext& context) override
    {
        const std::optional<RecordOutput::Format> format =
            RecordOutput::formatFrom(parser, context.err, name());
        if (!format)
            return ExitUsage;
        std::optional<Register> reg = context.openRegister();
        if (!reg)
            return ExitFailed;
        Result<QList<QuerySlot>> slots = QuerySlots::readAll(*reg);
        if (!slots) {
            context.fail(slots.error());
            return ExitFailed;
        }
        QStringList header;
        for (const char16_t* text : headers)
            header << QString::fromUtf16(text);
        QStringList keys;
        for (const char* key : jsonKeys)
            keys << QString::fromLatin1(key);
        RecordOutput::Writer writer(*format, context.out, header, keys);
        for (const QuerySlot& slot : slots.value()) {
            QVariantList fields{slot.number, slot.name, slot.title};
            for (int box = 0; box < SearchCriteria::BoxCount; ++box)
                fields << slot.criteria.box(box);
            // JSON says set or not as a boolean, people read a word.
            if (*format == RecordOutput::Format::Json || *format == RecordOutput::Format::Jsonl)
                fields << slot.isEmptySlot();
            else
                fields << (slot.isEmptySlot() ? QStringLiteral("未设置")
                                              : QStringLiteral("已设置"));
            writer.row(fields);
        }
        writer.finish();
        return ExitDone;
    }
};

const CommandRegistration<QueriesCommand> registration;

} // namespace
