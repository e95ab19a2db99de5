#include "cli/Command.h"
#include "cli/RecordOutput.h"

#include "base/DateText.h"
#include "intake/Intake.h"

#include <QFileInfo>

namespace {

class AddCommand : public Command {
public:
    QString name() const override { return QStringLiteral("add"); }
    QString description() const override { return QStringLiteral("登记文件（复制到存储文件夹）"); }

    void configure(QCommandLineParser& parser) override
    {
        for (const RecordFields::Field& field : RecordFields::all()) {
            if (field.option)
                parser.addOption({QString::fromLatin1(field.option),
                                  field.kind == RecordFields::Kind::Date
                                      ? field.label + QStringLiteral("（默认今天）")
                                      : field.label,
                                  QString::fromLatin1(field.optionValue)});
        }
        RecordOutput::addNullOption(parser);
        parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("要登记的文件"),
                                     QStringLiteral("FILE..."));
    }

    int run(const QCommandLineParser& parser, CliContext& context) override
    {
        const QStringList paths = parser.positionalArguments();
        if (paths.isEmpty()) {
            context.error() << "请给出至少一个文件" << Qt::endl;
            return ExitUsage;
        }
        Intake::Details details;
        details.date = QDate::currentDate();
        if (parser.isSet(QStringLiteral("date"))) {
            const std::optional<QDate> date = DateText::parse(parser.value(QStringLiteral("date")));
            if (!date) {
                context.error() << "请输入一个有效的日期: " << parser.value(QStringLiteral("date"))
                                << Qt::endl;
                return ExitUsage;
            }
            details.date = *date;
        }
        for (const RecordFields::Field& field : RecordFields::all()) {
            if (field.option && field.kind == RecordFields::Kind::Text)
                details.*field.added = parser.value(QString::fromLatin1(field.option));
        }

        std::optional<Register> reg = context.openRegister();
        if (!reg)
            return ExitFailed;

        QList<Intake::File> files;
        for (const QString& path : paths)
            files << Intake::File::fromPath(QFileInfo(path).absoluteFilePath());

        // Each record is printed as soon as its group is committed, so the
        // output of a batch killed half-way names everything it registered.
        int failures = 0;
        const auto report = [&](int index, const Intake::Outcome& outcome) {
            if (outcome.kind == Intake::Outcome::Registered) {
                // One line per record: a name is escaped unless lines end with NUL.
                const QString end = RecordOutput::lineEnd(parser);
                context.out << outcome.serial << '\t'
                            << (end == QLatin1String("\n")
                                    ? RecordOutput::tsvEscaped(outcome.storedName)
                                    : outcome.storedName)
                            << end << Qt::flush;
                if (!outcome.sameContent.isEmpty())
                    context.warning()
                        << RecordOutput::tsvEscaped(Intake::sameContentNote(outcome)) << Qt::endl;
                return;
            }
            ++failures;
            context.error() << RecordOutput::tsvEscaped(paths.at(index)) << ": "
                            << outcome.error.message;
            if (!outcome.error.detail.isEmpty() && outcome.kind == Intake::Outcome::Failed)
                context.err << " (" << RecordOutput::tsvEscaped(outcome.error.detail) << ")";
            context.err << Qt::endl;
        };
        (void)Intake::runBatch(*reg, files, details, {}, nullptr, report);
        return failures == 0 ? ExitDone : ExitFailed;
    }
};

const CommandRegistration<AddCommand> registration;

} // namespace
