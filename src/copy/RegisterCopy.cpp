#include "copy/RegisterCopy.h"

#include "base/DateText.h"
#include "base/TestPause.h"
#include "content/ContentQueue.h"
#include "intake/StagedCopy.h"
#include "store/RecordStore.h"
#include "store/folder/LiveWriter.h"
#include "store/folder/StoreFiles.h"
#include "store/folder/StoreFolder.h"
#include "store/sql/CopyMarker.h"
#include "store/view/ViewCursor.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <unistd.h>
#include <vector>

namespace RegisterCopy {

namespace {

using Intake::StagedCopy;

// Each staged copy holds the store folder open until its record is
// committed; a batch stays well inside the usual limit of open files, and
// a kill costs at most this much copying again.
constexpr int batchCopies = 256;
constexpr qint64 batchBytes = qint64(256) << 20;
// Copies are flushed in rows, sharing the file system's journal commits.
constexpr std::size_t flushRow = 64;
constexpr int querySlotCount = 9;

// What is said of a record, each in more than one place.
const QString noStoredNameText = QStringLiteral("记录没有可用的存储副本名，只复制了记录。");
const QString hashMismatchText =
    QStringLiteral("存储副本与登记时记下的校验值不符（副本已损坏或被改动过），已按原样复制。");
const QString serialNotIntegerText = QStringLiteral("序号不是整数，这条记录无法复制。");

// What names a source in the marker: its database, as the path resolves.
QString sourceName(const Register& reg)
{
    if (reg.kind() == Register::Kind::Postgres)
        return reg.databasePath();
    const QString resolved = QFileInfo(reg.databasePath()).canonicalFilePath();
    return resolved.isEmpty() ? reg.databasePath() : resolved;
}

// One source record as the cursor gives it.
struct SourceRecord {
    qint64 identity = 0;
    std::optional<qint64> serial;
    QString serialText;
    QString storedDate;
    NewRecord values;
};

SourceRecord readRecord(const ViewCursor& cursor)
{
    const RegisterRecord shown = cursor.record();
    SourceRecord read;
    read.identity = shown.rowid;
    read.serial = cursor.integerSerial();
    read.serialText = shown.serial.toString();
    read.storedDate = QString::fromUtf8(cursor.utf8(RecordField::Date));
    read.values.serial = read.serial.value_or(0);
    read.values.date = QDate::fromString(read.storedDate, Qt::ISODate);
    for (const RecordFields::Field& field : RecordFields::all()) {
        if (field.kind == RecordFields::Kind::Text)
            read.values.*field.added = shown.*field.shown;
    }
    return read;
}

// The working and lock files an interrupted copy left in the store, once
// their program is gone: a finished copy leaves none.
void clearLeftovers(const StoreFolder& store)
{
    LiveProbe probe(store.path());
    const QStringList names =
        QDir(store.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        const QString owner = StoreFiles::isPartName(name) ? StoreFiles::ownerOf(name)
                                                           : LiveWriter::ownerOfLockName(name);
        if (!owner.isEmpty() && !probe.isAlive(owner))
            store.remove(name);
    }
}

class Copier {
public:
    Copier(const Register& source, const Register& target, const Options& options, Report& report,
           StoreFolder sourceStore, StoreFolder targetStore)
        : m_source(source), m_target(target), m_options(options), m_report(report),
          m_sourceStore(std::move(sourceStore)), m_targetStore(std::move(targetStore)),
          m_sourceRecords(source.records()), m_targetRecords(target.records())
    {
    }

    Status copy(qint64 present);

private:
    // A record waiting for its batch's transaction, with its copy staged.
    struct Pending {
        NewRecord values;
        std::unique_ptr<StagedCopy> copy;
        std::optional<ContentHash::Digest> digest;
    };
    // What became of one record's stored copy.
    struct CopyOutcome {
        std::unique_ptr<StagedCopy> copy;
        std::optional<ContentHash::Digest> digest; // to record with it
        QString problem;
    };

    Status copyQuerySlots();
    Status checkDigests();
    Status skipCopied(ViewCursor& cursor, qint64 present);
    Result<CopyOutcome> copyOf(const SourceRecord& record, bool placedHere);
    std::optional<ContentHash::Digest> recordedFor(const SourceRecord& record) const;
    QString verifyPresent(const SourceRecord& record);
    Status flushStaged();
    Status commitBatch();
    void problem(const SourceRecord& record, const QString& message);
    void checkDate(const SourceRecord& record);
    void tell(bool now);

    const Register& m_source;
    const Register& m_target;
    const Options& m_options;
    Report& m_report;
    StoreFolder m_sourceStore;
    StoreFolder m_targetStore;
    std::unique_ptr<RecordStore> m_sourceRecords;
    std::unique_ptr<RecordStore> m_targetRecords;
    QHash<qint64, RecordedDigest> m_digests;
    qint64 m_total = 0;
    qint64 m_done = 0;
    QElapsedTimer m_sinceTold;

    std::vector<Pending> m_batch;
    int m_batchCopies = 0;
    qint64 m_batchBytes = 0;
    std::size_t m_flushed = 0;
    // Stored names given in the batch, with the digest of the copy.
    QHash<QString, ContentHash::Digest> m_batchNames;
};

void Copier::problem(const SourceRecord& record, const QString& message)
{
    m_report.problems.append({record.serialText, record.values.fileName, message});
}

// A record's date goes as a date: a text that is none cannot be kept.
void Copier::checkDate(const SourceRecord& record)
{
    if (!record.storedDate.isEmpty() && DateText::toStored(record.values.date) != record.storedDate)
        problem(record, QStringLiteral("发件日期“%1”不是日期，复制为空。").arg(record.storedDate));
}

void Copier::tell(bool now)
{
    if (!m_options.progress || (!now && m_sinceTold.isValid() && m_sinceTold.elapsed() < 1000))
        return;
    m_options.progress(m_done, m_total);
    m_sinceTold.start();
}

Status Copier::copyQuerySlots()
{
    Result<QList<QVariantList>> slots = m_sourceRecords->querySlots(querySlotCount);
    if (!slots)
        return slots.error();
    for (qsizetype slot = 0; slot < slots->size(); ++slot) {
        QList<QPair<QueryField, QString>> values;
        for (int field = 0; field < static_cast<int>(QueryField::Count); ++field)
            values.append(
                {static_cast<QueryField>(field), slots->at(slot).value(field).toString()});
        if (Status written = m_targetRecords->writeQuerySlot(int(slot) + 1, values); !written)
            return written;
    }
    m_report.querySlots = int(slots->size());
    return {};
}

std::optional<ContentHash::Digest> Copier::recordedFor(const SourceRecord& record) const
{
    const auto found = m_digests.constFind(record.identity);
    // A digest belongs to the copy it was recorded for only.
    if (found == m_digests.constEnd() || found->storedName != record.values.storedName)
        return std::nullopt;
    return ContentHash::Digest{found->size, found->hash};
}

// The copy of an earlier run's record, in the target: there and, where the
// source recorded a hash, still of it. A missing one is copied again.
QString Copier::verifyPresent(const SourceRecord& record)
{
    const QString& name = record.values.storedName;
    if (!Register::isPlainFileName(name))
        return noStoredNameText;
    if (m_targetStore.entry(name).type == StoreFolder::Type::Missing) {
        Result<CopyOutcome> again = copyOf(record, false);
        if (!again)
            return again.error().message;
        if (again->copy) {
            if (const int error = again->copy->flush(); error != 0)
                return StagedCopy::writeErrorText(error);
            if (const int error = again->copy->placeAt(name); error != 0)
                return StagedCopy::writeErrorText(error);
            again->copy->finish();
            ++m_report.copies;
        }
        return again->problem;
    }
    const std::optional<ContentHash::Digest> recorded = recordedFor(record);
    if (!recorded)
        return {};
    int error = 0;
    const int fd = m_targetStore.openForRead(name, &error);
    if (fd < 0)
        return QStringLiteral("目标中的存储副本无法读取：") + Intake::systemText(error);
    const Result<ContentHash::Digest> digest =
        ContentHash::ofOpenFile(fd, m_targetStore.pathOf(name));
    ::close(fd);
    if (!digest)
        return digest.error().message;
    if (digest->size != recorded->size || digest->hash != recorded->hash)
        return hashMismatchText;
    return {};
}

// Records an earlier run committed are the first of the source's, in the
// same order: each is checked to be the one expected, never copied twice.
Status Copier::skipCopied(ViewCursor& cursor, qint64 present)
{
    ViewCursor there(m_target, {});
    for (qint64 matched = 0; matched < present;) {
        if (!cursor.next()) {
            if (cursor.failed())
                return cursor.error();
            return Error{QStringLiteral("目标登记库中的记录比来源的还多，它不是从这个登记库复制的，"
                                        "无法继续复制。"),
                         m_target.databasePath()};
        }
        const SourceRecord record = readRecord(cursor);
        if (!record.serial) {
            problem(record, serialNotIntegerText);
            ++m_done;
            continue;
        }
        if (!there.next())
            return there.failed() ? there.error()
                                  : Error{QStringLiteral("无法读取目标登记库的记录。"), {}};
        const RegisterRecord copied = there.record();
        if (there.integerSerial() != record.serial ||
            copied.storedName != record.values.storedName ||
            copied.fileName != record.values.fileName)
            return Error{QStringLiteral("目标登记库中的记录与来源的不一致（序号 %1），"
                                        "来源在上次复制后被改动过。请复制到新的登记库。")
                             .arg(record.serialText),
                         m_target.databasePath()};
        checkDate(record);
        ++matched;
        ++m_done;
        ++m_report.resumed;
        if (const QString fault = verifyPresent(record); !fault.isEmpty())
            problem(record, fault);
        tell(false);
    }
    return {};
}

Result<Copier::CopyOutcome> Copier::copyOf(const SourceRecord& record, bool placedHere)
{
    CopyOutcome outcome;
    outcome.digest = recordedFor(record);
    const QString& name = record.values.storedName;
    if (!Register::isPlainFileName(name)) {
        outcome.problem = noStoredNameText;
        return outcome;
    }
    if (placedHere) {
        // Several records name one copy: it is there already.
        if (!outcome.digest)
            outcome.digest = m_batchNames.value(name);
        return outcome;
    }
    const StoreFolder::Entry entry = m_targetStore.entry(name);
    if (entry.type == StoreFolder::Type::File) {
        Result<bool> named = m_targetRecords->isNamed(name);
        if (!named)
            return named.error();
        if (*named)
            return outcome;
        // No record has it: a copy an interrupted run placed before its
        // records were committed. It is written again.
        if (const int error = m_targetStore.remove(name); error != 0)
            return Error{StagedCopy::writeErrorText(error), m_targetStore.pathOf(name)};
    } else if (entry.type != StoreFolder::Type::Missing) {
        outcome.problem = QStringLiteral("目标存储文件夹中的“%1”%2，副本未复制。")
                              .arg(name, StoreFolder::typeText(entry.type));
        return outcome;
    }
    int error = 0;
    const int fd = m_sourceStore.openForRead(name, &error);
    if (fd < 0) {
        outcome.problem = error == ENOENT ? QStringLiteral("来源中没有这条记录的存储副本，"
                                                           "只复制了记录。")
                                          : QStringLiteral("来源中的存储副本无法读取（%1），"
                                                           "只复制了记录。")
                                                .arg(Intake::systemText(error));
        return outcome;
    }
    auto staged = StagedCopy::stageOpen(m_target, {m_sourceStore.pathOf(name), name}, fd);
    ::close(fd);
    if (const Intake::Outcome* failed = std::get_if<Intake::Outcome>(&staged)) {
        if (failed->kind == Intake::Outcome::EmptySkipped) {
            outcome.problem = QStringLiteral("来源中的存储副本是空文件，只复制了记录。");
            return outcome;
        }
        return failed->error;
    }
    outcome.copy = std::move(std::get<std::unique_ptr<StagedCopy>>(staged));
    const ContentHash::Digest written{outcome.copy->size(), outcome.copy->hash()};
    if (!outcome.digest) {
        outcome.digest = written;
        ++m_report.hashedNow;
    } else if (outcome.digest->size != written.size || outcome.digest->hash != written.hash) {
        // The bytes are the only ones there are; the recorded hash goes with
        // them, so the copy's check tells the same as the source's.
        outcome.problem = hashMismatchText;
    }
    return outcome;
}

Status Copier::flushStaged()
{
    for (; m_flushed < m_batch.size(); ++m_flushed) {
        if (StagedCopy* copy = m_batch[m_flushed].copy.get()) {
            if (const int error = copy->flush(); error != 0)
                return Error{StagedCopy::writeErrorText(error), Intake::systemText(error)};
        }
    }
    return {};
}

Status Copier::commitBatch()
{
    if (Status flushed = flushStaged(); !flushed)
        return flushed;
    Result<std::unique_ptr<StoreTransaction>> transaction = m_targetRecords->beginWrite();
    if (!transaction)
        return transaction.error();
    for (Pending& pending : m_batch) {
        if (pending.copy) {
            if (const int error = pending.copy->placeAt(pending.values.storedName); error != 0)
                return Error{StagedCopy::writeErrorText(error),
                             m_targetStore.pathOf(pending.values.storedName)};
        }
        Result<qint64> identity = m_targetRecords->insert(pending.values);
        if (!identity)
            return identity.error();
        if (pending.digest) {
            if (Status hashed = m_targetRecords->recordDigest(*identity, pending.digest->size,
                                                              pending.digest->hash);
                !hashed)
                return hashed;
        }
    }
    // Names durable before the records that need them.
    m_targetStore.sync();
    TestPause::at("copy-before-commit");
    if (Status committed = transaction.value()->commit(); !committed)
        return committed;
    for (Pending& pending : m_batch) {
        if (pending.copy) {
            pending.copy->finish();
            ++m_report.copies;
        }
    }
    m_done += qint64(m_batch.size());
    m_batch.clear();
    m_batchNames.clear();
    m_batchCopies = 0;
    m_batchBytes = 0;
    m_flushed = 0;
    tell(false);
    TestPause::at("copy-batch-committed");
    return {};
}

Status Copier::copy(qint64 present)
{
    if (Status slots = copyQuerySlots(); !slots)
        return slots;
    Result<qint64> total = m_sourceRecords->recordCount();
    if (!total)
        return total.error();
    m_total = *total;
    Result<QHash<qint64, RecordedDigest>> digests = m_sourceRecords->digests();
    if (!digests)
        return digests.error();
    m_digests = std::move(digests).value();

    ViewCursor cursor(m_source, {});
    if (Status skipped = skipCopied(cursor, present); !skipped)
        return skipped;
    while (cursor.next()) {
        SourceRecord record = readRecord(cursor);
        if (!record.serial) {
            problem(record, serialNotIntegerText);
            ++m_done;
            continue;
        }
        checkDate(record);
        const bool placedHere = m_batchNames.contains(record.values.storedName);
        Result<CopyOutcome> outcome = copyOf(record, placedHere);
        if (!outcome)
            return outcome.error();
        if (!outcome->problem.isEmpty())
            problem(record, outcome->problem);
        if (outcome->copy) {
            ++m_batchCopies;
            m_batchBytes += outcome->copy->size();
            m_batchNames.insert(record.values.storedName,
                                outcome->digest.value_or(ContentHash::Digest{}));
        }
        m_batch.push_back({record.values, std::move(outcome->copy), outcome->digest});
        if (int(m_batch.size()) >= m_options.batchRecords || m_batchCopies >= batchCopies ||
            m_batchBytes >= batchBytes) {
            if (Status committed = commitBatch(); !committed)
                return committed;
        } else if (m_batch.size() - m_flushed >= flushRow) {
            if (Status flushed = flushStaged(); !flushed)
                return flushed;
        }
        tell(false);
    }
    if (cursor.failed())
        return cursor.error();
    if (!m_batch.empty()) {
        if (Status committed = commitBatch(); !committed)
            return committed;
    }
    tell(true);
    return {};
}

} // namespace

QString Report::summary() const
{
    QString text = QStringLiteral("复制完成：%1 条记录，%2 个存储副本，%3 个查询")
                       .arg(records)
                       .arg(copies)
                       .arg(querySlots);
    if (resumed > 0)
        text += QStringLiteral("；其中 %1 条记录已由此前的复制完成").arg(resumed);
    if (hashedNow > 0)
        text += QStringLiteral("；%1 个副本来源未记校验值，已在复制时算出").arg(hashedNow);
    if (!problems.isEmpty())
        text += QStringLiteral("；%1 条记录有问题").arg(problems.size());
    return text + QStringLiteral("。");
}

Result<Report> run(const Register& source, const Register& target, const Options& options)
{
    const QString from = sourceName(source);
    if (from == sourceName(target))
        return Error{QStringLiteral("来源和目标是同一个登记库。"), from};
    Result<QString> marker = CopyMarker::read(target);
    if (!marker)
        return marker.error();
    const std::unique_ptr<RecordStore> targetRecords = target.records();
    Result<qint64> present = targetRecords->recordCount();
    if (!present)
        return present.error();
    if (!marker->isEmpty() && *marker != from)
        return Error{QStringLiteral("目标登记库是从另一个登记库复制的，不能再复制进去。"
                                    "请复制到新的登记库。"),
                     QStringLiteral("%1 复制自 %2").arg(target.databasePath(), *marker)};
    if (marker->isEmpty() && *present > 0)
        return Error{QStringLiteral("目标登记库中已有 %1 条记录。只能复制到新的（没有记录的）"
                                    "登记库，或继续一次中断的复制。")
                         .arg(*present),
                     target.databasePath()};
    if (marker->isEmpty()) {
        if (Status marked = CopyMarker::write(target, from); !marked)
            return marked.error();
    }
    Result<StoreFolder> sourceStore = StoreFolder::open(source);
    if (!sourceStore)
        return sourceStore.error();
    Result<StoreFolder> targetStore = StoreFolder::open(target);
    if (!targetStore)
        return targetStore.error();

    if (!marker->isEmpty())
        clearLeftovers(*targetStore);
    Report report;
    Options checked = options;
    checked.batchRecords = std::max(1, options.batchRecords);
    Copier copier(source, target, checked, report, std::move(sourceStore).value(),
                  std::move(targetStore).value());
    if (Status copied = copier.copy(*present); !copied)
        return copied.error();
    // What the source read of its copies' content comes along.
    if (Result<qint64> texts = ContentQueue::copyTexts(source, target); !texts)
        return texts.error();
    Result<qint64> records = targetRecords->recordCount();
    if (!records)
        return records.error();
    report.records = *records;
    return report;
}

} // namespace RegisterCopy
