#include "integrity/BinCheck.h"
#include "integrity/CheckSteps.h"
#include "store/folder/StoreFiles.h"

#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>

namespace Integrity {

namespace {

// Device and inode of a file (not following links), to tell two names of one file.
std::optional<QPair<quint64, quint64>> fileIdentity(const QString& path)
{
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return QPair<quint64, quint64>(st.st_dev, st.st_ino);
}

// A set-aside copy of an interrupted delete whose content is what a record
// without its copy registered: that record's copy, to be put back.
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

} // namespace

void checkStoreFolder(CheckRun& run, const BinCheck& binCheck)
{
    const QFileInfoList entries =
        QDir(run.store.path())
            .entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                           QDir::Name);
    run.report.storeEntries = entries.size();
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
        if (run.named.contains(name))
            continue;
        if (BinCheck::isBinFolder(entry)) {
            --run.report.storeEntries;
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
            if (run.probe.isAlive(lockOwner))
                continue;
            finding.kind = Kind::Leftover;
            finding.removable = true;
        } else if (part != partFiles.constEnd()) {
            if (run.probe.isAlive(*part)) {
                ++run.report.inUse;
                continue;
            }
            finding.kind = Kind::Leftover;
            finding.removable = true;
        } else if (StoreFiles::isLeftover(name) && (entry.isFile() || entry.isSymLink())) {
            if (plainFile && run.probe.isAlive(StoreFiles::ownerOf(name))) {
                ++run.report.inUse;
                continue;
            }
            finding.kind = Kind::Leftover;
            if (StoreFiles::isDeletingName(name) && !run.missing.isEmpty()) {
                // It may be the copy of a record whose delete did not finish.
                if (const Finding* owner =
                        ownerOf(run.store, name, run.missing, run.digests, run.options.cancelled)) {
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
            finding.detail = StoreFolder::typeText(run.store.entry(name).type);
        }
        run.report.findings.append(finding);
    }
}

} // namespace Integrity
