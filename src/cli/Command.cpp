#include "cli/Command.h"

#include "cli/ViewOptions.h"
#include "operations/RecordLookup.h"

#include "base/QtTexts.h"
#include "store/RegisterLocation.h"

#include <QElapsedTimer>

#include <algorithm>
#include <iostream>
#include <string>

namespace CommandRegistry {

namespace {
std::vector<std::unique_ptr<Command>>& commands()
{
    static std::vector<std::unique_ptr<Command>> list;
    return list;
}
} // namespace

void add(std::unique_ptr<Command> command)
{
    commands().push_back(std::move(command));
    std::sort(commands().begin(), commands().end(),
              [](const auto& a, const auto& b) { return a->name() < b->name(); });
}

const std::vector<std::unique_ptr<Command>>& all()
{
    return commands();
}

Command* find(const QString& name)
{
    for (const auto& command : commands()) {
        if (command->name() == name)
            return command.get();
    }
    return nullptr;
}

} // namespace CommandRegistry

std::optional<Register> CliContext::openRegister(Register::Mode mode)
{
    // Bringing a large register of an older version up to date takes a
    // while, once: say so rather than seem to hang.
    QElapsedTimer opening;
    opening.start();
    Result<Register> reg =
        Register::open(RegisterLocation::resolve(registerOption), mode, [&](int step, int steps) {
            if (opening.elapsed() > 1000)
                err << QStringLiteral("正在更新登记库，为快速查询建立索引（第 %1 步，共 %2 步）……")
                           .arg(step + 1)
                           .arg(steps)
                    << Qt::endl;
        });
    if (!reg) {
        fail(reg.error());
        return std::nullopt;
    }
    return reg.value();
}

void CliContext::fail(const Error& failure)
{
    error() << failure.message << Qt::endl;
    if (!failure.detail.isEmpty())
        err << "  (" << failure.detail << ")" << Qt::endl;
}

QTextStream& CliContext::error()
{
    err << "quorvel-cli";
    if (!command.isEmpty())
        err << ' ' << command;
    err << ": ";
    return err;
}

QTextStream& CliContext::warning()
{
    return error() << "注意: ";
}

bool CliContext::serialsAreNumbers(const QStringList& serials)
{
    for (const QString& serial : serials) {
        bool number = false;
        serial.trimmed().toLongLong(&number);
        if (!number) {
            error() << "“" << serial << "”不是一个序号" << Qt::endl;
            return false;
        }
    }
    return true;
}

std::optional<QList<RegisterRecord>> CliContext::recordsFor(const Register& reg,
                                                            const QStringList& serials)
{
    QList<RegisterRecord> records;
    for (const QString& serial : serials) {
        Result<RegisterRecord> record = RecordLookup::recordForSerial(reg, serial);
        if (!record) {
            fail(record.error());
            return std::nullopt;
        }
        const auto same = [&](const RegisterRecord& seen) {
            return seen.rowid == record->rowid;
        };
        if (std::none_of(records.cbegin(), records.cend(), same))
            records << record.value();
    }
    return records;
}

CliContext::NamedRecords CliContext::openRecords(const QStringList& serials)
{
    NamedRecords named;
    if (!serialsAreNumbers(serials)) {
        named.status = ExitUsage;
        return named;
    }
    std::optional<Register> reg = openRegister();
    if (!reg)
        return named;
    std::optional<QList<RegisterRecord>> found = recordsFor(*reg, serials);
    if (!found)
        return named;
    named.reg = std::move(reg);
    named.records = std::move(*found);
    named.status = ExitDone;
    return named;
}

CliContext::OpenedView CliContext::openView(const QCommandLineParser& parser)
{
    OpenedView opened;
    const std::optional<ViewCondition> condition = ViewOptions::viewCondition(parser, err, command);
    if (!condition) {
        opened.status = ExitUsage;
        return opened;
    }
    opened.reg = openRegister();
    opened.condition = *condition;
    opened.status = opened.reg ? ExitDone : ExitFailed;
    return opened;
}

bool CliContext::confirmed(const QString& question, const QStringList& names)
{
    out << question << "\n  " << names.join(QStringLiteral("\n  ")) << "\n确定删除吗？[y/N] ";
    out.flush();
    std::string answer;
    if (!std::getline(std::cin, answer))
        return false;
    return answer == "y" || answer == "Y" || answer == "yes";
}

namespace {

QCommandLineOption commandHelpOption()
{
    return {{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("显示此命令的帮助")};
}

// --register is also accepted after the command name.
QCommandLineOption registerAfterOption()
{
    return {QStringLiteral("register"), QStringLiteral("登记库文件夹"), QStringLiteral("DIR")};
}

void addCommonOptions(QCommandLineParser& parser, Command& command)
{
    parser.setApplicationDescription(command.description());
    parser.addOption(commandHelpOption());
    parser.addOption(registerAfterOption());
    command.configure(parser);
}

} // namespace

QString cliUsage()
{
    QString text;
    QTextStream out(&text);
    out << "用法：quorvel-cli [--register DIR] COMMAND [选项...]\n"
        << "      quorvel-cli --version\n\n"
        << "登记库文件夹: --register DIR，否则环境变量 QUORVEL_REGISTER，"
        << "否则程序所在文件夹（已有登记库时），否则 ~/.local/share/quorvel。\n\n命令:\n";
    qsizetype width = 0;
    for (const auto& command : CommandRegistry::all())
        width = std::max(width, command->name().size());
    for (const auto& command : CommandRegistry::all())
        out << "  " << command->name().leftJustified(width) << "  " << command->description()
            << "\n";
    out << "\n“quorvel-cli COMMAND --help” 显示命令的选项。\n";
    return text;
}

QString commandHelp(Command& command)
{
    QCommandLineParser parser;
    addCommonOptions(parser, command);
    return QtTexts::namingCommand(parser.helpText(),
                                  QStringLiteral("quorvel-cli ") + command.name());
}

bool commandPaints(const QStringList& arguments)
{
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == QLatin1String("--register")) {
            ++i;
        } else if (!argument.startsWith(QLatin1String("--register="))) {
            const Command* command = CommandRegistry::find(argument);
            return command && command->paints();
        }
    }
    return false;
}

int runCli(const QStringList& arguments, QTextStream& out, QTextStream& err)
{
    QString registerOption;
    QStringList rest;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == QLatin1String("--register") && rest.isEmpty()) {
            if (i + 1 >= arguments.size()) {
                err << "quorvel-cli: --register 需要一个文件夹" << Qt::endl;
                return ExitUsage;
            }
            registerOption = arguments.at(++i);
        } else if (argument.startsWith(QLatin1String("--register=")) && rest.isEmpty()) {
            registerOption = argument.mid(11);
        } else {
            rest << argument;
        }
    }
    // Asked for, the usage goes to stdout; a bare call is a mistake, told on stderr.
    if (rest.isEmpty()) {
        err << cliUsage() << Qt::flush;
        return ExitUsage;
    }
    if (rest.first() == QLatin1String("--help") || rest.first() == QLatin1String("-h") ||
        rest.first() == QLatin1String("help")) {
        out << cliUsage() << Qt::flush;
        return ExitDone;
    }
    if (rest.first() == QLatin1String("--version") || rest.first() == QLatin1String("-v")) {
        out << "quorvel-cli " << QUORVEL_VERSION << Qt::endl;
        return 0;
    }

    Command* command = CommandRegistry::find(rest.first());
    if (!command) {
        err << "quorvel-cli: 未知命令“" << rest.first() << "”" << Qt::endl;
        err << cliUsage() << Qt::flush;
        return ExitUsage;
    }

    QCommandLineParser parser;
    addCommonOptions(parser, *command);
    const QCommandLineOption helpOption = commandHelpOption();
    const QCommandLineOption registerAfter = registerAfterOption();
    QStringList parseArguments = rest;
    parseArguments[0] = QStringLiteral("quorvel-cli ") + command->name();
    if (!parser.parse(parseArguments)) {
        err << "quorvel-cli " << command->name() << ": " << parser.errorText() << Qt::endl;
        return ExitUsage;
    }
    if (parser.isSet(helpOption)) {
        out << QtTexts::namingCommand(parser.helpText(),
                                      QStringLiteral("quorvel-cli ") + command->name());
        out.flush();
        return ExitDone;
    }
    if (parser.isSet(registerAfter))
        registerOption = parser.value(registerAfter);

    CliContext context{out, err, registerOption, command->name()};
    const int status = command->run(parser, context);
    out.flush();
    err.flush();
    return status;
}
