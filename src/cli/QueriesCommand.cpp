#include "cli/Command.h"
#include "cli/RecordOutput.h"

#include "queries/QuerySlots.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const char16_t* const headers[] = {u"编号",   u"名称",     u"工具条标题", u"文件名",
                                   u"接收人", u"传送方式", u"最早日期",   u"最晚日期",
                                   u"备注",   u"文件夹",   u"状态"};
const char* const jsonKeys[] = {"slot",     "name",   "title",  "fileName", "recipient", "method",
                                "earliest", "latest", "remark", "folder",   "empty"};

QStringList fieldsOf(const QuerySlot& slot)
{
    QStringList fields{QString::number(slot.number), slot.name, slot.title};
    for (int box = 0; box < SearchCriteria::BoxCount; ++box)
        fields << slot.criteria.box(box);
    fields << (slot.isEmptySlot() ? QStringLiteral("未设置") : QStringLiteral("已设置"));
    return fields;
}

class QueriesCommand : public Command {
public:
    QString name() const override { return QStringLiteral("queries"); }
    QString description() const override { return QStringLiteral("列出九个自定义查询"); }

    void configure(QCommandLineParser& parser) override { RecordOutput::addFormatOption(parser); }

    int run(const QCommandLineParser& parser, CliContext& context) override
    {
        const std::optional<RecordOutput::Format> format =
            RecordOutput::formatFrom(parser, context.err);
        if (!format)
            return 2;
        std::optional<Register> reg = context.openRegister();
        if (!reg)
            return 1;
        Result<QList<QuerySlot>> slots = QuerySlots::readAll(*reg);
        if (!slots) {
            context.fail(slots.error());
            return 1;
        }
        QList<QStringList> rows;
        for (const QuerySlot& slot : slots.value())
            rows << fieldsOf(slot);
        constexpr int columns = static_cast<int>(std::size(headers));

        if (*format == RecordOutput::Format::Json) {
            QJsonArray array;
            for (const QuerySlot& slot : slots.value()) {
                const QStringList fields = fieldsOf(slot);
                QJsonObject object;
                object.insert(QLatin1String(jsonKeys[0]), slot.number);
                for (int c = 1; c < columns - 1; ++c)
                    object.insert(QLatin1String(jsonKeys[c]), fields.at(c));
                object.insert(QLatin1String(jsonKeys[columns - 1]), slot.isEmptySlot());
                array.append(object);
            }
            context.out << QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented));
            return 0;
        }
        QStringList header;
        for (const char16_t* text : headers)
            header << QString::fromUtf16(text);
        if (*format == RecordOutput::Format::Tsv) {
            context.out << header.join(QLatin1Char('\t')) << "\n";
            for (QStringList row : rows) {
                for (QString& field : row)
                    field.replace(QLatin1Char('\t'), QLatin1Char(' '))
                        .replace(QLatin1Char('\n'), QLatin1Char(' '));
                context.out << row.join(QLatin1Char('\t')) << "\n";
            }
            return 0;
        }
        QList<int> widths(columns, 0);
        for (const QStringList& row : QList<QStringList>{header} + rows) {
            for (int c = 0; c < columns; ++c)
                widths[c] = std::max(widths[c], RecordOutput::displayWidth(row.at(c)));
        }
        for (const QStringList& row : QList<QStringList>{header} + rows) {
            QString line;
            for (int c = 0; c < columns; ++c) {
                line += row.at(c);
                if (c + 1 < columns)
                    line += QString(widths[c] - RecordOutput::displayWidth(row.at(c)) + 2,
                                    QLatin1Char(' '));
            }
            context.out << line << "\n";
        }
        return 0;
    }
};

const CommandRegistration<QueriesCommand> registration;

} // namespace
