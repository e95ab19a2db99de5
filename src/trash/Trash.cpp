#include "trash/Trash.h"

#include "base/TestPause.h"
#include "intake/StoredName.h"
#include "store/RecordStore.h"
#include "store/folder/LiveWriter.h"

#include <QDateTime>

#include <cstring>

namespace Trash {

namespace {

const QString purgingPrefix = QStringLiteral(".quorvel-purging-");

Error systemError(const QString& message, const QString& path, int error)
{
    return {message, path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error))};
}

// Entry `identity` of the bin, or an error that says it has gone.
Result<RecycleBin::Entry> entryOf(RecordStore& records, qint64 identity)
{
    Result<std::optional<RecycleBin::Entry>> found = records.binEntry(identity);
    if (!found)
        return found.error();
    if (!found->has_value())
        return Error{QStringLiteral("回收站中已没有这条记录，可能已被其他程序恢复或删除。"),
                     QString::number(identity)};
    return std::move(**found);
}

// A name for the restored copy that neither the store folder nor a record
// holds yet.
Result<QString> freeStoredName(RecordStore& records, const StoreFolder& store,
                               const RegisterRecord& record)
{
    QString candidate = record.storedName;
    for (int attempt = 0; attempt < 8; ++attempt) {
        if (Register::isPlainFileName(candidate) && StoredName::fits(candidate)) {
            const StoreFolder::Entry entry = store.entry(candidate);
            Result<bool> taken = records.storedNameTaken(candidate);
            if (!taken)
                return taken.error();
            if (entry.type == StoreFolder::Type::Missing && entry.error == 0 && !taken.value())
                return candidate;
        }
        candidate = StoredName::clashName(
            Register::isPlainFileName(record.storedName) ? record.storedName : record.fileName);
    }
    return Error{QStringLiteral("找不到可用的存储文件名，记录未恢复。"), record.storedName};
}

} // namespace

Result<StoreFolder> openBin(const StoreFolder& store, bool create)
{
    return store.subfolder(RecycleBin::folderName, create);
}

QString now()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

Result<QString> binNameFor(RecordStore& records, const StoreFolder& bin, const QString& storedName)
{
    QString candidate = storedName;
    for (int attempt = 0; attempt < 8; ++attempt) {
        Result<bool> taken = records.binNameTaken(candidate);
        if (!taken)
            return taken.error();
        const StoreFolder::Entry entry = bin.entry(candidate);
        if (!taken.value() && entry.type == StoreFolder::Type::Missing && entry.error == 0)
            return candidate;
        candidate = StoredName::clashName(storedName);
    }
    return Error{QStringLiteral("回收站中找不到可用的文件名。"), storedName};
}

Result<Restored> restore(const Register& reg, qint64 identity)
{
    const std::unique_ptr<RecordStore> records = reg.records();
    Result<StoreFolder> store = StoreFolder::open(reg);
    if (!store)
        return Error{store.error().message + QStringLiteral("记录未恢复。"), store.error().detail};
    Result<std::unique_ptr<StoreTransaction>> transaction = records->beginWrite();
    if (!transaction)
        return transaction.error();
    Result<RecycleBin::Entry> found = entryOf(*records, identity);
    if (!found)
        return found.error();
    const RecycleBin::Entry& entry = *found;
    const bool hasCopy = !entry.binName.isEmpty();
    std::optional<StoreFolder> bin;
    if (hasCopy) {
        Result<StoreFolder> opened = openBin(*store, false);
        if (!opened)
            return Error{opened.error().message + QStringLiteral("记录未恢复。"),
                         opened.error().detail};
        bin.emplace(std::move(opened.value()));
        if (bin->entry(entry.binName).type != StoreFolder::Type::File)
            return Error{
                QStringLiteral("回收站中缺少“%1”的副本，记录未恢复。请先用“检查登记库”查看。")
                    .arg(entry.record.fileName),
                bin->pathOf(entry.binName)};
    }

    Restored restored{entry.record.fileName, entry.record.serial, entry.record.serial,
                      entry.record.storedName, entry.record.storedName};
    Result<bool> serialTaken = entry.record.serial.isNull()
                                   ? Result<bool>(true)
                                   : records->serialTaken(entry.record.serial);
    if (!serialTaken)
        return serialTaken.error();
    if (serialTaken.value()) {
        Result<qint64> next = records->nextSerial();
        if (!next)
            return next.error();
        restored.serial = next.value();
    }
    if (hasCopy) {
        Result<QString> name = freeStoredName(*records, *store, entry.record);
        if (!name)
            return name.error();
        restored.storedName = name.value();
    }
    Result<bool> identityTaken = records->identityTaken(identity);
    if (!identityTaken)
        return identityTaken.error();
    if (Status moved = records->binMoveOut(identity, restored.serial, restored.storedName,
                                           !identityTaken.value());
        !moved)
        return moved.error();
    // The copy gets its name in the store before the commit and leaves the
    // bin only after it: a kill in between leaves one record and two names
    // of one file, the extra one a leftover.
    if (hasCopy) {
        if (const int error = bin->linkInto(entry.binName, *store, restored.storedName); error != 0)
            return systemError(QStringLiteral("无法把副本放回存储文件夹，记录未恢复。"),
                               store->pathOf(restored.storedName), error);
    }
    TestPause::at("restore-before-commit");
    if (Status committed = transaction.value()->commit(); !committed) {
        // One that may have landed keeps both names, as a kill here would.
        if (hasCopy && committed.error().code != ErrorCode::Uncertain)
            store->remove(restored.storedName);
        return committed.error();
    }
    if (hasCopy)
        bin->remove(entry.binName);
    return restored;
}

Status purge(const Register& reg, qint64 identity)
{
    const std::unique_ptr<RecordStore> records = reg.records();
    Result<StoreFolder> store = StoreFolder::open(reg);
    if (!store)
        return Error{store.error().message + QStringLiteral("未删除。"), store.error().detail};
    Result<RecycleBin::Entry> peek = entryOf(*records, identity);
    if (!peek)
        return peek.error();
    std::optional<StoreFolder> bin;
    std::shared_ptr<LiveWriter> writer;
    if (!peek->binName.isEmpty()) {
        Result<StoreFolder> opened = openBin(*store, false);
        if (opened) {
            bin.emplace(std::move(opened.value()));
            int error = 0;
            writer = LiveWriter::hold(store->path(), &error);
            if (!writer)
                return systemError(QStringLiteral("无法删除回收站中的文件，未删除。"),
                                   store->path(), error);
        } else if (const StoreFolder::Entry folder = store->entry(RecycleBin::folderName);
                   folder.type != StoreFolder::Type::Missing || folder.error != 0) {
            // Only a bin folder that is not there at all holds no copy; a
            // link or a file in its place would leave the copy behind.
            return Error{opened.error().message + QStringLiteral("未删除。"),
                         opened.error().detail};
        }
    }
    Result<std::unique_ptr<StoreTransaction>> transaction = records->beginWrite();
    if (!transaction)
        return transaction.error();
    Result<RecycleBin::Entry> found = entryOf(*records, identity);
    if (!found)
        return found.error();
    const QString binName = found->binName;
    if (Status removed = records->binRemove(identity); !removed)
        return removed.error();
    // The copy is set aside under a name that carries the entry: until the
    // commit it can be put back, after it the check knows it may go.
    QString aside;
    if (bin && writer && !binName.isEmpty()) {
        const StoreFolder::Entry entry = bin->entry(binName);
        if (entry.type == StoreFolder::Type::File) {
            aside = purgingName(writer->owner(), identity);
            if (const int error = bin->renameNoReplace(binName, aside); error != 0)
                return systemError(QStringLiteral("无法删除回收站中的文件，未删除。"),
                                   bin->pathOf(binName), error);
        } else if (entry.type != StoreFolder::Type::Missing) {
            return Error{QStringLiteral("回收站中的“%1”%2，不是普通文件，未删除。请先用“检查登记库”"
                                        "查看。")
                             .arg(binName, StoreFolder::typeText(entry.type)),
                         bin->pathOf(binName)};
        }
    }
    TestPause::at("purge-before-commit");
    if (Status committed = transaction.value()->commit(); !committed) {
        // One that may have landed leaves the copy aside, as a kill here would.
        if (!aside.isEmpty() && committed.error().code != ErrorCode::Uncertain)
            bin->renameNoReplace(aside, binName);
        return committed.error();
    }
    if (!aside.isEmpty())
        bin->remove(aside);
    return {};
}

QString purgingName(const QString& owner, qint64 identity)
{
    return purgingPrefix + owner + QLatin1Char('-') + QString::number(identity);
}

std::optional<Purging> parsePurgingName(const QString& name)
{
    if (!name.startsWith(purgingPrefix))
        return std::nullopt;
    const QString rest = name.mid(purgingPrefix.size());
    const qsizetype dash = rest.lastIndexOf(QLatin1Char('-'));
    if (dash <= 0)
        return std::nullopt;
    bool ok = false;
    const qint64 identity = rest.mid(dash + 1).toLongLong(&ok);
    if (!ok || identity <= 0)
        return std::nullopt;
    return Purging{rest.left(dash), identity};
}

} // namespace Trash
