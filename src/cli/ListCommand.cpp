#include "cli/Command.h"
#include "cli/RecordOutput.h"
#include "cli/ViewOptions.h"
#include "paper/RecordWorkbook.h"
#include "store/view/ViewCursor.h"

namespace {

const QString workbookFormat = QStringLiteral("xlsx");

// The view streamed into a workbook, a row at a time.
int listWorkbook(const Register& reg, const ViewCondition& condition, const QString& path,
                 CliContext& context)
{
    Result<std::unique_ptr<RecordWorkbook>> book = RecordWorkbook::start(path);
    if (!book) {
        context.fail(book.error());
        return ExitFailed;
    }
    ViewCursor cursor(reg, condition);
    while (cursor.next()) {
        if (Status added = (*book)->add(cursor.record()); !added) {
            context.fail(added.error());
            return ExitFailed;
        }
    }
    Status done = cursor.failed() ? Status(cursor.error()) : (*book)->finish();
    if (!done) {
        context.fail(done.error());
        return ExitFailed;
    }
    return ExitDone;
}

class ListCommand : public Command {
public:
    QString name() const override { return QStringLiteral("list"); }
    QString description() const override
    {
        return QStringLiteral("列出记录：所有文件、我发他收、他发我收、本地文件或一个文件夹，"
                              "可按条件组合搜索；边读边输出，输出管道关闭（如 | head）时"
                              "立即安静地结束");
    }

    void configure(QCommandLineParser& parser) override
    {
        ViewOptions::addView(parser);
        RecordOutput::addFormatOption(parser, true);
        parser.addOption({QStringLiteral("output"),
                          QStringLiteral("--format xlsx 写入的文件（完整写好才出现）"),
                          QStringLiteral("FILE")});
    }

    int run(const QCommandLineParser& parser, CliContext& context) override
    {
        const QString output = parser.value(QStringLiteral("output"));
        if (parser.value(QStringLiteral("format")) == workbookFormat) {
            if (output.isEmpty()) {
                context.error() << "--format xlsx 需要 --output FILE" << Qt::endl;
                return ExitUsage;
            }
            const CliContext::OpenedView view = context.openView(parser);
            if (!view)
                return view.status;
            return listWorkbook(*view.reg, view.condition, output, context);
        }
        if (parser.isSet(QStringLiteral("output"))) {
            context.error() << "--output 只用于 --format xlsx" << Qt::endl;
            return ExitUsage;
        }

        const std::optional<RecordOutput::Format> format =
            RecordOutput::formatFrom(parser, context.err, name());
        if (!format)
            return ExitUsage;

        const CliContext::OpenedView view = context.openView(parser);
        if (!view)
            return view.status;
        return RecordOutput::list(*view.reg, view.condition, *format, context);
    }
};

const CommandRegistration<ListCommand> registration;

} // namespace
