#include "integrity/IntegrityCheck.h"

#include "integrity/CheckSteps.h"
#include "store/folder/LiveWriter.h"
#include "store/folder/StoreFiles.h"

#include <algorithm>

namespace Integrity {

namespace {

// "记录 5（报告.doc）"
QString recordText(const Finding& finding)
{
    return QStringLiteral("记录 %1（%2）").arg(serialText(finding.serial), finding.recordName);
}

} // namespace

QString serialText(const QVariant& serial)
{
    return serial.isNull() ? QStringLiteral("（空）") : serial.toString();
}

bool Finding::needsDecision() const
{
    return kind != Kind::NotHashed && !resolved;
}

QString kindLabel(Kind kind)
{
    switch (kind) {
    case Kind::MissingCopy:
        return QStringLiteral("缺少副本");
    case Kind::NotAFile:
        return QStringLiteral("不是文件");
    case Kind::SharedCopy:
        return QStringLiteral("副本共用");
    case Kind::BadStoredName:
        return QStringLiteral("存储名异常");
    case Kind::StrayFile:
        return QStringLiteral("多余文件");
    case Kind::Leftover:
        return QStringLiteral("残留文件");
    case Kind::DuplicateSerial:
        return QStringLiteral("序号重复");
    case Kind::SerialNotNumber:
        return QStringLiteral("序号异常");
    case Kind::SizeChanged:
        return QStringLiteral("大小改变");
    case Kind::ContentChanged:
        return QStringLiteral("内容改变");
    case Kind::Unreadable:
        return QStringLiteral("无法读取");
    case Kind::NotHashed:
        return QStringLiteral("未记录校验值");
    case Kind::TextMissing:
        return QStringLiteral("内容未排队读取");
    case Kind::TextWithoutRecord:
        return QStringLiteral("多余的内容文本");
    case Kind::DatabaseDamaged:
        return QStringLiteral("数据库损坏");
    case Kind::BinMissingCopy:
        return QStringLiteral("回收站缺少副本");
    case Kind::BinStrayFile:
        return QStringLiteral("回收站多余文件");
    }
    return QString();
}

QString Finding::text() const
{
    QString sentence;
    switch (kind) {
    case Kind::MissingCopy:
        sentence = QStringLiteral("%1的存储副本“%2”不存在。").arg(recordText(*this), name);
        break;
    case Kind::NotAFile:
        sentence = QStringLiteral("%1的存储副本“%2”不是普通文件（%3），已跳过，不会打开它。")
                       .arg(recordText(*this), name, detail);
        break;
    case Kind::SharedCopy:
        sentence = QStringLiteral("%1与其他记录使用同一个存储副本“%2”（%3）；删除其中一条记录会"
                                  "同时删除另一条记录的文件。")
                       .arg(recordText(*this), name, detail);
        break;
    case Kind::BadStoredName:
        sentence = name.isEmpty()
                       ? QStringLiteral("%1没有存储名，找不到它的存储副本。").arg(recordText(*this))
                       : QStringLiteral("%1的存储名“%2”不是普通文件名，可能指向存储文件夹以外，"
                                        "已跳过，不会访问它。")
                             .arg(recordText(*this), name);
        break;
    case Kind::StrayFile:
        sentence =
            QStringLiteral("存储文件夹中的“%1”不属于任何记录%2。")
                .arg(name, detail.isEmpty() ? QString() : QStringLiteral("（%1）").arg(detail));
        break;
    case Kind::Leftover:
        if (binStep == BinStep::Purging)
            sentence = QStringLiteral("回收站中的“%1”是中断的彻底删除留下的文件").arg(name);
        else if (binStep == BinStep::BinName)
            sentence = QStringLiteral("回收站中的“%1”是中断的删除或恢复留下的第二个名字"
                                      "（同一文件仍是存储副本“%2”）")
                           .arg(name, twin);
        else if (binStep == BinStep::StoreName)
            sentence = QStringLiteral("“%1”是中断的删除或恢复留下的第二个名字"
                                      "（同一文件仍在回收站中，名为“%2”）")
                           .arg(name, twin);
        else if (StoreFiles::isPartName(name))
            sentence = QStringLiteral("“%1”是中断的复制留下的临时文件").arg(name);
        else if (!LiveWriter::ownerOfLockName(name).isEmpty())
            sentence = QStringLiteral("“%1”是已结束的程序留下的锁文件").arg(name);
        else if (!StoreFiles::isLeftover(name))
            sentence = QStringLiteral("“%1”是中断的登记留下的文件（未登记成功）").arg(name);
        else
            sentence = QStringLiteral("“%1”是中断的删除留下的文件").arg(name);
        if (resolved)
            return sentence + QStringLiteral("，") + resolution;
        if (rowid != 0 && binStep == BinStep::None)
            sentence +=
                QStringLiteral("，内容与%1登记的相同，可以放回原处。").arg(recordText(*this));
        else if (removable)
            sentence += QStringLiteral("，可以删除。");
        else
            sentence += QStringLiteral("，%1").arg(detail);
        break;
    case Kind::DuplicateSerial:
        sentence = QStringLiteral("序号 %1 被 %2 条记录使用：%3。")
                       .arg(serialText(serial), recordName, detail);
        break;
    case Kind::SerialNotNumber:
        sentence =
            QStringLiteral("记录“%1”的序号“%2”不是数字。").arg(recordName, serialText(serial));
        break;
    case Kind::SizeChanged:
        sentence = QStringLiteral("%1的存储副本“%2”大小已改变（%3）。")
                       .arg(recordText(*this), name, detail);
        break;
    case Kind::ContentChanged:
        sentence = QStringLiteral("%1的存储副本“%2”内容已改变，与登记时的校验值不符。")
                       .arg(recordText(*this), name);
        break;
    case Kind::Unreadable:
        sentence =
            QStringLiteral("%1的存储副本“%2”无法读取：%3").arg(recordText(*this), name, detail);
        break;
    case Kind::TextMissing:
        sentence = QStringLiteral("%1的文件内容既未读取也未排队，内容搜索找不到它。")
                       .arg(recordText(*this));
        break;
    case Kind::TextWithoutRecord:
        sentence = QStringLiteral("已读取的内容 %1 不属于任何记录。").arg(detail);
        break;
    case Kind::NotHashed:
        sentence = QStringLiteral("%1登记时没有记录校验值，无法核对内容。").arg(recordText(*this));
        break;
    case Kind::BinMissingCopy:
        sentence = QStringLiteral("回收站中的%1缺少副本“%2”%3。")
                       .arg(recordText(*this), name,
                            detail.isEmpty() ? QString() : QStringLiteral("（%1）").arg(detail));
        break;
    case Kind::BinStrayFile:
        sentence =
            QStringLiteral("回收站文件夹中的“%1”不属于回收站中的任何记录%2。")
                .arg(name, detail.isEmpty() ? QString() : QStringLiteral("（%1）").arg(detail));
        break;
    case Kind::DatabaseDamaged:
        sentence = QStringLiteral("数据库文件“%1”已损坏，列出的记录可能不完整；请用备份替换它"
                                  "（SQLite 的检查结果：%2）。")
                       .arg(name, detail);
        break;
    }
    if (!resolution.isEmpty())
        sentence += QLatin1Char(' ') + resolution;
    return sentence;
}

int Report::needingDecision() const
{
    return static_cast<int>(std::count_if(findings.begin(), findings.end(),
                                          [](const Finding& f) { return f.needsDecision(); }));
}

int Report::count(Kind kind) const
{
    return static_cast<int>(std::count_if(findings.begin(), findings.end(),
                                          [kind](const Finding& f) { return f.kind == kind; }));
}

int Report::removableLeftovers() const
{
    return static_cast<int>(std::count_if(findings.begin(), findings.end(), [](const Finding& f) {
        return f.kind == Kind::Leftover && f.removable && !f.resolved;
    }));
}

QString Report::summary() const
{
    QString text = QStringLiteral("检查了 %1 条记录、存储文件夹中的 %2 个文件%3。")
                       .arg(records)
                       .arg(storeEntries)
                       .arg(verified ? QStringLiteral("，并核对了内容") : QString());
    if (binRecords > 0)
        text += QStringLiteral("回收站中有 %1 条记录。").arg(binRecords);
    const int open = needingDecision();
    const int repaired = static_cast<int>(std::count_if(
        findings.begin(), findings.end(), [](const Finding& f) { return f.resolved; }));
    if (repaired > 0)
        text += QStringLiteral("已处理 %1 项。").arg(repaired);
    if (inUse > 0)
        text += QStringLiteral("%1 个文件正由仍在运行的登记或删除使用，未处理。").arg(inUse);
    if (open == 0)
        text += QStringLiteral("没有需要处理的问题。");
    else
        text += QStringLiteral("有 %1 项需要处理。").arg(open);
    if (const int notHashed = count(Kind::NotHashed); notHashed > 0)
        text += QStringLiteral("%1 个存储副本登记时没有记录校验值，无法核对内容。").arg(notHashed);
    return text;
}

} // namespace Integrity
