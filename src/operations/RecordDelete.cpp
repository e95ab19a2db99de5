#include "operations/RecordDelete.h"

#include "base/GeneralRoutines.h"
#include "base/TestPause.h"
#include "store/RecordStore.h"
#include "store/folder/StoreFiles.h"
#include "store/folder/StoreFolder.h"
#include "trash/Trash.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <optional>
#include <unistd.h>

namespace RecordDelete {

namespace {

Status failed(Error error)
{
    return error;
}

// A link, folder, pipe or device is never removed or followed: the user
// has to look at it.
Status notAFile(const StoreFolder& store, const QString& name, StoreFolder::Type type)
{
    return failed({QStringLiteral("存储副本“%1”%2，不是普通文件，记录未删除。"
                                  "请先用“检查登记库”查看。")
                       .arg(name, StoreFolder::typeText(type)),
                   store.pathOf(name)});
}

} // namespace

Status deleteRecord(const Register& reg, const SeenRecord& seen)
{
    const std::unique_ptr<RecordStore> records = reg.records();
    const QString& storedName = seen.storedName;

    // A name that is not a plain file name has no copy in the store, and
    // nothing outside it may be touched: the record goes alone.
    const bool plain = Register::isPlainFileName(storedName);
    std::optional<StoreFolder> store;
    if (plain) {
        Result<StoreFolder> opened = StoreFolder::open(reg);
        if (!opened)
            return failed(
                {opened.error().message + QStringLiteral("记录未删除。"), opened.error().detail});
        store.emplace(std::move(opened.value()));
    }
    const StoreFolder::Entry entry = store ? store->entry(storedName) : StoreFolder::Entry{};
    if (entry.type != StoreFolder::Type::File && entry.type != StoreFolder::Type::Missing)
        return notAFile(*store, storedName, entry.type);
    if (entry.error != 0)
        return failed({QStringLiteral("无法读取存储副本，记录未删除。"),
                       store->pathOf(storedName) + QStringLiteral(": ") +
                           QString::fromLocal8Bit(std::strerror(entry.error))});
    const bool hasCopy = entry.type == StoreFolder::Type::File;
    // A copy that another record names as well stays; so it need not be free.
    Result<qint64> naming = hasCopy ? records->recordsNaming(storedName) : Result<qint64>(0);
    if (!naming)
        return failed(naming.error());
    if (hasCopy && naming.value() <= 1) {
        int error = 0;
        const int fd = store->openForRead(storedName, &error);
        const bool locked = fd >= 0 && GeneralRoutines::IsFileLocked(fd);
        if (fd >= 0)
            ::close(fd);
        if (locked)
            // Told as it is, without a path: the person knows which file.
            return Error{lockedText, QString(), ErrorCode::Busy};
    }

    // The bin takes the copy as a second name of the same file.
    std::optional<StoreFolder> bin;
    if (hasCopy) {
        Result<StoreFolder> opened = Trash::openBin(*store, true);
        if (!opened)
            return failed(
                {opened.error().message + QStringLiteral("记录未删除。"), opened.error().detail});
        bin.emplace(std::move(opened.value()));
    }
    Result<std::unique_ptr<StoreTransaction>> transaction = records->beginWrite();
    if (!transaction)
        return failed(transaction.error());
    if (Status same = records->stillThere(seen); !same)
        return failed(same.error());
    Result<QString> binName =
        hasCopy ? Trash::binNameFor(*records, *bin, storedName) : Result<QString>(QString());
    if (!binName)
        return failed(binName.error());
    if (Status kept = records->binMoveIn(seen.rowid, *binName, Trash::now()); !kept)
        return failed(kept.error());
    // Checks again that the record is the one seen, and that it went.
    if (Status removed = records->remove(seen); !removed)
        return failed(removed.error());
    // Counted again under the write lock: what decides is who names it now.
    Result<qint64> others = hasCopy ? records->recordsNaming(storedName) : Result<qint64>(0);
    if (!others)
        return failed(others.error());
    const bool removeCopy = hasCopy && others.value() == 0;

    // The bin gets its name of the copy before the commit and the store loses
    // its name only after it: a kill at any moment leaves the record whole on
    // one side, and at most an extra name of its copy that the check removes.
    if (hasCopy) {
        if (const int error = store->linkInto(storedName, *bin, *binName); error != 0)
            return failed({QStringLiteral("无法把存储文件移入回收站，记录未删除。"),
                           bin->pathOf(*binName) + QStringLiteral(": ") +
                               QString::fromLocal8Bit(std::strerror(error))});
        // Swapped for something else since it was looked at: take it back.
        if (const StoreFolder::Type type = bin->entry(*binName).type;
            type != StoreFolder::Type::File) {
            bin->remove(*binName);
            return notAFile(*store, storedName, type);
        }
    }
    TestPause::at("delete-before-commit");
    if (Status committed = transaction.value()->commit(); !committed) {
        // One that may have landed keeps both names, as a kill here would.
        if (hasCopy && committed.error().code != ErrorCode::Uncertain)
            bin->remove(*binName);
        return failed(committed.error());
    }
    if (removeCopy)
        store->remove(storedName);
    return {};
}

} // namespace RecordDelete
