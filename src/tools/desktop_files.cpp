// Writes the files a desktop installation needs that come from the program
// itself, so they cannot drift from it: the icon in the hicolor theme (SVG
// and PNG sizes, painted by the code that paints the window's icon), the
// manual pages made of the --help texts, and the bash completion made of the
// options those texts list. The build runs it; it is not installed.

#include "app/AppCommandLine.h"
#include "base/QtTexts.h"
#include "cli/Command.h"
#include "support/gui/Icons.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSvgGenerator>

#include <cstdio>

namespace {

bool writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.commit())
        return true;
    std::fprintf(stderr, "quorvel-desktop-files: %s: %s\n", qPrintable(path),
                 qPrintable(file.errorString()));
    return false;
}

bool writeIcons(const QString& out)
{
    bool ok = true;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256, 512}) {
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 32.0, size / 32.0);
        Icons::paintProgram(painter);
        painter.end();
        const QString path =
            out + QStringLiteral("/icons/hicolor/%1x%1/apps/quorvel.png").arg(size);
        QDir().mkpath(QFileInfo(path).absolutePath());
        ok = image.save(path) && ok;
    }
    const QString svgPath = out + QStringLiteral("/icons/hicolor/scalable/apps/quorvel.svg");
    QDir().mkpath(QFileInfo(svgPath).absolutePath());
    QSvgGenerator svg;
    svg.setFileName(svgPath);
    svg.setSize(QSize(32, 32));
    svg.setViewBox(QRect(0, 0, 32, 32));
    svg.setTitle(QStringLiteral("Quorvel"));
    QPainter painter(&svg);
    painter.setRenderHint(QPainter::Antialiasing);
    Icons::paintProgram(painter);
    return painter.end() && ok;
}

// Roff needs its escape character doubled, hyphens marked as such, and no
// line that starts like a request.
QString roff(const QString& text)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& line : lines) {
        line.replace(QLatin1Char('\\'), QStringLiteral("\\e"));
        line.replace(QLatin1Char('-'), QStringLiteral("\\-"));
        if (line.startsWith(QLatin1Char('.')) || line.startsWith(QLatin1Char('\'')))
            line.prepend(QStringLiteral("\\&"));
    }
    return lines.join(QLatin1Char('\n'));
}

QString verbatim(const QString& text)
{
    return QStringLiteral(".nf\n") + roff(text.trimmed()) + QStringLiteral("\n.fi\n");
}

QString manualHead(const QString& name, const QString& summary, const QString& synopsis)
{
    return QStringLiteral(".TH %1 1 \"\" \"Quorvel %2\" \"User Commands\"\n"
                          ".SH NAME\n%3 \\- %4\n.SH SYNOPSIS\n.nf\n%5\n.fi\n")
        .arg(name.toUpper(), QStringLiteral(QUORVEL_VERSION), roff(name), summary, roff(synopsis));
}

QString manualFoot()
{
    return QStringLiteral(".SH ENVIRONMENT\n.TP\n.B QUORVEL_REGISTER\n"
                          "登记库文件夹，未给出 \\-\\-register 时使用。\n"
                          ".SH FILES\n.TP\n.I ~/.local/share/quorvel/\n"
                          "默认的登记库文件夹：数据库 文件管理.mdb 和存储文件夹 随机文件/。\n"
                          ".SH SEE ALSO\n.BR quorvel (1),\n.BR quorvel\\-cli (1)\n");
}

QString guiManual()
{
    QCommandLineParser parser;
    AppCommandLine::configure(parser);
    const QString help = QtTexts::namingCommand(parser.helpText(), QStringLiteral("quorvel"));
    // The help's first line is its usage: "用法：quorvel [选项] ...".
    const QString usage = help.section(QLatin1Char('\n'), 0, 0);
    const QString synopsis = usage.mid(usage.indexOf(QStringLiteral("quorvel")));
    return manualHead(QStringLiteral("quorvel"), QStringLiteral("文件登记簿"), synopsis) +
           QStringLiteral(".SH DESCRIPTION\n") + verbatim(help) + manualFoot();
}

QString cliManual()
{
    const QString usage = cliUsage();
    QString page = manualHead(QStringLiteral("quorvel-cli"), QStringLiteral("文件登记簿的命令行"),
                              QStringLiteral("quorvel-cli [--register DIR] COMMAND [选项...]\n"
                                             "quorvel-cli --version")) +
                   QStringLiteral(".SH DESCRIPTION\n") + verbatim(usage) +
                   QStringLiteral(".SH COMMANDS\n");
    for (const auto& command : CommandRegistry::all())
        page += QStringLiteral(".SS %1\n").arg(command->name()) + verbatim(commandHelp(*command));
    page += QStringLiteral(".SH EXIT STATUS\n.TP\n0\n完成。\n.TP\n1\n失败。\n.TP\n2\n用法错误。\n");
    return page + manualFoot();
}

// The options a help text lists: the words starting with a dash in its
// option lines, and which of them take a value ("--date <D>").
struct HelpOptions {
    QStringList all;
    QStringList withValue;
};

HelpOptions optionsOf(const QString& help)
{
    static const QRegularExpression optionLine(QStringLiteral("^  (-\\S.*?)(?:  |$)"));
    static const QRegularExpression word(QStringLiteral("(--?[A-Za-z0-9?][A-Za-z0-9-]*)( <)?"));
    HelpOptions options;
    for (const QString& line : help.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = optionLine.match(line);
        if (!match.hasMatch())
            continue;
        auto words = word.globalMatch(match.captured(1));
        while (words.hasNext()) {
            const QRegularExpressionMatch w = words.next();
            options.all << w.captured(1);
            if (!w.captured(2).isEmpty())
                options.withValue << w.captured(1);
        }
    }
    return options;
}

QString bashCompletion()
{
    QStringList commands;
    QStringList valueOptions{QStringLiteral("--register")};
    QString cases;
    for (const auto& command : CommandRegistry::all()) {
        commands << command->name();
        const HelpOptions options = optionsOf(commandHelp(*command));
        for (const QString& option : options.withValue) {
            if (!valueOptions.contains(option))
                valueOptions << option;
        }
        cases += QStringLiteral("        %1) options=\"%2\" ;;\n")
                     .arg(command->name(), options.all.join(QLatin1Char(' ')));
    }
    return QStringLiteral(
               "# bash completion for quorvel-cli, made from its --help texts.\n"
               "_quorvel_cli()\n{\n"
               "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
               "    COMPREPLY=()\n"
               "    case $prev in\n"
               "        --register) COMPREPLY=($(compgen -d -- \"$cur\")); return ;;\n"
               "        %1) return ;;\n"
               "    esac\n"
               "    local i command=\n"
               "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
               "        case ${COMP_WORDS[i]} in\n"
               "            --register) ((i++)) ;;\n"
               "            -*) ;;\n"
               "            *) command=${COMP_WORDS[i]}; break ;;\n"
               "        esac\n"
               "    done\n"
               "    if [[ -z $command ]]; then\n"
               "        COMPREPLY=($(compgen -W \"--register --help --version %2\" -- \"$cur\"))\n"
               "        return\n"
               "    fi\n"
               "    local options=\n"
               "    case $command in\n%3"
               "    esac\n"
               "    if [[ $cur == -* ]]; then\n"
               "        COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))\n"
               "    fi\n"
               "}\n"
               "complete -o bashdefault -o default -F _quorvel_cli quorvel-cli\n")
        .arg(valueOptions.join(QLatin1Char('|')), commands.join(QLatin1Char(' ')), cases);
}

} // namespace

int main(int argc, char* argv[])
{
    // Painting the icon's letter needs fonts, not a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QtTexts::install();
    if (argc != 2) {
        std::fprintf(stderr, "用法: quorvel-desktop-files OUTDIR\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    bool ok = writeIcons(out);
    ok = writeFile(out + QStringLiteral("/man/quorvel.1"), guiManual().toUtf8()) && ok;
    ok = writeFile(out + QStringLiteral("/man/quorvel-cli.1"), cliManual().toUtf8()) && ok;
    ok =
        writeFile(out + QStringLiteral("/completion/quorvel-cli"), bashCompletion().toUtf8()) && ok;
    return ok ? 0 : 1;
}
