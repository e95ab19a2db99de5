#include "intake/Intake.h"

#include "intake/StagedCopy.h"
#include "intake/StoredName.h"
#include "store/ContentHash.h"
#include "store/DateText.h"
#include "store/RegisterNames.h"
#include "store/Sql.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <unistd.h>

namespace Intake {

namespace {

constexpr int renameAttempts = 8;

qint64 nextSerial(const QSqlDatabase& db, Error* error)
{
    // Numbers sort before every text, so "< ''" keeps the numeric serials of
    // a damaged register and still walks the serial index from its end.
    Result<QVariant> highest =
        Sql::scalar(db, QStringLiteral("SELECT %1 FROM %2 WHERE %1 < '' ORDER BY %1 DESC LIMIT 1")
                            .arg(Sql::identifier(RegisterNames::serial),
                                 Sql::identifier(RegisterNames::recordTable)));
    if (!highest) {
        *error = highest.error();
        return 0;
    }
    if (highest->isNull())
        return 1;
    return static_cast<qint64>(std::floor(highest->toDouble())) + 1;
}

// An empty text is stored as the empty text, never as NULL.
QString columnText(const QString& text, int limit)
{
    return text.isEmpty() ? QStringLiteral("") : StoredName::cut(text, limit);
}

Result<qint64> insertRecord(const QSqlDatabase& db, qint64 newSerial, const File& file,
                            const QString& newStoredName, const Details& details)
{
    using namespace RegisterNames;
    const QString sql =
        QStringLiteral("INSERT INTO %1 (%2, %3, %4, %5, %6, %7, %8, %9) "
                       "VALUES (?, ?, ?, ?, ?, ?, ?, ?)")
            .arg(Sql::identifier(recordTable), Sql::identifier(serial), Sql::identifier(date),
                 Sql::identifier(fileName), Sql::identifier(storedName), Sql::identifier(remark),
                 Sql::identifier(recipient), Sql::identifier(method), Sql::identifier(folder));
    Result<QSqlQuery> query = Sql::run(
        db, sql,
        {newSerial, DateText::toStored(details.date), columnText(file.fileName, fileNameLimit),
         newStoredName, columnText(details.remark, remarkLimit),
         columnText(details.recipient, recipientLimit), columnText(details.method, methodLimit),
         columnText(details.folder, folderLimit)});
    if (!query)
        return query.error();
    return query->lastInsertId().toLongLong();
}

void syncFolder(const QString& folder)
{
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// The stored name, serial, record and content hash of one staged copy,
// inside the caller's transaction. The name is given first, under the write
// lock: a name someone else took meanwhile is simply passed over. On failure
// the copy loses its name again; the caller rolls the transaction back.
Outcome registerOne(const Register& reg, const QSqlDatabase& db, StagedCopy& copy,
                    const Details& details)
{
    const File& file = copy.file();
    QString storedName;
    for (int attempt = 0; attempt < renameAttempts && storedName.isEmpty(); ++attempt) {
        const QString candidate = attempt == 0 ? StoredName::choose(reg, file.fileName)
                                               : StoredName::clashName(file.fileName);
        const QString finalPath = reg.storedCopyPath(candidate);
        if (finalPath.isEmpty())
            continue;
        const int placeError = copy.placeAt(QFile::encodeName(finalPath));
        if (placeError == 0)
            storedName = candidate;
        else if (placeError != EEXIST)
            return failed(file, StagedCopy::writeErrorText(placeError), systemText(placeError));
    }
    if (storedName.isEmpty())
        return failed(file, QStringLiteral("无法为文件副本找到一个未被占用的名称。"),
                      reg.storeFolder());
    const auto fail = [&](const Error& error) {
        copy.unplace();
        return failed(file, error.message, error.detail);
    };
    Error serialError;
    const qint64 serial = nextSerial(db, &serialError);
    if (serial == 0)
        return fail(serialError);
    Result<QList<ContentHash::SameContent>> same =
        ContentHash::recordsWithContent(db, copy.size(), copy.hash());
    if (!same)
        return fail(same.error());
    Result<qint64> inserted = insertRecord(db, serial, file, storedName, details);
    if (!inserted)
        return fail(inserted.error());
    if (Status hashed = ContentHash::record(db, *inserted, copy.size(), copy.hash()); !hashed)
        return fail(hashed.error());
    Outcome outcome;
    outcome.kind = Outcome::Registered;
    outcome.fileName = file.fileName;
    outcome.serial = serial;
    outcome.storedName = storedName;
    outcome.sameContent = same.value();
    return outcome;
}

using Group = std::vector<std::unique_ptr<StagedCopy>>;

// Records for all of `copies`, in their order, in one transaction with one
// flush of the store folder. All or nothing: on the first failure of a record
// or of the commit nothing is kept, every copy loses its name, and that
// failure is returned. A register that cannot be written at all (locked,
// read-only) fails every copy at once: recording them one by one would
// only wait for it again.
std::variant<QList<Outcome>, Outcome> registerTogether(const Register& reg,
                                                       const std::vector<StagedCopy*>& copies,
                                                       const Details& details)
{
    QSqlDatabase db = reg.database();
    Transaction transaction(db);
    if (!transaction.started()) {
        QList<Outcome> outcomes;
        for (StagedCopy* copy : copies)
            outcomes << failed(copy->file(), transaction.startError().message,
                               transaction.startError().detail);
        return outcomes;
    }
    const auto undoAll = [&](const Outcome& failure) {
        for (StagedCopy* copy : copies)
            copy->unplace();
        return failure;
    };
    QList<Outcome> outcomes;
    for (StagedCopy* copy : copies) {
        Outcome outcome = registerOne(reg, db, *copy, details);
        if (outcome.kind != Outcome::Registered)
            return undoAll(outcome);
        outcomes << outcome;
    }
    // The names are made durable before the records can be: after a power
    // cut there may be a copy without its record (a leftover the check
    // removes), never a record without its copy.
    syncFolder(reg.storeFolder());
    if (Status committed = transaction.commit(); !committed)
        return undoAll(
            failed(copies.front()->file(), committed.error().message, committed.error().detail));
    for (StagedCopy* copy : copies)
        copy->finish();
    return outcomes;
}

// Records for a group of staged copies: together when all of them can be
// recorded, else one by one, so that a failure is the failing file's alone.
// (Savepoints per record would isolate failures too, but make the full-text
// indexes write out a segment for every record.)
QList<Outcome> registerGroup(const Register& reg, Group& group, const Details& details)
{
    std::vector<StagedCopy*> all;
    for (const auto& copy : group)
        all.push_back(copy.get());
    auto together = registerTogether(reg, all, details);
    if (auto* done = std::get_if<QList<Outcome>>(&together))
        return *done;
    if (group.size() == 1)
        return {std::get<Outcome>(together)};
    QList<Outcome> outcomes;
    for (StagedCopy* copy : all) {
        auto alone = registerTogether(reg, {copy}, details);
        if (auto* done = std::get_if<QList<Outcome>>(&alone))
            outcomes << done->first();
        else
            outcomes << std::get<Outcome>(alone);
    }
    return outcomes;
}

} // namespace

File File::fromPath(const QString& path)
{
    return {path, QFileInfo(path).fileName()};
}

Outcome DdtaUp(const Register& reg, const File& file, const Details& details, int index,
               const Progress& progress, const std::atomic_bool* cancel)
{
    auto staged = StagedCopy::stage(reg, file, index, progress, cancel);
    if (Outcome* notCopied = std::get_if<Outcome>(&staged))
        return *notCopied;
    Group group;
    group.push_back(std::move(std::get<std::unique_ptr<StagedCopy>>(staged)));
    return registerGroup(reg, group, details).first();
}

QString sameContentNote(const Outcome& outcome)
{
    if (outcome.sameContent.isEmpty())
        return QString();
    QStringList earlier;
    for (const ContentHash::SameContent& same : outcome.sameContent)
        earlier << QStringLiteral("%1“%2”").arg(same.serial.toString(), same.fileName);
    return QStringLiteral("“%1”的内容与已登记的记录 %2相同，已照常登记。")
        .arg(outcome.fileName, earlier.join(QStringLiteral("、")));
}

QList<Outcome> runBatch(const Register& reg, const QList<File>& files, const Details& details,
                        const Progress& progress, const std::atomic_bool* cancel)
{
    // Copies are staged one by one and recorded in groups: a commit and a
    // flush of the store folder per group rather than per file. Groups stay
    // small enough that a crash leaves little to copy again.
    constexpr std::size_t groupFiles = 64;
    constexpr qint64 groupBytes = qint64(256) << 20;
    QList<Outcome> outcomes(files.size());
    Group group;
    qint64 groupSize = 0;
    const auto registerStaged = [&] {
        if (group.empty())
            return;
        const QList<Outcome> done = registerGroup(reg, group, details);
        for (std::size_t i = 0; i < group.size(); ++i)
            outcomes[group.at(i)->index()] = done.at(qsizetype(i));
        group.clear();
        groupSize = 0;
    };
    for (int i = 0; i < files.size(); ++i) {
        if (cancel && cancel->load()) {
            Outcome skipped;
            skipped.kind = Outcome::Cancelled;
            skipped.fileName = files.at(i).fileName;
            skipped.error = {QStringLiteral("已取消。"), QString()};
            outcomes[i] = skipped;
            continue;
        }
        auto staged = StagedCopy::stage(reg, files.at(i), i, progress, cancel);
        if (Outcome* notCopied = std::get_if<Outcome>(&staged)) {
            outcomes[i] = *notCopied;
            continue;
        }
        auto& copy = std::get<std::unique_ptr<StagedCopy>>(staged);
        groupSize += copy->size();
        group.push_back(std::move(copy));
        if (group.size() >= groupFiles || groupSize >= groupBytes)
            registerStaged();
    }
    // Files copied before a cancel are registered all the same.
    registerStaged();
    return outcomes;
}

} // namespace Intake
