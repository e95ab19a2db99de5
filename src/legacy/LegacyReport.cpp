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

struct Section {
    QString heading; // "title（count）"
    const QStringList* lines;
};

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

namespace {

// What was done, one line each; nothing more when there was nothing to do.
QStringList headOf(const Report& report)
{
    QStringList head;
    switch (report.outcome) {
    case Report::AlreadyConverted:
        return {QStringLiteral("登记库已是 Quorvel 格式，无需转换，没有改动任何文件。")};
    case Report::WouldConvert:
        head << QStringLiteral("试运行：只读取了旧登记库，没有改动任何文件。")
             << QStringLiteral("可转换记录：%1 条").arg(report.records);
        break;
    case Report::Converted:
        head << QStringLiteral("已转换记录：%1 条").arg(report.records);
        break;
    case Report::Imported:
        head << QStringLiteral("已导入记录：%1 条").arg(report.records);
        break;
    }
    if (report.outcome != Report::Imported) {
        head << (report.renumbered.isEmpty()
                     ? QStringLiteral("序号：全部保留")
                     : QStringLiteral("序号：有小数、重复或空的序号，已按原顺序重新编号"));
        head << (report.queryTableMissing
                     ? QStringLiteral("自定义查询：旧登记库没有“自定义查询”表，九个查询均为空")
                     : QStringLiteral("自定义查询：已定义 %1 个").arg(report.queries));
    }
    return head;
}

QList<Section> sectionsOf(const Report& report)
{
    if (report.outcome == Report::AlreadyConverted)
        return {};
    const QList<QPair<QString, const QStringList*>> all = {
        {QStringLiteral("重新编号的记录"), &report.renumbered},
        {QStringLiteral("缺少存储副本的记录（记录已保留）"), &report.missingCopies},
        {QStringLiteral("路径指向存储文件夹以外的记录（记录已保留，其路径不会被使用）"),
         &report.hostileNames},
        {QStringLiteral("存储副本不是普通文件的记录（记录已保留，该文件不会被读取）"),
         &report.notFiles},
        {QStringLiteral("未导入的记录"), &report.notImported},
        {QStringLiteral("内容与已登记记录相同"), &report.sameContent},
        {QStringLiteral("存储文件夹中不属于任何记录的文件（未删除）"), &report.strayFiles},
        {QStringLiteral("超过九个而未转换的自定义查询"), &report.queriesLeftOut},
    };
    QList<Section> sections;
    for (const auto& [title, lines] : all) {
        if (!lines->isEmpty())
            sections.append({QStringLiteral("%1（%2）").arg(title).arg(lines->size()), lines});
    }
    return sections;
}

QStringList asideOf(const Report& report)
{
    if (report.outcome == Report::AlreadyConverted || report.aside.isEmpty())
        return {};
    return {QStringLiteral("旧数据库已保留为：%1").arg(report.aside)};
}

} // namespace

QString Report::summary() const
{
    QStringList lines = headOf(*this);
    for (const Section& section : sectionsOf(*this))
        lines << section.heading;
    return (lines + asideOf(*this)).join(QLatin1Char('\n'));
}

QStringList Report::listing() const
{
    QStringList out;
    for (const Section& section : sectionsOf(*this)) {
        out << section.heading + QStringLiteral("：");
        for (const QString& line : *section.lines)
            out << QStringLiteral("  ") + line;
    }
    return out;
}

QString Report::text() const
{
    QString out;
    for (const QString& line : headOf(*this) + listing() + asideOf(*this))
        out += line + QLatin1Char('\n');
    return out;
}

} // namespace Legacy
