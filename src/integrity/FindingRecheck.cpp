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

enum class State {
    Passed,
    Holds,
    // Holds of a file with a second name: what a delete or a restore leaves
    // between its commit and its last step.
    HoldsTwinned,
};

// A file's state from reads before and after the database was asked. One
// read after would not do: a restore's last step may drop the bin's name
// in between, and a delete's commit may come between the question and the
// read without the lock. Either way one of the reads saw a second name.
State ofFile(bool unnamed, const StoreFolder::Entry& before, const StoreFolder::Entry& after)
{
    if (!unnamed || !present(before) || !present(after))
        return State::Passed;
    const auto twinned = [](const StoreFolder::Entry& entry) {
        return entry.type == StoreFolder::Type::File && entry.st.st_nlink > 1;
    };
    const bool replaced = before.type == StoreFolder::Type::File &&
                          after.type == StoreFolder::Type::File && !sameFile(before, after);
    return twinned(before) || twinned(after) || replaced ? State::HoldsTwinned : State::Holds;
}

State ofLeftover(bool holds, const Finding& finding)
{
    if (!holds)
        return State::Passed;
    // A writer's new lock file that the check's probe locked first: the
    // writer drops it and takes another name a moment later.
    const bool twinned =
        finding.binStep == BinStep::None
            ? !LiveWriter::ownerOfLockName(finding.name).isEmpty()
            : finding.binStep == BinStep::BinName || finding.binStep == BinStep::StoreName;
    return twinned ? State::HoldsTwinned : State::Holds;
}

// Whether `finding` still holds, read afresh. A question the database could
// not answer keeps it: nothing is hidden on a guess.
State stateOf(RecordStore& records, const StoreFolder& store, const std::optional<StoreFolder>& bin,
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
    const auto held = [](bool holds) {
        return holds ? State::Holds : State::Passed;
    };
    switch (finding.kind) {
    case Kind::MissingCopy:
        return held(maybe(records.isNamed(finding.name, finding.rowid)) &&
                    !present(store.entry(finding.name)));
    case Kind::StrayFile: {
        const StoreFolder::Entry before = store.entry(finding.name);
        const bool unnamed = maybeNot(records.isNamed(finding.name));
        return ofFile(unnamed, before, store.entry(finding.name));
    }
    case Kind::BinMissingCopy: {
        Result<std::optional<RecycleBin::Entry>> entry = records.binEntry(finding.rowid);
        return held(!entry || (entry->has_value() && (*entry)->binName == finding.name &&
                               inBin(finding.name).type != StoreFolder::Type::File));
    }
    case Kind::BinStrayFile: {
        const StoreFolder::Entry before = inBin(finding.name);
        const bool unnamed = maybeNot(records.binNameTaken(finding.name));
        return ofFile(unnamed, before, inBin(finding.name));
    }
    case Kind::Leftover:
        // A working file or lock seen just before its program, alive, let it
        // go; a stored name given before its record committed, which a record
        // names now.
        if (finding.binStep == BinStep::None)
            return ofLeftover(present(store.entry(finding.name)) &&
                                  (StoreFiles::isReserved(finding.name) ||
                                   maybeNot(records.isNamed(finding.name))),
                              finding);
        if (finding.binStep == BinStep::Purging)
            return ofLeftover(present(inBin(finding.name)), finding);
        if (finding.binStep == BinStep::BinName)
            return ofLeftover(maybeNot(records.binNameTaken(finding.name)) &&
                                  maybe(records.storedNameTaken(finding.twin)) &&
                                  sameFile(inBin(finding.name), store.entry(finding.twin)),
                              finding);
        return ofLeftover(maybeNot(records.storedNameTaken(finding.name)) &&
                              maybe(records.binNameTaken(finding.twin)) &&
                              sameFile(store.entry(finding.name), inBin(finding.twin)),
                          finding);
    default:
        return State::Holds;
    }
}

// Drops from `doubtful` (places in `findings`) what no longer holds, and
// gives back those of them to look at again a little later: those with a
// second name, and, read without the lock, all that hold, as a program may
// have been inside its change.
QList<qsizetype> recheck(const Register& reg, const StoreFolder& store,
                         const QList<Finding>& findings, QList<qsizetype>& doubtful, bool& tryLock)
{
    QList<qsizetype> again;
    underWriteLock(reg, tryLock, [&](RecordStore& records) {
        Result<StoreFolder> opened = Trash::openBin(store, false);
        std::optional<StoreFolder> bin;
        if (opened)
            bin.emplace(std::move(opened.value()));
        doubtful.removeIf([&](qsizetype place) {
            const State state = stateOf(records, store, bin, findings.at(place));
            if (state == State::HoldsTwinned || (state == State::Holds && !tryLock))
                again << place;
            return state == State::Passed;
        });
    });
    return again;
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
    QList<qsizetype> again = recheck(reg, store, findings, doubtful, tryLock);
    for (int round = 0; round < settleRounds && !again.isEmpty(); ++round) {
        QThread::msleep(settleMs);
        QList<qsizetype> holding = again;
        QList<qsizetype> stillAgain = recheck(reg, store, findings, holding, tryLock);
        for (qsizetype place : std::as_const(again))
            if (!holding.contains(place))
                doubtful.removeOne(place);
        again = std::move(stillAgain);
    }
    passed.removeIf([&](qsizetype place) { return doubtful.contains(place); });
    for (qsizetype k = passed.size() - 1; k >= 0; --k)
        findings.removeAt(passed.at(k));
}

} // namespace Integrity
