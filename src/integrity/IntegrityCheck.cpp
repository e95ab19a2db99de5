#include "integrity/IntegrityCheck.h"

#include "integrity/BinCheck.h"
#include "integrity/CheckSteps.h"
#include "integrity/FindingRecheck.h"

#include <QFileInfo>

#include <cstring>

namespace Integrity {

namespace {

// SQLite's own check of the file: quick (pages and records) or full (every
// index against its table as well). A fault there can hide records from
// every view while the store looks complete.
std::optional<Finding> checkDatabase(const Register& reg, RecordStore& records, bool full)
{
    const Result<QStringList> problems = records.databaseFaults(full);
    if (!problems || problems->isEmpty())
        return std::nullopt;
    Finding finding;
    finding.kind = Kind::DatabaseDamaged;
    finding.name = QFileInfo(reg.databasePath()).fileName();
    finding.detail = problems->join(QStringLiteral("；"));
    return finding;
}

void checkSerials(const QList<RecordRow>& rows, QList<Finding>& findings)
{
    // Rows come sorted by serial, so equal serials are neighbours.
    for (qsizetype i = 0; i < rows.size();) {
        const RecordRow& row = rows.at(i);
        if (!row.serialIsNumber) {
            findings.append(recordFinding(Kind::SerialNotNumber, row, row.serialType));
            ++i;
            continue;
        }
        qsizetype end = i + 1;
        while (end < rows.size() && rows.at(end).serialIsNumber &&
               rows.at(end).serial.toDouble() == row.serial.toDouble())
            ++end;
        if (end - i > 1) {
            Finding finding = recordFinding(Kind::DuplicateSerial, row);
            QStringList names;
            for (qsizetype k = i; k < end; ++k)
                names << QStringLiteral("“%1”").arg(rows.at(k).fileName);
            finding.detail = names.join(QStringLiteral("、"));
            finding.recordName = QString::number(end - i);
            findings.append(finding);
        }
        i = end;
    }
}

} // namespace

Finding recordFinding(Kind kind, const RecordRow& row, const QString& detail)
{
    Finding finding;
    finding.kind = kind;
    finding.rowid = row.identity;
    finding.serial = row.serial;
    finding.recordName = row.fileName;
    finding.name = row.storedName.toString();
    finding.detail = detail;
    return finding;
}

bool namedNow(RecordStore& records, const QString& storedName, qint64 identity)
{
    const Result<bool> named = records.isNamed(storedName, identity);
    return !named || named.value();
}

void checkCopies(CheckRun& run, const QList<RecordRow>& rows)
{
    for (const RecordRow& row : rows) {
        const QString storedName = row.storedName.toString();
        if (!Register::isPlainFileName(storedName)) {
            run.report.findings.append(recordFinding(Kind::BadStoredName, row));
            continue;
        }
        if (const RecordRow* other = run.named.value(storedName)) {
            run.report.findings.append(
                recordFinding(Kind::SharedCopy, row,
                              QStringLiteral("另一条是记录 %1（%2）")
                                  .arg(serialText(other->serial), other->fileName)));
            continue;
        }
        run.named.insert(storedName, &row);
        const StoreFolder::Entry entry = run.store.entry(storedName);
        if (entry.type == StoreFolder::Type::Missing && entry.error != 0) {
            run.report.findings.append(recordFinding(
                Kind::Unreadable, row, QString::fromLocal8Bit(std::strerror(entry.error))));
        } else if (entry.type == StoreFolder::Type::Missing) {
            run.missing.append(recordFinding(Kind::MissingCopy, row));
            run.report.findings.append(run.missing.last());
        } else if (entry.type != StoreFolder::Type::File) {
            run.report.findings.append(
                recordFinding(Kind::NotAFile, row, StoreFolder::typeText(entry.type)));
        } else {
            const auto digest = run.digests.constFind(row.identity);
            const qint64 size = entry.st.st_size;
            if (digest != run.digests.constEnd() && digest->storedName == storedName &&
                digest->size != size) {
                run.report.findings.append(recordFinding(
                    Kind::SizeChanged, row,
                    QStringLiteral("登记时 %1 字节，现在 %2 字节").arg(digest->size).arg(size)));
            } else {
                run.toVerify.append(&row);
            }
        }
    }
}

Status checkBin(CheckRun& run, BinCheck& binCheck)
{
    // A file of the bin that a live record's copy is as well is found
    // through this map, made only when first asked.
    std::optional<QHash<BinCheck::FileId, QString>> liveCopies;
    const auto liveTwin = [&](const BinCheck::FileId& id) {
        if (!liveCopies) {
            liveCopies.emplace();
            for (auto it = run.named.cbegin(); it != run.named.cend(); ++it) {
                const StoreFolder::Entry entry = run.store.entry(it.key());
                if (entry.type == StoreFolder::Type::File)
                    liveCopies->insert({quint64(entry.st.st_dev), quint64(entry.st.st_ino)},
                                       it.key());
            }
        }
        return liveCopies->value(id);
    };
    return binCheck.run(run.probe, liveTwin, run.report);
}

Result<Report> check(const Register& reg, const Options& options)
{
    const std::unique_ptr<RecordStore> records = reg.records();
    if (!records->connected()) {
        return Error{QStringLiteral("无法打开登记库“%1”。").arg(reg.databasePath()), QString()};
    }
    Report report;
    report.verified = options.verify;
    if (std::optional<Finding> damaged = checkDatabase(reg, *records, options.verify))
        report.findings.append(*damaged);
    Result<QList<RecordRow>> rows = records->recordsBySerial();
    Result<QHash<qint64, RecordedDigest>> digests =
        rows ? records->digests() : Result<QHash<qint64, RecordedDigest>>(rows.error());
    if (!rows || !digests) {
        // A damaged file may not even list its records: the finding says why.
        if (!report.findings.isEmpty())
            return report;
        return rows ? digests.error() : rows.error();
    }
    report.records = rows->size();
    // Every look into the store goes through this folder: a store folder
    // that is a link is reported, not followed.
    Result<StoreFolder> opened = StoreFolder::open(reg);
    if (!opened)
        return opened.error();
    CheckRun run(reg, options, opened.value(), *records, report);
    run.digests = std::move(digests).value();
    checkSerials(rows.value(), report.findings);
    checkCopies(run, rows.value());
    BinCheck binCheck(reg, run.store);
    if (Status bin = checkBin(run, binCheck); !bin)
        return bin.error();
    checkStoreFolder(run, binCheck);
    // What a program still at work shows only for a moment is not a fault.
    dropPassingStates(reg, run.store, report.findings);
    if (options.verify) {
        if (Status verified = verifyCopies(run); !verified)
            return verified.error();
    }
    if (options.repair)
        repairLeftovers(run);
    if (Status content = checkContent(run); !content)
        return content.error();
    return report;
}

} // namespace Integrity
