#include "integrity/BinCheck.h"

#include "store/RecycleBin.h"
#include "trash/Trash.h"

#include <QDir>
#include <QSet>

#include <cstring>

using Integrity::BinStep;
using Integrity::Finding;
using Integrity::Kind;

namespace {

BinCheck::FileId idOf(const struct stat& st)
{
    return {quint64(st.st_dev), quint64(st.st_ino)};
}

Finding entryFinding(Kind kind, const RecycleBin::Entry& entry, const QString& detail = {})
{
    Finding finding;
    finding.kind = kind;
    finding.rowid = entry.record.rowid;
    finding.serial = entry.record.serial;
    finding.recordName = entry.record.fileName;
    finding.name = entry.binName;
    finding.detail = detail;
    return finding;
}

// Whether `a` in one folder and `b` in the other are one regular file now.
bool sameFile(const StoreFolder& first, const QString& a, const StoreFolder& second,
              const QString& b)
{
    const StoreFolder::Entry one = first.entry(a);
    const StoreFolder::Entry other = second.entry(b);
    return one.type == StoreFolder::Type::File && other.type == StoreFolder::Type::File &&
           idOf(one.st) == idOf(other.st);
}

QString failedText(int error)
{
    return QStringLiteral("未能处理：%1").arg(QString::fromLocal8Bit(std::strerror(error)));
}

} // namespace

BinCheck::BinCheck(const Register& reg, const StoreFolder& store)
    : m_records(reg.records()), m_store(store)
{
}

BinCheck::~BinCheck() = default;

bool BinCheck::isBinFolder(const QFileInfo& entry)
{
    return entry.fileName() == RecycleBin::folderName && entry.isDir() && !entry.isSymLink();
}

Status BinCheck::run(LiveProbe& probe, const LiveTwin& liveTwin, Integrity::Report& report)
{
    Result<QList<RecycleBin::Entry>> entries = m_records->binEntries();
    if (!entries)
        return entries.error();
    report.binRecords = entries->size();
    Result<StoreFolder> bin = Trash::openBin(m_store, false);
    QSet<QString> named;
    for (const RecycleBin::Entry& entry : entries.value()) {
        if (entry.binName.isEmpty())
            continue; // it had no copy when it was deleted
        named.insert(entry.binName);
        const StoreFolder::Entry found = bin ? bin->entry(entry.binName) : StoreFolder::Entry{};
        if (found.type == StoreFolder::Type::File)
            m_copies.insert(idOf(found.st), entry.binName);
        else if (found.type == StoreFolder::Type::Missing)
            report.findings.append(entryFinding(Kind::BinMissingCopy, entry));
        else
            report.findings.append(
                entryFinding(Kind::BinMissingCopy, entry, StoreFolder::typeText(found.type)));
    }
    if (!bin)
        return {};

    const QFileInfoList files =
        QDir(bin->path())
            .entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                           QDir::Name);
    for (const QFileInfo& file : files) {
        const QString name = file.fileName();
        if (named.contains(name))
            continue;
        Finding finding;
        finding.name = name;
        const StoreFolder::Entry found = bin->entry(name);
        if (const std::optional<Trash::Purging> purging = Trash::parsePurgingName(name);
            purging && found.type == StoreFolder::Type::File) {
            if (probe.isAlive(purging->owner)) {
                ++report.inUse;
                continue;
            }
            finding.kind = Kind::Leftover;
            finding.binStep = BinStep::Purging;
            finding.rowid = purging->identity;
            finding.removable = true;
        } else if (const QString twin =
                       found.type == StoreFolder::Type::File && found.st.st_nlink > 1
                           ? liveTwin(idOf(found.st))
                           : QString();
                   !twin.isEmpty()) {
            finding.kind = Kind::Leftover;
            finding.binStep = BinStep::BinName;
            finding.twin = twin;
            finding.removable = true;
        } else {
            finding.kind = Kind::BinStrayFile;
            finding.detail = StoreFolder::typeText(found.type);
        }
        report.findings.append(finding);
    }
    return {};
}

void BinCheck::repair(const Register& reg, const StoreFolder& store, Finding& leftover,
                      QList<Finding>& findings)
{
    Result<StoreFolder> bin = Trash::openBin(store, false);
    if (!bin) {
        leftover.resolution = bin.error().message;
        return;
    }
    // Under the write lock: a program that is still in its transaction holds
    // it, and what it wrote is what decides.
    const std::unique_ptr<RecordStore> records = reg.records();
    Result<std::unique_ptr<StoreTransaction>> transaction = records->beginWrite();
    if (!transaction) {
        leftover.resolution = transaction.error().code == ErrorCode::Busy
                                  ? QStringLiteral("另一个程序正在修改登记库，未处理。")
                                  : transaction.error().message;
        return;
    }
    // A question the database could not answer counts against removing.
    const auto maybe = [](const Result<bool>& result) {
        return !result || result.value();
    };
    const auto surely = [](const Result<bool>& result) {
        return result && result.value();
    };
    switch (leftover.binStep) {
    case BinStep::BinName: {
        // Removable only while no bin record names it and its twin is a live copy.
        if (const Result<bool> named = records->binNameTaken(leftover.name);
            named && named.value()) {
            // The program that left it committed meanwhile: it is its copy now.
            leftover.resolved = true;
            leftover.resolution = QStringLiteral("已由其程序处理完毕。");
            return;
        }
        if (maybe(records->binNameTaken(leftover.name)) ||
            !surely(records->storedNameTaken(leftover.twin)) ||
            !sameFile(*bin, leftover.name, store, leftover.twin)) {
            leftover.resolution = QStringLiteral("情况已变，未处理；请再检查一次。");
            return;
        }
        if (const int error = bin->remove(leftover.name); error != 0) {
            leftover.resolution = failedText(error);
            return;
        }
        break;
    }
    case BinStep::StoreName: {
        if (const Result<bool> named = records->storedNameTaken(leftover.name);
            named && named.value()) {
            // The program that left it committed meanwhile: it is its copy now.
            leftover.resolved = true;
            leftover.resolution = QStringLiteral("已由其程序处理完毕。");
            return;
        }
        if (maybe(records->storedNameTaken(leftover.name)) ||
            !surely(records->binNameTaken(leftover.twin)) ||
            !sameFile(store, leftover.name, *bin, leftover.twin)) {
            leftover.resolution = QStringLiteral("情况已变，未处理；请再检查一次。");
            return;
        }
        if (const int error = store.remove(leftover.name); error != 0) {
            leftover.resolution = failedText(error);
            return;
        }
        break;
    }
    case BinStep::Purging: {
        Result<std::optional<RecycleBin::Entry>> entry = records->binEntry(leftover.rowid);
        if (!entry) {
            leftover.resolution = entry.error().message;
            return;
        }
        // The purge did not commit: the copy goes back to its record in the bin.
        if (entry->has_value() && Register::isPlainFileName((*entry)->binName) &&
            bin->entry((*entry)->binName).type == StoreFolder::Type::Missing) {
            if (const int error = bin->renameNoReplace(leftover.name, (*entry)->binName);
                error != 0) {
                leftover.resolution = failedText(error);
                return;
            }
            leftover.resolved = true;
            leftover.resolution =
                QStringLiteral("已放回回收站，恢复为“%1”。").arg((*entry)->binName);
            for (Finding& other : findings) {
                if (other.kind == Kind::BinMissingCopy && other.rowid == leftover.rowid) {
                    other.resolved = true;
                    other.resolution = QStringLiteral("已从“%1”恢复。").arg(leftover.name);
                }
            }
            return;
        }
        if (entry->has_value()) {
            leftover.resolution = QStringLiteral("回收站中的记录仍在，未处理。");
            return;
        }
        if (const int error = bin->remove(leftover.name); error != 0) {
            leftover.resolution = failedText(error);
            return;
        }
        break;
    }
    case BinStep::None:
        return;
    }
    leftover.resolved = true;
    leftover.resolution = QStringLiteral("已删除。");
}
