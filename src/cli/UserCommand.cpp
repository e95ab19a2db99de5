#include "cli/Command.h"

#include "accounts/Accounts.h"

#include <iostream>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace {

// One line of standard input, without echo when it is a terminal.
std::optional<QString> readLine(bool terminal)
{
    termios saved{};
    const bool hide = terminal && ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (hide) {
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string line;
    const bool read = bool(std::getline(std::cin, line));
    if (hide) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::cerr << std::endl;
    }
    if (!read)
        return std::nullopt;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return QString::fromStdString(line);
}

// `user add|list|passwd|remove|role`: the accounts of people who sign in from
// a browser. Passwords come from standard input, never from the command line,
// where other users of the machine could read them.
class UserCommand : public Command {
public:
    QString name() const override { return QStringLiteral("user"); }
    QString description() const override
    {
        return QStringLiteral("浏览器登录账户：add 新建，list 列出，passwd 改口令，remove 删除，"
                              "role 改角色（口令从标准输入读取）");
    }

    void configure(QCommandLineParser& parser) override
    {
        parser.addPositionalArgument(QStringLiteral("add|list|passwd|remove|role"),
                                     QStringLiteral("新建、列出、改口令、删除账户或改其角色"));
        parser.addPositionalArgument(QStringLiteral("NAME"), QStringLiteral("账户名"));
        parser.addPositionalArgument(QStringLiteral("ROLE"),
                                     QStringLiteral("role：查看、登记或管理"));
        parser.addOption(m_role);
    }

    int run(const QCommandLineParser& parser, CliContext& context) override
    {
        const QStringList arguments = parser.positionalArguments();
        const QString action = arguments.value(0);
        const QHash<QString, int> argumentCounts = {
            {QStringLiteral("add"), 2},    {QStringLiteral("list"), 1},
            {QStringLiteral("passwd"), 2}, {QStringLiteral("remove"), 2},
            {QStringLiteral("role"), 3},
        };
        if (argumentCounts.value(action, -1) != arguments.size()) {
            context.error() << "需要 add NAME、list、passwd NAME、remove NAME 或 role NAME ROLE"
                            << Qt::endl;
            return ExitUsage;
        }
        if (parser.isSet(m_role) && action != QLatin1String("add")) {
            context.error() << "--role 只用于 add" << Qt::endl;
            return ExitUsage;
        }
        const QString accountName = arguments.value(1);
        std::optional<Role> role = Role::Viewer;
        if (action == QLatin1String("add") && parser.isSet(m_role))
            role = roleFromText(parser.value(m_role));
        else if (action == QLatin1String("role"))
            role = roleFromText(arguments.at(2));
        if (!role) {
            context.error() << "角色须是查看、登记或管理" << Qt::endl;
            return ExitUsage;
        }
        if (action == QLatin1String("add")) {
            if (const QString problem = Accounts::nameProblem(accountName); !problem.isEmpty()) {
                context.error() << problem << Qt::endl;
                return ExitUsage;
            }
        }
        std::optional<Register> reg = context.openRegister();
        if (!reg)
            return ExitFailed;
        Accounts accounts(*reg);
        if (action == QLatin1String("list"))
            return list(accounts, context);

        Result<void> done;
        QString told;
        if (action == QLatin1String("add") || action == QLatin1String("passwd")) {
            // A missing account is told before its new password is asked for.
            if (action == QLatin1String("passwd")) {
                if (Result<Account> found = accounts.find(accountName); !found) {
                    context.fail(found.error());
                    return ExitFailed;
                }
            }
            std::optional<QString> password = readPassword(context);
            if (!password)
                return ExitFailed;
            if (action == QLatin1String("add")) {
                done = accounts.add(accountName, *password, *role);
                told = QStringLiteral("已新建账户“%1”（%2）").arg(accountName, roleText(*role));
            } else {
                done = accounts.setPassword(accountName, *password);
                told = QStringLiteral("已更改账户“%1”的口令").arg(accountName);
            }
        } else if (action == QLatin1String("remove")) {
            done = accounts.remove(accountName);
            told = QStringLiteral("已删除账户“%1”").arg(accountName);
        } else {
            done = accounts.setRole(accountName, *role);
            told = QStringLiteral("账户“%1”的角色已改为%2").arg(accountName, roleText(*role));
        }
        if (!done) {
            context.fail(done.error());
            return ExitFailed;
        }
        context.out << told << Qt::endl;
        return ExitDone;
    }

private:
    static int list(const Accounts& accounts, CliContext& context)
    {
        Result<QList<Account>> all = accounts.list();
        if (!all) {
            context.fail(all.error());
            return ExitFailed;
        }
        for (const Account& account : *all)
            context.out << account.name << '\t' << roleText(account.role) << '\t' << account.created
                        << '\n';
        context.out.flush();
        return ExitDone;
    }

    // The new password: one line of standard input; asked twice on a terminal.
    static std::optional<QString> readPassword(CliContext& context)
    {
        const bool terminal = ::isatty(STDIN_FILENO);
        if (terminal) {
            context.err << "口令：" << Qt::flush;
        }
        std::optional<QString> password = readLine(terminal);
        if (!password) {
            context.error() << "没有读到口令（从标准输入读取一行）" << Qt::endl;
            return std::nullopt;
        }
        if (terminal) {
            context.err << "再输入一次口令：" << Qt::flush;
            if (readLine(true) != password) {
                context.error() << "两次输入的口令不一致" << Qt::endl;
                return std::nullopt;
            }
        }
        if (password->isEmpty()) {
            context.error() << "口令不能为空" << Qt::endl;
            return std::nullopt;
        }
        return password;
    }

    const QCommandLineOption m_role{
        QStringLiteral("role"), QStringLiteral("add：新账户的角色（查看、登记或管理；默认查看）"),
        QStringLiteral("ROLE")};
};

const CommandRegistration<UserCommand> registration;

} // namespace
