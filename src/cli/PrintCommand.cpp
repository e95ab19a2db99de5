#include "cli/Command.h"
#include "cli/ViewOptions.h"

#include "paper/RegisterSheet.h"

namespace {

// The caption the window shows over the same view.
QString viewCaption(const QCommandLineParser& parser)
{
    if (parser.isSet(QStringLiteral("sent")))
        return QStringLiteral("系统定义查询：我发他收");
    if (parser.isSet(QStringLiteral("received")))
        return QStringLiteral("系统定义查询：他发我收");
    if (parser.isSet(QStringLiteral("local")))
        return QStringLiteral("系统定义查询：本地文档");
    if (parser.isSet(QStringLiteral("folder")))
        return QStringLiteral("文件夹：") + parser.value(QStringLiteral("folder"));
    SearchCriteria criteria;
    ViewOptions::readCriteria(parser, criteria);
    return criteria.isEmpty() ? QStringLiteral("系统定义查询：所有记录")
                              : QStringLiteral("组合搜索");
}

class PrintCommand : public Command {
public:
    QString name() const override { return QStringLiteral("print"); }
    QString description() const override
    {
        return QStringLiteral("把一个视图或搜索的记录排成登记簿，写成 PDF 文件"
                              "（A4 横向，每页有标题、列名和页码）");
    }
    bool paints() const override { return true; }

    void configure(QCommandLineParser& parser) override
    {
        ViewOptions::addView(parser);
        parser.addOption({QStringLiteral("pdf"),
                          QStringLiteral("写入的 PDF 文件（完整写好才出现）"),
                          QStringLiteral("FILE")});
        parser.addOption({QStringLiteral("title"),
                          QStringLiteral("标题（默认为视图名称和记录的日期范围）"),
                          QStringLiteral("TEXT")});
    }

    int run(const QCommandLineParser& parser, CliContext& context) override
    {
        const QString pdf = parser.value(QStringLiteral("pdf"));
        if (pdf.isEmpty()) {
            context.error() << "需要 --pdf FILE" << Qt::endl;
            return ExitUsage;
        }
        const CliContext::OpenedView opened = context.openView(parser);
        if (!opened)
            return opened.status;
        Result<std::shared_ptr<ViewRst>> view = ViewRst::open(*opened.reg, opened.condition);
        if (!view) {
            context.fail(view.error());
            return ExitFailed;
        }
        const QString title =
            parser.isSet(QStringLiteral("title"))
                ? parser.value(QStringLiteral("title"))
                : RegisterSheet::defaultTitle(viewCaption(parser), RegisterSheet::dateSpan(**view));
        const Result<bool> written = RegisterSheet::writePdf(pdf, **view, title);
        if (!written) {
            context.fail(written.error());
            return ExitFailed;
        }
        return ExitDone;
    }
};

const CommandRegistration<PrintCommand> registration;

} // namespace
