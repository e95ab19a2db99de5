#include "intake/Intake.h"

#include "base/TestPause.h"
#include "intake/StagedCopy.h"
#include "intake/StoredName.h"
#include "store/RecordStore.h"
#include "store/RegisterNames.h"
#include "store/sql/ContentHash.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

namespace Intake {

namespace {

constexpr int renameAttempts = 8;
// Earlier records of the same content a note names; a longer list says no more.
constexpr int sameContentListed = 10;

// An empty text is stored as the empty text, never as NULL.
QString columnText(const QString& text, int limit)
{
    return text.isEmpty() ? QStringLiteral("") : StoredName::cut(text, limit);
}

NewRecord newRecord(const File& file, const QString& storedName, const Details& details)
{
    NewRecord record = details;
    record.fileName = file.fileName;
    record.storedName = storedName;
    for (const RecordFields::Field& field : RecordFields::all()) {
        if (field.kind == RecordFields::Kind::Text && field.field != RecordField::StoredName)
            record.*field.added = columnText(record.*field.added, field.limit);
    }
    return record;
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

// Gives a staged copy its stored name, under the write lock: a name someone
// else took meanwhile is simply passed over.
Result<QString> placeCopy(const Register& reg, StagedCopy& copy)
{
    const File& file = copy.file();
    for (int attempt = 0; attempt < renameAttempts; ++attempt) {
        const QString candidate = attempt == 0 ? StoredName::choose(reg, file.fileName)
                                               : StoredName::clashName(file.fileName);
        if (!Register::isPlainFileName(candidate))
            continue;
        const int placeError = copy.placeAt(candidate);
        if (placeError == 0)
            return candidate;
        if (placeError != EEXIST)
            return Error{StagedCopy::writeErrorText(placeError), systemText(placeError)};
    }
    return Error{QStringLiteral("无法为文件副本找到一个未被占用的名称。"), reg.storeFolder()};
}

using Group = std::vector<std::unique_ptr<StagedCopy>>;

// Records for all of `copies`, in their order, in one transaction with one
// flush of the store folder. All or nothing: on the first failure of a record
// or of the commit nothing is kept, every copy loses its name, and that
// failure is returned. A register that cannot be written at all (locked,
// read-only) fails every copy at once: recording them one by one would
// only wait for it again.
Result<QList<Outcome>> registerTogether(const Register& reg, const std::vector<StagedCopy*>& copies,
                                        const Details& details)
{
    const std::unique_ptr<RecordStore> records = reg.records();
    Result<std::unique_ptr<StoreTransaction>> transaction = records->beginWrite();
    if (!transaction) {
        QList<Outcome> outcomes;
        for (StagedCopy* copy : copies)
            outcomes << failed(copy->file(), transaction.error().message,
                               transaction.error().detail);
        return outcomes;
    }
    const auto undoAll = [&](const Error& failure) {
        for (StagedCopy* copy : copies)
            copy->unplace();
        return failure;
    };
    // Names first, then every record, serial, digest and history entry in
    // one go: on a server each statement is a round trip.
    QList<DigestedRecord> rows;
    for (StagedCopy* copy : copies) {
        Result<QString> storedName = placeCopy(reg, *copy);
        if (!storedName)
            return undoAll(storedName.error());
        const File& file = copy->file();
        rows.append({newRecord(file, *storedName, file.details.value_or(details)), copy->size(),
                     copy->hash()});
    }
    Result<QList<AddedRecord>> added = records->addRecords(rows, sameContentListed + 1);
    if (!added)
        return undoAll(added.error());
    QList<Outcome> outcomes;
    for (qsizetype k = 0; k < rows.size(); ++k) {
        const StagedCopy& copy = *copies[std::size_t(k)];
        AddedRecord& record = (*added)[k];
        if (copy.file().recorded) {
            if (Status noted = copy.file().recorded(record.identity, copy.size(), copy.hash());
                !noted)
                return undoAll(noted.error());
        }
        Outcome outcome;
        outcome.kind = Outcome::Registered;
        outcome.fileName = copy.file().fileName;
        outcome.serial = record.serial;
        outcome.storedName = rows[k].record.storedName;
        outcome.moreSameContent = record.sameContent.size() > sameContentListed;
        if (outcome.moreSameContent)
            record.sameContent.removeLast();
        outcome.sameContent = record.sameContent;
        outcomes << outcome;
    }
    // The names are made durable before the records can be: after a power
    // cut there may be a copy without its record (a leftover the check
    // removes), never a record without its copy.
    syncFolder(reg.storeFolder());
    TestPause::at("intake-before-commit");
    if (Status committed = transaction.value()->commit(); !committed) {
        if (committed.error().code != ErrorCode::Uncertain)
            return undoAll(committed.error());
        // The records may exist: their copies keep their names, and `check`
        // reports any that has none.
        for (StagedCopy* copy : copies)
            copy->finish();
        return committed.error();
    }
    for (StagedCopy* copy : copies)
        copy->finish();
    return outcomes;
}

// Records for a group of staged copies: together when all of them can be
// recorded, else one by one, so that a failure is the failing file's alone.
// (Savepoints per record would isolate failures too, but make the full-text
// indexes write out a segment for every record.) The copies are flushed
// first, all in a row, before any of them is named.
QList<Outcome> registerGroup(const Register& reg, Group& group, const Details& details)
{
    QList<Outcome> outcomes(qsizetype(group.size()));
    std::vector<StagedCopy*> flushed;
    std::vector<qsizetype> places;
    for (std::size_t i = 0; i < group.size(); ++i) {
        StagedCopy* copy = group[i].get();
        if (const int error = copy->flush(); error != 0) {
            outcomes[qsizetype(i)] =
                failed(copy->file(), StagedCopy::writeErrorText(error), systemText(error));
            continue;
        }
        flushed.push_back(copy);
        places.push_back(qsizetype(i));
    }
    const auto settle = [&](std::size_t k, const Result<QList<Outcome>>& result) {
        outcomes[places[k]] =
            result ? result->first()
                   : failed(flushed[k]->file(), result.error().message, result.error().detail);
    };
    if (flushed.empty())
        return outcomes;
    Result<QList<Outcome>> together = registerTogether(reg, flushed, details);
    if (together) {
        for (std::size_t k = 0; k < flushed.size(); ++k)
            outcomes[places[k]] = together->at(qsizetype(k));
    } else if (flushed.size() == 1 || together.error().code == ErrorCode::Uncertain ||
               together.error().code == ErrorCode::Disconnected) {
        // Cut by the server going away: reported, not tried again one by one.
        for (std::size_t k = 0; k < flushed.size(); ++k)
            settle(k, together);
    } else {
        for (std::size_t k = 0; k < flushed.size(); ++k)
            settle(k, registerTogether(reg, {flushed[k]}, details));
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
    return QStringLiteral("“%1”的内容与已登记的记录 %2%3相同，已照常登记。")
        .arg(outcome.fileName, earlier.join(QStringLiteral("、")),
             outcome.moreSameContent ? QStringLiteral("等") : QString());
}

QList<Outcome> runBatch(const Register& reg, const QList<File>& files, const Details& details,
                        const Progress& progress, const std::atomic_bool* cancel,
                        const Reported& reported)
{
    // Copies are staged one by one and recorded in groups: a commit and a
    // flush of the store folder per group rather than per file, and the
    // copies flushed back to back. Groups stay small enough that a crash
    // leaves little to copy again.
    constexpr std::size_t groupFiles = 64;
    constexpr qint64 groupBytes = qint64(256) << 20;
    QList<Outcome> outcomes(files.size());
    const auto settle = [&](int index, const Outcome& outcome) {
        outcomes[index] = outcome;
        if (reported)
            reported(index, outcome);
    };
    Group group;
    qint64 groupSize = 0;
    const auto registerStaged = [&] {
        if (group.empty())
            return;
        const QList<Outcome> done = registerGroup(reg, group, details);
        for (std::size_t i = 0; i < group.size(); ++i)
            settle(group.at(i)->index(), done.at(qsizetype(i)));
        group.clear();
        groupSize = 0;
        TestPause::at("intake-group-reported");
    };
    for (int i = 0; i < files.size(); ++i) {
        if (cancel && cancel->load()) {
            Outcome skipped;
            skipped.kind = Outcome::Cancelled;
            skipped.fileName = files.at(i).fileName;
            skipped.error = {QStringLiteral("已取消。"), QString()};
            settle(i, skipped);
            continue;
        }
        auto staged = StagedCopy::stage(reg, files.at(i), i, progress, cancel);
        if (Outcome* notCopied = std::get_if<Outcome>(&staged)) {
            settle(i, *notCopied);
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
