#include "content/ContentReading.h"

#include "content/ContentQueue.h"
#include "content/ContentStore.h"
#include "store/RecycleBin.h"
#include "store/RegisterNames.h"
#include "store/content/ContentIndex.h"
#include "store/sql/ContentHash.h"
#include "store/sql/Sql.h"
#include "store/sql/SqlDialect.h"

#include <QDir>

namespace ContentReading {

namespace {

using Sql::identifier;
using State = ContentIndex::State;

// Taken from the queue at a time; each is still written on its own.
constexpr int batchSize = 32;

struct Copy {
    QString path;
    QString fileName;
};

// A stored copy with this content: a record's, or else one in the bin.
Result<std::optional<Copy>> copyOf(const Register& reg, const QString& hash)
{
    using namespace RegisterNames;
    const QSqlDatabase db = reg.database();
    const SqlDialect& dialect = SqlDialect::of(db);
    Result<QSqlQuery> record = Sql::run(
        db,
        QStringLiteral("SELECT r.%1, r.%2 FROM %3 h JOIN %4 r ON %5 = h.%6 WHERE h.%7 = ? AND "
                       "r.%1 = h.%8 ORDER BY h.%6 LIMIT 1")
            .arg(identifier(storedName), identifier(fileName), identifier(ContentHash::table),
                 identifier(recordTable), dialect.identity(QStringLiteral("r.")),
                 identifier(ContentHash::recordColumn), identifier(ContentHash::hashColumn),
                 identifier(ContentHash::storedNameColumn)),
        {hash});
    if (!record)
        return record.error();
    if (record->next()) {
        const QString path = reg.storedCopyPath(record->value(0).toString());
        if (!path.isEmpty())
            return std::optional<Copy>(Copy{path, record->value(1).toString()});
    }
    Result<QSqlQuery> binned =
        Sql::run(db,
                 QStringLiteral("SELECT %1, %2 FROM %3 WHERE %4 = ? AND %1 IS NOT NULL LIMIT 1")
                     .arg(identifier(RecycleBin::binNameColumn), identifier(fileName),
                          identifier(RecycleBin::table), identifier(RecycleBin::hashColumn)),
                 {hash});
    if (!binned)
        return binned.error();
    if (binned->next() && Register::isPlainFileName(binned->value(0).toString())) {
        return std::optional<Copy>(Copy{
            QDir(reg.storeFolder())
                .filePath(RecycleBin::folderName + QLatin1Char('/') + binned->value(0).toString()),
            binned->value(1).toString()});
    }
    return std::optional<Copy>();
}

Status keep(const Register& reg, qint64 number, State state, const QString& text,
            const QString& reason)
{
    return ContentQueue::written(reg, [&](const QSqlDatabase& db) {
        return ContentStore::store(db, number, state, text, reason);
    });
}

State stateOf(ReadOutcome::Kind kind)
{
    switch (kind) {
    case ReadOutcome::Kind::Text:
        return State::Read;
    case ReadOutcome::Kind::NeedsOcr:
        return State::WaitingForOcr;
    case ReadOutcome::Kind::Skipped:
        return State::Skipped;
    case ReadOutcome::Kind::NotRead:
        break;
    }
    return State::NotRead;
}

} // namespace

Result<Summary> run(const Register& reg, const Options& options,
                    const std::function<void(const Progress&)>& progress,
                    const std::atomic<bool>* stop)
{
    // Without its reader program nothing is read, and nothing is marked.
    if (Status available = readerAvailable(); !available)
        return available.error();
    Summary summary;
    Progress told;
    Result<ContentQueue::Counts> counts = ContentQueue::counts(reg);
    if (!counts)
        return counts.error();
    Result<bool> ocr = ContentQueue::ocrEnabled(reg);
    if (!ocr)
        return ocr.error();
    told.total = counts->waiting + (*ocr ? counts->waitingForOcr : 0);
    const auto stopped = [&] {
        return (stop && stop->load()) || (options.limit >= 0 && told.done >= options.limit);
    };
    // Everything else first: recognition takes far longer per file.
    for (const State pass : {State::Waiting, State::WaitingForOcr}) {
        told.ocr = pass == State::WaitingForOcr;
        if (told.ocr && !*ocr)
            break;
        qint64 after = 0;
        while (!stopped()) {
            Result<QList<ContentQueue::Entry>> batch =
                ContentQueue::entries(reg, pass, after, batchSize);
            if (!batch)
                return batch.error();
            if (batch->isEmpty())
                break;
            for (const ContentQueue::Entry& queued : *batch) {
                if (stopped())
                    break;
                after = queued.number;
                Result<std::optional<Copy>> copy = copyOf(reg, queued.hash);
                if (!copy)
                    return copy.error();
                ReadOutcome outcome;
                if (*copy) {
                    told.fileName = (*copy)->fileName;
                    if (progress)
                        progress(told);
                    outcome =
                        readContent((*copy)->path, (*copy)->fileName, told.ocr, options.limits);
                } else {
                    outcome = {
                        ReadOutcome::Kind::Skipped, {}, QStringLiteral("找不到这份内容的副本")};
                }
                const State state = stateOf(outcome.kind);
                if (Status kept = keep(reg, queued.number, state, outcome.text, outcome.reason);
                    !kept)
                    return kept.error();
                ++told.done;
                summary.read += state == State::Read;
                summary.skipped += state == State::Skipped;
                summary.notRead += state == State::NotRead;
                summary.waitingForOcr += state == State::WaitingForOcr && !*ocr;
                // A scan found now is read again in the recognition pass.
                if (state == State::WaitingForOcr && !told.ocr && *ocr)
                    ++told.total;
            }
        }
    }
    // The last word: how far it got, with no copy being read.
    told.fileName.clear();
    if (progress)
        progress(told);
    return summary;
}

} // namespace ContentReading
