#pragma once

#include "store/Register.h"
#include "store/RegisterRecord.h"
#include "store/view/ViewCondition.h"

#include <QCommandLineParser>
#include <QStringList>
#include <QTextStream>

#include <memory>
#include <optional>

// Exit statuses of every command.
enum ExitStatus { ExitDone = 0, ExitFailed = 1, ExitUsage = 2 };

// What a command works with: its output streams, its name and the
// --register option.
struct CliContext {
    QTextStream& out;
    QTextStream& err;
    QString registerOption;
    QString command;

    // Opens the register as the GUI does, printing the refusal on failure.
    std::optional<Register> openRegister(Register::Mode mode = Register::Mode::MustExist);
    // Prints a core error to stderr.
    void fail(const Error& error);
    // stderr after the one prefix every message carries ("quorvel-cli add: "),
    // and for warnings "注意: " after it.
    QTextStream& error();
    QTextStream& warning();
    // Serials given on the command line must be numbers: a usage error
    // otherwise, told before the register is opened.
    bool serialsAreNumbers(const QStringList& serials);
    // The records the serials name, each once, in the order first named;
    // nothing (with the reason printed) when one is not found.
    std::optional<QList<RegisterRecord>> recordsFor(const Register& reg,
                                                    const QStringList& serials);

    // What a command that acts on records named by serial starts with: the
    // serials checked, the register opened, the records found. On failure
    // the reason is printed and `status` is the exit status to return.
    struct NamedRecords {
        std::optional<Register> reg;
        QList<RegisterRecord> records;
        int status = ExitFailed;
        explicit operator bool() const { return reg.has_value(); }
    };
    NamedRecords openRecords(const QStringList& serials);
    // What a command that works on a view starts with: the view options read
    // (a usage error printed when they are wrong) and the register opened.
    struct OpenedView {
        std::optional<Register> reg;
        ViewCondition condition;
        int status = ExitFailed;
        explicit operator bool() const { return reg.has_value(); }
    };
    OpenedView openView(const QCommandLineParser& parser);
    // Asks `question` with the names listed on the terminal; whether the
    // answer was yes.
    bool confirmed(const QString& question, const QStringList& names);
};

// One subcommand of quorvel-cli: a name, a line of description, its own
// options, and an exit status.
class Command {
public:
    virtual ~Command() = default;
    virtual QString name() const = 0;
    virtual QString description() const = 0;
    // Adds the command's options and positional arguments.
    virtual void configure(QCommandLineParser& parser) { Q_UNUSED(parser); }
    virtual int run(const QCommandLineParser& parser, CliContext& context) = 0;
    // A command that lays out text needs the fonts of a QGuiApplication.
    virtual bool paints() const { return false; }
};

namespace CommandRegistry {

void add(std::unique_ptr<Command> command);
const std::vector<std::unique_ptr<Command>>& all();
Command* find(const QString& name);

} // namespace CommandRegistry

// Registers a command at program start; one per command file.
template <typename T> struct CommandRegistration {
    CommandRegistration() { CommandRegistry::add(std::make_unique<T>()); }
};

// The program's own --help text, and a command's (whose usage line Qt
// starts with the program's path: runCli names the command instead).
QString cliUsage();
QString commandHelp(Command& command);

// Whether the command `arguments` name paints (see Command::paints).
bool commandPaints(const QStringList& arguments);

// The whole command line, testable with redirected streams. `arguments`
// excludes the program name.
int runCli(const QStringList& arguments, QTextStream& out, QTextStream& err);
