#include "operations/RecordDelete.h"

#include "store/GeneralRoutines.h"
#include "store/LiveWriter.h"
#include "store/RecordStore.h"
#include "store/StoreFiles.h"
#include "store/StoreFolder.h"
#include "support/TestPause.h"

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

// Sets the copy `name` aside under a name the integrity check knows as an
// interrupted delete of `writer`; that name, or an empty one with *error set.
QString setAside(const StoreFolder& store, const QString& name, const LiveWriter& writer,
                 int* error)
{
    for (int attempt = 0; attempt < 8; ++attempt) {
        const QString aside = StoreFiles::deletingName(writer.owner());
        *error = store.renameNoReplace(name, aside);
        if (*error == 0)
            return aside;
        if (*error != EEXIST)
            break;
    }
    return QString();
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

    // Marks the set-aside copy as this live program's until it is gone; declared
    // before the transaction, so it is let go only after a rollback.
    std::shared_ptr<LiveWriter> writer;
    if (hasCopy) {
        int error = 0;
        writer = LiveWriter::hold(store->path(), &error);
        if (!writer)
            return failed({QStringLiteral("无法删除存储文件，记录未删除。"),
                           store->pathOf(storedName) + QStringLiteral(": ") +
                               QString::fromLocal8Bit(std::strerror(error))});
    }
    Result<std::unique_ptr<StoreTransaction>> transaction = records->beginWrite();
    if (!transaction)
        return failed(transaction.error());
    // Checks that the record is still the one seen, and that it went.
    if (Status removed = records->remove(seen); !removed)
        return failed(removed.error());
    // Counted again under the write lock: what decides is who names it now.
    Result<qint64> others = hasCopy ? records->recordsNaming(storedName) : Result<qint64>(0);
    if (!others)
        return failed(others.error());
    const bool removeCopy = hasCopy && others.value() == 0;

    // The copy is moved aside first: until the commit it can be put back, so
    // a record is never lost while its file stays, nor the other way round.
    QString aside;
    if (removeCopy) {
        int error = 0;
        aside = setAside(*store, storedName, *writer, &error);
        if (aside.isEmpty())
            return failed({QStringLiteral("无法删除存储文件，记录未删除。"),
                           store->pathOf(storedName) + QStringLiteral(": ") +
                               QString::fromLocal8Bit(std::strerror(error))});
        // Swapped for something else since it was looked at: put it back.
        if (const StoreFolder::Type type = store->entry(aside).type;
            type != StoreFolder::Type::File) {
            store->renameNoReplace(aside, storedName);
            return notAFile(*store, storedName, type);
        }
    }
    TestPause::at("delete-before-commit");
    if (Status committed = transaction.value()->commit(); !committed) {
        if (removeCopy)
            store->renameNoReplace(aside, storedName);
        return failed(committed.error());
    }
    if (removeCopy)
        store->remove(aside);
    return {};
}

} // namespace RecordDelete
