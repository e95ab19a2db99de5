#include "integrity/IntegrityCheck.h"

#include "integrity/BinCheck.h"
#include "integrity/FindingRecheck.h"
#include "store/LiveWriter.h"
#include "store/RecordStore.h"
#include "store/StoreFiles.h"
#include "store/StoreFolder.h"
#include "store/sql/ContentHash.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <optional>

#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace Integrity {

namespace {

using RecordRow = CheckedRecord;

QString serialText(const QVariant& serial)
{
    return serial.isNull() ? QStringLiteral("（空）") : serial.toString();
}

// "记录 5（报告.doc）"
QString recordText(const Finding& finding)
{
    return QStringLiteral("记录 %1（%2）").arg(serialText(finding.serial), finding.recordName);
}

Finding recordFinding(Kind kind, const RecordRow& row, const QString& detail = {})
{
    Finding finding;
    finding.kind = kind;
    finding.rowid = row.identity;
    finding.serial = row.serial;
    finding.recordName = row.fileName;
    finding.name = row.storedName.toString();
    finding.detail = detail;
    return finding;
}

// SQLite's own check of the file: quick (pages and records) or full (every
// index against its table as well). A fault there can hide records from
// every view while the store looks complete.
std::optional<Finding> checkDatabase(const Register& reg, RecordStore& records, bool full)
{
    const Result<QStringList> problems = records.databaseFaults(full);
    if (!problems || problems->isEmpty())
        return std::nullopt;
    Finding finding;
    finding.kind = Kind::DatabaseDamaged;
    finding.name = QFileInfo(reg.databasePath()).fileName();
    finding.detail = problems->join(QStringLiteral("；"));
    return finding;
}

void checkSerials(const QList<RecordRow>& rows, QList<Finding>& findings)
{
    // Rows come sorted by serial, so equal serials are neighbours.
    for (qsizetype i = 0; i < rows.size();) {
        const RecordRow& row = rows.at(i);
        if (!row.serialIsNumber) {
            findings.append(recordFinding(Kind::SerialNotNumber, row, row.serialType));
            ++i;
            continue;
        }
        qsizetype end = i + 1;
        while (end < rows.size() && rows.at(end).serialIsNumber &&
               rows.at(end).serial.toDouble() == row.serial.toDouble())
            ++end;
        if (end - i > 1) {
            Finding finding = recordFinding(Kind::DuplicateSerial, row);
            QStringList names;
            for (qsizetype k = i; k < end; ++k)
                names << QStringLiteral("“%1”").arg(rows.at(k).fileName);
            finding.detail = names.join(QStringLiteral("、"));
            finding.recordName = QString::number(end - i);
            findings.append(finding);
        }
        i = end;
    }
}

// A set-aside copy of an interrupted delete whose content is what a record
// without its copy registered: that record's copy, to be put back.
// Device and inode of a file (not following links), to tell two names of one file.
std::optional<QPair<quint64, quint64>> fileIdentity(const QString& path)
{
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return QPair<quint64, quint64>(st.st_dev, st.st_ino);
}

// The digest of the regular file `name` of the store, never following a link.
Result<ContentHash::Digest> digestOf(const StoreFolder& store, const QString& name,
                                     const std::atomic<bool>* cancelled)
{
    int error = 0;
    const int fd = store.openForRead(name, &error);
    if (fd < 0) {
        const QString what = StoreFolder::typeText(store.entry(name).type);
        return Error{what.isEmpty() ? QString::fromLocal8Bit(std::strerror(error)) : what,
                     store.pathOf(name)};
    }
    Result<ContentHash::Digest> digest = ContentHash::ofOpenFile(fd, store.pathOf(name), cancelled);
    ::close(fd);
    return digest;
}

const Finding* ownerOf(const StoreFolder& store, const QString& name, const QList<Finding>& missing,
                       const QHash<qint64, RecordedDigest>& digests,
                       const std::atomic<bool>* cancelled)
{
    const StoreFolder::Entry entry = store.entry(name);
    if (entry.type != StoreFolder::Type::File)
        return nullptr;
    const qint64 size = entry.st.st_size;
    std::optional<ContentHash::Digest> digest;
    for (const Finding& record : missing) {
        const auto found = digests.constFind(record.rowid);
        if (found == digests.constEnd() || found->storedName != record.name || found->size != size)
            continue;
        if (!digest) {
            Result<ContentHash::Digest> computed = digestOf(store, name, cancelled);
            if (!computed)
                return nullptr;
            digest = computed.value();
        }
        if (digest->hash == found->hash)
            return &record;
    }
    return nullptr;
}

// Whether a record names `storedName` now (identity 0: any record), read
// afresh: a program that finished after the records were read may have
// committed it.
bool namedNow(const Register& reg, const QString& storedName, qint64 identity = 0)
{
    const Result<bool> named = reg.records()->isNamed(storedName, identity);
    // Unreadable: assume it is named, so that nothing is removed on a guess.
    return !named || named.value();
}

void repairLeftover(const Register& reg, const StoreFolder& store, LiveProbe& probe,
                    Finding& leftover, QList<Finding>& findings)
{
    const QString path = store.pathOf(leftover.name);
    if (leftover.binStep != BinStep::None) {
        BinCheck::repair(reg, store, leftover, findings);
        return;
    }
    if (const QString owner = LiveWriter::ownerOfLockName(leftover.name); !owner.isEmpty()) {
        if (!probe.removeLockOf(owner) && QFileInfo::exists(path)) {
            leftover.resolution = QStringLiteral("未能删除。");
            return;
        }
        leftover.resolved = true;
        leftover.resolution = QStringLiteral("已删除。");
        return;
    }
    if (leftover.rowid != 0) {
        if (!namedNow(reg, leftover.detail, leftover.rowid)) {
            leftover.resolution = QStringLiteral("该记录已不存在，未放回。");
            return;
        }
        // Put a set-aside copy back under its record's stored name.
        if (!Register::isPlainFileName(leftover.detail) ||
            store.renameNoReplace(leftover.name, leftover.detail) != 0) {
            leftover.resolution = QStringLiteral("未能放回原处。");
            return;
        }
        leftover.resolved = true;
        leftover.resolution = QStringLiteral("已放回原处，恢复为“%1”。").arg(leftover.detail);
        for (Finding& other : findings) {
            if (other.kind == Kind::MissingCopy && other.rowid == leftover.rowid) {
                other.resolved = true;
                other.resolution = QStringLiteral("已从“%1”恢复。").arg(leftover.name);
            }
        }
        return;
    }
    if (!StoreFiles::isReserved(leftover.name) && namedNow(reg, leftover.name)) {
        leftover.resolution = QStringLiteral("已有记录使用它，未删除。");
        return;
    }
    if (const int error = store.remove(leftover.name); error != 0) {
        leftover.resolution =
            QStringLiteral("未能删除：%1").arg(QString::fromLocal8Bit(std::strerror(error)));
        return;
    }
    leftover.resolved = true;
    leftover.resolution = QStringLiteral("已删除。");
}

} // namespace

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

Result<Report> check(const Register& reg, const Options& options)
{
    const std::unique_ptr<RecordStore> records = reg.records();
    if (!records->connected()) {
        return Error{QStringLiteral("无法打开登记库“%1”。").arg(reg.databasePath()), QString()};
    }
    Report report;
    report.verified = options.verify;
    QList<Finding>& findings = report.findings;
    if (std::optional<Finding> damaged = checkDatabase(reg, *records, options.verify))
        findings.append(*damaged);
    Result<QList<RecordRow>> rows = records->recordsBySerial();
    Result<QHash<qint64, RecordedDigest>> digests =
        rows ? records->digests() : Result<QHash<qint64, RecordedDigest>>(rows.error());
    if (!rows || !digests) {
        // A damaged file may not even list its records: the finding says why.
        if (!findings.isEmpty())
            return report;
        return rows ? digests.error() : rows.error();
    }
    report.records = rows->size();
    // Every look into the store goes through this folder: a store folder
    // that is a link is reported, not followed.
    Result<StoreFolder> opened = StoreFolder::open(reg);
    if (!opened)
        return opened.error();
    const StoreFolder& store = opened.value();
    checkSerials(rows.value(), findings);

    // Stored copies of the records.
    QHash<QString, const RecordRow*> named; // stored name -> first record naming it
    QList<const RecordRow*> toVerify;
    QList<Finding> missing;
    for (const RecordRow& row : rows.value()) {
        const QString storedName = row.storedName.toString();
        if (!Register::isPlainFileName(storedName)) {
            findings.append(recordFinding(Kind::BadStoredName, row));
            continue;
        }
        if (const RecordRow* other = named.value(storedName)) {
            findings.append(recordFinding(Kind::SharedCopy, row,
                                          QStringLiteral("另一条是记录 %1（%2）")
                                              .arg(serialText(other->serial), other->fileName)));
            continue;
        }
        named.insert(storedName, &row);
        const StoreFolder::Entry entry = store.entry(storedName);
        if (entry.type == StoreFolder::Type::Missing && entry.error != 0) {
            findings.append(recordFinding(Kind::Unreadable, row,
                                          QString::fromLocal8Bit(std::strerror(entry.error))));
        } else if (entry.type == StoreFolder::Type::Missing) {
            missing.append(recordFinding(Kind::MissingCopy, row));
            findings.append(missing.last());
        } else if (entry.type != StoreFolder::Type::File) {
            findings.append(recordFinding(Kind::NotAFile, row, StoreFolder::typeText(entry.type)));
        } else {
            const auto digest = digests->constFind(row.identity);
            const qint64 size = entry.st.st_size;
            if (digest != digests->constEnd() && digest->storedName == storedName &&
                digest->size != size) {
                findings.append(recordFinding(
                    Kind::SizeChanged, row,
                    QStringLiteral("登记时 %1 字节，现在 %2 字节").arg(digest->size).arg(size)));
            } else {
                toVerify.append(&row);
            }
        }
    }

    // The recycle bin. A file of it that a live record's copy is as well is
    // found through this map, made only when first asked.
    std::optional<QHash<BinCheck::FileId, QString>> liveCopies;
    const auto liveTwin = [&](const BinCheck::FileId& id) {
        if (!liveCopies) {
            liveCopies.emplace();
            for (auto it = named.cbegin(); it != named.cend(); ++it) {
                const StoreFolder::Entry entry = store.entry(it.key());
                if (entry.type == StoreFolder::Type::File)
                    liveCopies->insert({quint64(entry.st.st_dev), quint64(entry.st.st_ino)},
                                       it.key());
            }
        }
        return liveCopies->value(id);
    };
    LiveProbe probe(store.path());
    BinCheck binCheck(reg, store);
    if (Status binRead = binCheck.run(probe, liveTwin, report); !binRead)
        return binRead.error();

    // Everything else in the store folder.
    const QFileInfoList entries =
        QDir(store.path())
            .entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                           QDir::Name);
    report.storeEntries = entries.size();
    // Working files of a running program are its own; of one that has ended,
    // leftovers (LiveWriter.h). Probed after the listing, so every file seen
    // was named while its owner held its lock.
    // Intake gives a copy its stored name as a second link before the record
    // is committed; a crash in between leaves that name and the working file
    // as one file. Such a name was never registered and may go with it.
    QHash<QPair<quint64, quint64>, QString> partFiles; // file → owner of its working name
    for (const QFileInfo& entry : entries) {
        if (StoreFiles::isPartName(entry.fileName()) && !entry.isSymLink())
            if (const auto id = fileIdentity(entry.filePath()))
                partFiles.insert(*id, StoreFiles::ownerOf(entry.fileName()));
    }
    for (const QFileInfo& entry : entries) {
        const QString name = entry.fileName();
        if (named.contains(name))
            continue;
        if (BinCheck::isBinFolder(entry)) {
            --report.storeEntries;
            continue;
        }
        Finding finding;
        finding.name = name;
        const bool plainFile = entry.isFile() && !entry.isSymLink();
        const QString lockOwner = LiveWriter::ownerOfLockName(name);
        const auto part =
            partFiles.isEmpty() || StoreFiles::isReserved(name) || !plainFile
                ? partFiles.constEnd()
                : partFiles.constFind(
                      fileIdentity(entry.filePath()).value_or(QPair<quint64, quint64>(0, 0)));
        if (!lockOwner.isEmpty() && plainFile) {
            if (probe.isAlive(lockOwner))
                continue;
            finding.kind = Kind::Leftover;
            finding.removable = true;
        } else if (part != partFiles.constEnd()) {
            if (probe.isAlive(*part)) {
                ++report.inUse;
                continue;
            }
            finding.kind = Kind::Leftover;
            finding.removable = true;
        } else if (StoreFiles::isLeftover(name) && (entry.isFile() || entry.isSymLink())) {
            if (plainFile && probe.isAlive(StoreFiles::ownerOf(name))) {
                ++report.inUse;
                continue;
            }
            finding.kind = Kind::Leftover;
            if (StoreFiles::isDeletingName(name) && !missing.isEmpty()) {
                // It may be the copy of a record whose delete did not finish.
                if (const Finding* owner =
                        ownerOf(store, name, missing, digests.value(), options.cancelled)) {
                    finding.rowid = owner->rowid;
                    finding.serial = owner->serial;
                    finding.recordName = owner->recordName;
                    finding.detail = owner->name;
                    finding.removable = true;
                } else {
                    finding.detail =
                        QStringLiteral("但有记录缺少存储副本，它可能是其中之一的副本，因此保留。");
                }
            } else {
                finding.removable = true;
            }
        } else if (const QString binCopy =
                       plainFile ? binCheck.binCopyOf(fileIdentity(entry.filePath())
                                                          .value_or(QPair<quint64, quint64>(0, 0)))
                                 : QString();
                   !binCopy.isEmpty()) {
            finding.kind = Kind::Leftover;
            finding.binStep = BinStep::StoreName;
            finding.twin = binCopy;
            finding.removable = true;
        } else {
            finding.kind = Kind::StrayFile;
            finding.detail = StoreFolder::typeText(store.entry(name).type);
        }
        findings.append(finding);
    }

    // What a program still at work shows only for a moment is not a fault.
    dropPassingStates(reg, store, findings);

    if (options.verify) {
        const qint64 total = toVerify.size();
        qint64 done = 0;
        std::optional<Result<QHash<qint64, RecordedDigest>>> freshDigests;
        for (const RecordRow* row : toVerify) {
            if (options.cancelled && options.cancelled->load())
                return Error{QStringLiteral("检查已取消。"), QString()};
            if (options.progress)
                options.progress(done, total);
            ++done;
            const QString storedName = row->storedName.toString();
            auto digest = digests->constFind(row->identity);
            if (digest == digests->constEnd() || digest->storedName != storedName) {
                // The hashes were read after the records: a record a program
                // deleted or put back in between is asked about again.
                if (!namedNow(reg, storedName, row->identity))
                    continue;
                if (!freshDigests)
                    freshDigests = records->digests();
                if (*freshDigests)
                    digest = (*freshDigests)->constFind(row->identity);
                if (!*freshDigests || digest == (*freshDigests)->constEnd() ||
                    digest->storedName != storedName) {
                    findings.append(recordFinding(Kind::NotHashed, *row));
                    continue;
                }
            }
            Result<ContentHash::Digest> actual = digestOf(store, storedName, options.cancelled);
            if (options.cancelled && options.cancelled->load())
                return Error{QStringLiteral("检查已取消。"), QString()};
            if (!actual || actual->size != digest->size || actual->hash != digest->hash) {
                {
                    // Asked where no program is inside its change: deleted
                    // since the records were read, its copy is no concern.
                    const std::unique_ptr<RecordStore> again = reg.records();
                    const Result<std::unique_ptr<StoreTransaction>> lock = again->beginWrite();
                    if (!namedNow(reg, storedName, row->identity))
                        continue;
                }
                // Deleted and put back meanwhile: read once more.
                if (!actual)
                    actual = digestOf(store, storedName, options.cancelled);
            }
            if (!actual) {
                findings.append(recordFinding(Kind::Unreadable, *row, actual.error().message));
            } else if (actual->size != digest->size) {
                findings.append(recordFinding(Kind::SizeChanged, *row,
                                              QStringLiteral("登记时 %1 字节，现在 %2 字节")
                                                  .arg(digest->size)
                                                  .arg(actual->size)));
            } else if (actual->hash != digest->hash) {
                findings.append(recordFinding(Kind::ContentChanged, *row));
            }
        }
        if (options.progress)
            options.progress(total, total);
    }

    if (options.repair) {
        for (Finding& finding : findings) {
            if (finding.kind == Kind::Leftover && finding.removable && !finding.resolved)
                repairLeftover(reg, store, probe, finding, findings);
        }
    }
    return report;
}

} // namespace Integrity
