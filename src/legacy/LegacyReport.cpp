#include "legacy/LegacyReport.h"

#include "queries/QuerySlots.h"

namespace Legacy {

namespace {

QString recordLabel(const SourceRecord& row)
{
    return QStringLiteral("序号 %1“%2”（%3）")
        .arg(row.record.serial)
        .arg(row.record.fileName, row.record.storedName);
}

void section(QString& out, const QString& title, const QStringList& lines)
{
    if (lines.isEmpty())
        return;
    out += QStringLiteral("%1（%2）：\n").arg(title).arg(lines.size());
    for (const QString& line : lines)
        out += QStringLiteral("  ") + line + QLatin1Char('\n');
}

} // namespace

bool Report::lostSomething() const
{
    return !missingCopies.isEmpty() || !hostileNames.isEmpty() || !notFiles.isEmpty() ||
           !notImported.isEmpty() || !queriesLeftOut.isEmpty();
}

Report findings(const Source& source)
{
    Report report;
    report.records = int(source.records.size());
    for (const SourceRecord& row : source.records) {
        if (source.renumbered && row.oldSerial != QString::number(row.record.serial)) {
            report.renumbered << QStringLiteral("旧序号 %1 → %2“%3”")
                                     .arg(row.oldSerial.isEmpty() ? QStringLiteral("（空）")
                                                                  : row.oldSerial)
                                     .arg(row.record.serial)
                                     .arg(row.record.fileName);
        }
        if (row.copy == SourceRecord::Missing)
            report.missingCopies << recordLabel(row);
        else if (row.copy == SourceRecord::Hostile)
            report.hostileNames << recordLabel(row);
        else if (row.copy == SourceRecord::NotAFile)
            report.notFiles << recordLabel(row) + QStringLiteral("：") + row.notAFile;
    }
    report.strayFiles = source.strayFiles;
    for (int i = 0; i < source.slots.size(); ++i) {
        const QStringList& slot = source.slots.at(i);
        bool empty = slot.value(0) == QuerySlots::defaultName(i + 1);
        for (int c = 2; c < slot.size(); ++c)
            empty = empty && slot.at(c).isEmpty();
        if (!empty)
            ++report.queries;
    }
    report.queriesLeftOut = source.queriesLeftOut;
    report.queryTableMissing = source.queryTableMissing;
    return report;
}

QString Report::text() const
{
    QString out;
    switch (outcome) {
    case AlreadyConverted:
        return QStringLiteral("登记库已是 Quorvel 格式，无需转换，没有改动任何文件。\n");
    case WouldConvert:
        out += QStringLiteral("试运行：只读取了旧登记库，没有改动任何文件。\n");
        out += QStringLiteral("可转换记录：%1 条\n").arg(records);
        break;
    case Converted:
        out += QStringLiteral("已转换记录：%1 条\n").arg(records);
        break;
    case Imported:
        out += QStringLiteral("已导入记录：%1 条\n").arg(records);
        break;
    }
    if (outcome != Imported) {
        out += renumbered.isEmpty()
                   ? QStringLiteral("序号：全部保留\n")
                   : QStringLiteral("序号：有小数、重复或空的序号，已按原顺序重新编号\n");
        out += queryTableMissing
                   ? QStringLiteral("自定义查询：旧登记库没有“自定义查询”表，九个查询均为空\n")
                   : QStringLiteral("自定义查询：已定义 %1 个\n").arg(queries);
    }
    section(out, QStringLiteral("重新编号的记录"), renumbered);
    section(out, QStringLiteral("缺少存储副本的记录（记录已保留）"), missingCopies);
    section(out, QStringLiteral("路径指向存储文件夹以外的记录（记录已保留，其路径不会被使用）"),
            hostileNames);
    section(out, QStringLiteral("存储副本不是普通文件的记录（记录已保留，该文件不会被读取）"),
            notFiles);
    section(out, QStringLiteral("未导入的记录"), notImported);
    section(out, QStringLiteral("内容与已登记记录相同"), sameContent);
    section(out, QStringLiteral("存储文件夹中不属于任何记录的文件（未删除）"), strayFiles);
    section(out, QStringLiteral("超过九个而未转换的自定义查询"), queriesLeftOut);
    if (!aside.isEmpty())
        out += QStringLiteral("旧数据库已保留为：%1\n").arg(aside);
    return out;
}

} // namespace Legacy
