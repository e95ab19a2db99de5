#include "integrity/FindingRecheck.h"

#include "store/RecordStore.h"
#include "store/folder/LiveWriter.h"
#include "store/folder/StoreFiles.h"
#include "trash/Trash.h"

#include <QThread>

#include <optional>

namespace Integrity {

namespace {

// A program that just committed drops its second name at once; a busy
// machine may keep it waiting a while.
constexpr unsigned long settleMs = 200;
constexpr int settleRounds = 5;

bool mayPass(const Finding& finding)
{
    switch (finding.kind) {
    case Kind::MissingCopy:
    case Kind::StrayFile:
    case Kind::BinMissingCopy:
    case Kind::BinStrayFile:
    case Kind::Leftover:
        return true;
    default:
        return false;
    }
}

bool present(const StoreFolder::Entry& entry)
{
    return entry.type != StoreFolder::Type::Missing || entry.error != 0;
}

bool sameFile(const StoreFolder::Entry& one, const StoreFolder::Entry& other)
{
    return one.type == StoreFolder::Type::File && other.type == StoreFolder::Type::File &&
           one.st.st_dev == other.st.st_dev && one.st.st_ino == other.st.st_ino;
}

// Whether `finding` still holds, read afresh. A question the database could
// not answer keeps it: nothing is hidden on a guess.
bool holds(RecordStore& records, const StoreFolder& store, const std::optional<StoreFolder>& bin,
           const Finding& finding)
{
    const auto maybe = [](const Result<bool>& answer) {
        return !answer || answer.value();
    };
    const auto maybeNot = [](const Result<bool>& answer) {
        return !answer || !answer.value();
    };
    const auto inBin = [&](const QString& name) {
        return bin ? bin->entry(name) : StoreFolder::Entry{};
    };
    switch (finding.kind) {
    case Kind::MissingCopy:
        return maybe(records.isNamed(finding.name, finding.rowid)) &&
               !present(store.entry(finding.name));
    case Kind::StrayFile:
        return maybeNot(records.isNamed(finding.name)) && present(store.entry(finding.name));
    case Kind::BinMissingCopy: {
        Result<std::optional<RecycleBin::Entry>> entry = records.binEntry(finding.rowid);
        return !entry || (entry->has_value() && (*entry)->binName == finding.name &&
                          inBin(finding.name).type != StoreFolder::Type::File);
    }
    case Kind::BinStrayFile:
        return maybeNot(records.binNameTaken(finding.name)) && present(inBin(finding.name));
    case Kind::Leftover:
        // A working file or lock seen just before its program, alive, let it
        // go; a stored name given before its record committed, which a record
        // names now.
        if (finding.binStep == BinStep::None)
            return present(store.entry(finding.name)) && (StoreFiles::isReserved(finding.name) ||
                                                          maybeNot(records.isNamed(finding.name)));
        if (finding.binStep == BinStep::Purging)
            return present(inBin(finding.name));
        if (finding.binStep == BinStep::BinName)
            return maybeNot(records.binNameTaken(finding.name)) &&
                   maybe(records.storedNameTaken(finding.twin)) &&
                   sameFile(inBin(finding.name), store.entry(finding.twin));
        return maybeNot(records.storedNameTaken(finding.name)) &&
               maybe(records.binNameTaken(finding.twin)) &&
               sameFile(store.entry(finding.name), inBin(finding.twin));
    default:
        return true;
    }
}

// Whether the file a finding is about has a second name: what a delete or
// a restore leaves between its commit and its last step.
bool twinned(const StoreFolder& store, const std::optional<StoreFolder>& bin,
             const Finding& finding)
{
    if (finding.kind == Kind::Leftover) {
        // A writer's new lock file that the check's probe locked first: the
        // writer drops it and takes another name a moment later.
        if (finding.binStep == BinStep::None)
            return !LiveWriter::ownerOfLockName(finding.name).isEmpty();
        return finding.binStep == BinStep::BinName || finding.binStep == BinStep::StoreName;
    }
    const StoreFolder::Entry entry = finding.kind == Kind::StrayFile ? store.entry(finding.name)
                                     : finding.kind == Kind::BinStrayFile && bin
                                         ? bin->entry(finding.name)
                                         : StoreFolder::Entry{};
    return entry.type == StoreFolder::Type::File && entry.st.st_nlink > 1;
}

// Drops from `doubtful` (places in `findings`) what no longer holds, and
// gives back those of them that hold with a second name.
QList<qsizetype> recheck(const Register& reg, const StoreFolder& store,
                         const QList<Finding>& findings, QList<qsizetype>& doubtful, bool& tryLock)
{
    QList<qsizetype> twins;
    underWriteLock(reg, tryLock, [&](RecordStore& records) {
        Result<StoreFolder> opened = Trash::openBin(store, false);
        std::optional<StoreFolder> bin;
        if (opened)
            bin.emplace(std::move(opened.value()));
        doubtful.removeIf(
            [&](qsizetype place) { return !holds(records, store, bin, findings.at(place)); });
        for (qsizetype place : std::as_const(doubtful))
            if (twinned(store, bin, findings.at(place)))
                twins << place;
    });
    return twins;
}

} // namespace

void underWriteLock(const Register& reg, bool& tryLock,
                    const std::function<void(RecordStore& records)>& ask)
{
    const std::unique_ptr<RecordStore> records = reg.records();
    Result<std::unique_ptr<StoreTransaction>> lock =
        tryLock ? records->beginWrite() : Result<std::unique_ptr<StoreTransaction>>(Error{});
    if (!lock)
        tryLock = false;
    ask(*records);
}

void dropPassingStates(const Register& reg, const StoreFolder& store, QList<Finding>& findings)
{
    QList<qsizetype> doubtful;
    for (qsizetype i = 0; i < findings.size(); ++i)
        if (mayPass(findings.at(i)))
            doubtful << i;
    if (doubtful.isEmpty())
        return;
    QList<qsizetype> passed = doubtful;
    bool tryLock = true;
    QList<qsizetype> twins = recheck(reg, store, findings, doubtful, tryLock);
    for (int round = 0; round < settleRounds && !twins.isEmpty(); ++round) {
        QThread::msleep(settleMs);
        QList<qsizetype> holding = twins;
        QList<qsizetype> stillTwins = recheck(reg, store, findings, holding, tryLock);
        for (qsizetype place : std::as_const(twins))
            if (!holding.contains(place))
                doubtful.removeOne(place);
        twins = std::move(stillTwins);
    }
    passed.removeIf([&](qsizetype place) { return doubtful.contains(place); });
    for (qsizetype k = passed.size() - 1; k >= 0; --k)
        findings.removeAt(passed.at(k));
}

} // namespace Integrity
