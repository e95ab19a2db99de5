#include "cli/Command.h"

#include "operations/RecordExport.h"
#include "operations/RecordLookup.h"

namespace {

class ToDesktopCommand : public Command {
public:
    QString name() const override { return QStringLiteral("to-desktop"); }
    QString description() const override
    {
        return QStringLiteral("把记录的存储文件复制到桌面（同名时加编号）");
    }

    void configure(QCommandLineParser& parser) override
    {
        parser.addPositionalArgument(QStringLiteral("SERIAL..."), QStringLiteral("记录的文件序号"));
    }

    int run(const QCommandLineParser& parser, CliContext& context) override
    {
        const QStringList serials = parser.positionalArguments();
        if (serials.isEmpty()) {
            context.error() << "至少需要一个序号" << Qt::endl;
            return ExitUsage;
        }
        if (!context.serialsAreNumbers(serials))
            return ExitUsage;
        std::optional<Register> reg = context.openRegister();
        if (!reg)
            return ExitFailed;
        const QString desktop = RecordExport::desktopFolder();
        int failures = 0;
        // Each file on its own: one that cannot be sent does not stop the rest.
        for (const QString& serial : serials) {
            Result<RegisterRecord> record = RecordLookup::recordForSerial(*reg, serial);
            Result<QString> sent =
                record ? RecordExport::sendRecordToDesktop(*reg, record->rowid, desktop)
                       : record.error();
            if (!sent) {
                context.error() << "序号 " << serial << ": " << sent.error().message << Qt::endl;
                ++failures;
                continue;
            }
            context.out << "已发送至桌面: " << sent.value() << Qt::endl;
        }
        return failures == 0 ? ExitDone : ExitFailed;
    }
};

const CommandRegistration<ToDesktopCommand> registration;

} // namespace
