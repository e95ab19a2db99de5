#include "cli/Command.h"
#include "cli/RecordOutput.h"
#include "cli/ViewOptions.h"

namespace {

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
        RecordOutput::addFormatOption(parser);
    }

    int run(const QCommandLineParser& parser, CliContext& context) override
    {
        const std::optional<RecordOutput::Format> format =
            RecordOutput::formatFrom(parser, context.err, name());
        if (!format)
            return ExitUsage;

        const std::optional<ViewCondition> condition =
            ViewOptions::viewCondition(parser, context.err, name());
        if (!condition)
            return ExitUsage;

        std::optional<Register> reg = context.openRegister();
        if (!reg)
            return ExitFailed;
        return RecordOutput::list(*reg, *condition, *format, context);
    }
};

const CommandRegistration<ListCommand> registration;

} // namespace
