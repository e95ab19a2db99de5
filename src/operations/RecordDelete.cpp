#include "operations/RecordDelete.h"

#include "store/GeneralRoutines.h"
#include "store/LiveWriter.h"
#include "store/RegisterNames.h"
#include "store/Sql.h"
#include "store/StoreFiles.h"
#include "support/TestPause.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace RecordDelete {

namespace {

Report failed(Error error)
{
    return {Outcome::Failed, std::move(error)};
}

// A name in the store for a copy on its way out, of the form the integrity
// check knows as an interrupted delete.
QString asideName(const Register& reg, const LiveWriter& writer)
{
    for (int attempt = 0; attempt < 8; ++attempt) {
        const QString path =
            reg.storeFolder() + QLatin1Char('/') + StoreFiles::deletingName(writer.owner());
        if (!QFileInfo(path).exists() && !QFileInfo(path).isSymLink())
            return path;
    }
    return QString();
}

// Plain POSIX calls: they act on the directory entry itself and never follow
// a link, copy or fall back to anything else.
bool renameEntry(const QString& from, const QString& to, QString* detail)
{
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return true;
    if (detail)
        *detail = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

} // namespace

Report deleteRecord(const Register& reg, const SeenRecord& seen)
{
    QSqlDatabase db = reg.database();
    const QString table = Sql::identifier(RegisterNames::recordTable);

    // Empty for a name that is not a plain file name: such a record has no
    // copy in the store, and nothing outside it may be touched.
    const QString path = reg.storedCopyPath(seen.storedName);
    const bool hasCopy =
        !path.isEmpty() && (QFileInfo(path).exists() || QFileInfo(path).isSymLink());
    if (hasCopy && GeneralRoutines::IsFileLocked(path))
        return {Outcome::Locked, {lockedText, path}};

    // Marks the set-aside copy as this live program's until it is gone; declared
    // before the transaction, so it is let go only after a rollback.
    std::shared_ptr<LiveWriter> writer;
    if (hasCopy) {
        int error = 0;
        writer = LiveWriter::hold(reg.storeFolder(), &error);
        if (!writer)
            return failed(
                {QStringLiteral("无法删除存储文件，记录未删除。"),
                 path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error))});
    }
    Transaction transaction(db);
    if (!transaction.started())
        return failed(transaction.startError());
    if (Status same = seen.stillThere(db); !same)
        return failed(same.error());
    Result<QVariant> highest =
        Sql::scalar(db, QStringLiteral("SELECT max(rowid) FROM %1").arg(table));
    if (!highest)
        return failed(highest.error());
    Result<QSqlQuery> removed =
        Sql::run(db, QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(table), {seen.rowid});
    if (!removed)
        return failed(removed.error());
    // A trigger may skip the delete or put the record (or another) back.
    Result<QVariant> left = Sql::scalar(
        db, QStringLiteral("SELECT count(*) FROM %1 WHERE rowid = ? OR rowid > ?").arg(table),
        {seen.rowid, highest->toLongLong()});
    if (!left)
        return failed(left.error());
    if (removed->numRowsAffected() != 1 || left->toLongLong() != 0)
        return failed({notAppliedText, QString::number(seen.rowid)});

    // The copy is moved aside first: until the commit it can be put back, so
    // a record is never lost while its file stays, nor the other way round.
    QString aside;
    if (hasCopy) {
        aside = asideName(reg, *writer);
        QString detail;
        if (aside.isEmpty() || !renameEntry(path, aside, &detail))
            return failed({QStringLiteral("无法删除存储文件，记录未删除。"),
                           path + QStringLiteral(": ") + detail});
    }
    TestPause::at("delete-before-commit");
    if (Status committed = transaction.commit(); !committed) {
        if (hasCopy)
            renameEntry(aside, path, nullptr);
        return failed(committed.error());
    }
    if (hasCopy)
        ::unlink(QFile::encodeName(aside).constData());
    return {};
}

} // namespace RecordDelete
