#include "cli/QuerySlotArgument.h"

#include "queries/QuerySlots.h"

namespace QuerySlotArgument {

void add(QCommandLineParser& parser)
{
    parser.addPositionalArgument(QStringLiteral("N"), QStringLiteral("自定义查询编号 1-9"));
}

std::optional<int> from(const QCommandLineParser& parser, const QString& command, QTextStream& err)
{
    const QStringList arguments = parser.positionalArguments();
    bool number = false;
    const int slot = arguments.size() == 1 ? arguments.first().toInt(&number) : 0;
    if (!number || slot < 1 || slot > QuerySlots::slotCount) {
        err << "quorvel-cli " << command << ": 需要一个 1 到 " << QuerySlots::slotCount
            << " 的自定义查询编号" << Qt::endl;
        return std::nullopt;
    }
    return slot;
}

} // namespace QuerySlotArgument
