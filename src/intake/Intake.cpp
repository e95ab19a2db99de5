#include "intake/Intake.h"

#include "intake/StagedCopy.h"
#include "intake/StoredName.h"
#include "store/ContentHash.h"
#include "store/DateText.h"
#include "store/RegisterNames.h"
#include "store/Sql.h"
#include "support/TestPause.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <limits>
#include <optional>
#include <unistd.h>

namespace Intake {

namespace {

constexpr int renameAttempts = 8;

const QString noSerialText =
    QStringLiteral("文件序号已到尽头（最大序号为 %1），无法为新文件编号。请先整理序号。");

// The number after `highest` (an integer or a real serial), or nothing when
// no 64-bit integer comes after it.
std::optional<qint64> after(const QVariant& highest)
{
    constexpr qint64 top = std::numeric_limits<qint64>::max();
    if (highest.typeId() != QMetaType::Double) {
        const qint64 value = highest.toLongLong();
        if (value == top)
            return std::nullopt;
        return value + 1;
    }
    const double value = highest.toDouble();
    // 2^63 is the first double beyond the 64-bit range; NaN fails every test.
    if (!(value < 9223372036854775808.0))
        return std::nullopt;
    if (value < -9223372036854775808.0)
        return std::numeric_limits<qint64>::min();
    const auto whole = static_cast<qint64>(std::floor(value));
    if (whole == top)
        return std::nullopt;
    return whole + 1;
}

} // namespace

// Serials are counted in 64-bit integers: the highest numeric serial, and of
// serials stored as text (a column declared TEXT stores them so) those that
// are whole numbers, give the next one. A serial that exists already is
// never handed out.
Result<qint64> nextSerial(const QSqlDatabase& db)
{
    const QString column = Sql::identifier(RegisterNames::serial);
    const QString table = Sql::identifier(RegisterNames::recordTable);
    // Numbers sort before every text, so "< ''" walks the serial index from
    // the end of its numbers.
    Result<QVariant> number =
        Sql::scalar(db, QStringLiteral("SELECT %1 FROM %2 WHERE %1 < '' ORDER BY %1 DESC LIMIT 1")
                            .arg(column, table));
    if (!number)
        return number.error();
    Result<QVariant> text = Sql::scalar(
        db, QStringLiteral("SELECT max(CAST(%1 AS INTEGER)) FROM %2 WHERE %1 >= '' AND %1 < x'' "
                           "AND CAST(CAST(%1 AS INTEGER) AS TEXT) = %1")
                .arg(column, table));
    if (!text)
        return text.error();
    qint64 next = 1;
    bool any = false;
    for (const QVariant& highest : {*number, *text}) {
        if (highest.isNull())
            continue;
        const std::optional<qint64> following = after(highest);
        if (!following)
            return Error{noSerialText.arg(highest.toString()), QString()};
        next = any ? std::max(next, *following) : *following;
        any = true;
    }
    // The rules above already pass every serial in use; this is the last word.
    Result<QVariant> taken = Sql::scalar(
        db, QStringLiteral("SELECT count(*) FROM %2 WHERE %1 = ? OR %1 = ?").arg(column, table),
        {next, QString::number(next)});
    if (!taken)
        return taken.error();
    if (taken->toLongLong() != 0)
        return Error{noSerialText.arg(next), QStringLiteral("序号 %1 已被占用").arg(next)};
    return next;
}

namespace {

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
        {newSerial, details.date.isValid() ? DateText::toStored(details.date) : QStringLiteral(""),
         columnText(file.fileName, fileNameLimit), newStoredName,
         columnText(details.remark, remarkLimit), columnText(details.recipient, recipientLimit),
         columnText(details.method, methodLimit), columnText(details.folder, folderLimit)});
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
        if (!Register::isPlainFileName(candidate))
            continue;
        const int placeError = copy.placeAt(candidate);
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
    const Result<qint64> serial = nextSerial(db);
    if (!serial)
        return fail(serial.error());
    Result<QList<ContentHash::SameContent>> same =
        ContentHash::recordsWithContent(db, copy.size(), copy.hash());
    if (!same)
        return fail(same.error());
    Result<qint64> inserted =
        insertRecord(db, serial.value(), file, storedName, file.details.value_or(details));
    if (!inserted)
        return fail(inserted.error());
    if (Status hashed = ContentHash::record(db, *inserted, copy.size(), copy.hash()); !hashed)
        return fail(hashed.error());
    Outcome outcome;
    outcome.kind = Outcome::Registered;
    outcome.fileName = file.fileName;
    outcome.serial = serial.value();
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
    TestPause::at("intake-before-commit");
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
                        const Progress& progress, const std::atomic_bool* cancel,
                        const Reported& reported)
{
    // Copies are staged one by one and recorded in groups: a commit and a
    // flush of the store folder per group rather than per file. Groups stay
    // small enough that a crash leaves little to copy again.
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
