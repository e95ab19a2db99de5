#include "operations/RecordDelete.h"

#include "store/GeneralRoutines.h"
#include "store/RegisterNames.h"
#include "store/Sql.h"
#include "store/StoreFiles.h"
#include "store/StoreFolder.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>

#include <cerrno>
#include <cstring>
#include <optional>
#include <unistd.h>

namespace RecordDelete {

namespace {

Report failed(Error error)
{
    return {Outcome::Failed, std::move(error)};
}

// A link, folder, pipe or device is never removed or followed: the user
// has to look at it.
Report notAFile(const StoreFolder& store, const QString& name, StoreFolder::Type type)
{
    return failed({QStringLiteral("存储副本“%1”%2，不是普通文件，记录未删除。"
                                  "请先用“检查登记库”查看。")
                       .arg(name, StoreFolder::typeText(type)),
                   store.pathOf(name)});
}

// Sets the copy `name` aside under a name the integrity check knows as an
// interrupted delete; that name, or an empty one with *error set.
QString setAside(const StoreFolder& store, const QString& name, int* error)
{
    for (int attempt = 0; attempt < 8; ++attempt) {
        const QString aside = StoreFiles::deletingName();
        *error = store.renameNoReplace(name, aside);
        if (*error == 0)
            return aside;
        if (*error != EEXIST)
            break;
    }
    return QString();
}

Result<qint64> recordsNaming(const QSqlDatabase& db, const QString& storedName)
{
    Result<QVariant> count = Sql::scalar(db,
                                         QStringLiteral("SELECT count(*) FROM %1 WHERE %2 = ?")
                                             .arg(Sql::identifier(RegisterNames::recordTable),
                                                  Sql::identifier(RegisterNames::storedName)),
                                         {storedName});
    if (!count)
        return count.error();
    return count->toLongLong();
}

} // namespace

Report deleteRecord(const Register& reg, qint64 rowid)
{
    QSqlDatabase db = reg.database();
    const QString table = Sql::identifier(RegisterNames::recordTable);
    Result<QSqlQuery> read = Sql::run(db,
                                      QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ?")
                                          .arg(Sql::identifier(RegisterNames::storedName), table),
                                      {rowid});
    if (!read)
        return failed(read.error());
    if (!read->next())
        return failed({QStringLiteral("该记录已不存在。"), QString::number(rowid)});
    const QString storedName = read->value(0).toString();
    read->finish();

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
    Result<qint64> naming = hasCopy ? recordsNaming(db, storedName) : Result<qint64>(0);
    if (!naming)
        return failed(naming.error());
    if (hasCopy && naming.value() <= 1) {
        int error = 0;
        const int fd = store->openForRead(storedName, &error);
        const bool locked = fd >= 0 && GeneralRoutines::IsFileLocked(fd);
        if (fd >= 0)
            ::close(fd);
        if (locked)
            return {Outcome::Locked, {lockedText, store->pathOf(storedName)}};
    }

    Transaction transaction(db);
    if (!transaction.started())
        return failed(transaction.startError());
    Result<QSqlQuery> removed =
        Sql::run(db, QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(table), {rowid});
    if (!removed)
        return failed(removed.error());
    if (removed->numRowsAffected() != 1)
        return failed({QStringLiteral("该记录已不存在。"), QString::number(rowid)});
    // Counted again under the write lock: what decides is who names it now.
    Result<qint64> others = hasCopy ? recordsNaming(db, storedName) : Result<qint64>(0);
    if (!others)
        return failed(others.error());
    const bool removeCopy = hasCopy && others.value() == 0;

    // The copy is moved aside first: until the commit it can be put back, so
    // a record is never lost while its file stays, nor the other way round.
    QString aside;
    if (removeCopy) {
        int error = 0;
        aside = setAside(*store, storedName, &error);
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
    if (Status committed = transaction.commit(); !committed) {
        if (removeCopy)
            store->renameNoReplace(aside, storedName);
        return failed(committed.error());
    }
    if (removeCopy)
        store->remove(aside);
    return {};
}

} // namespace RecordDelete
