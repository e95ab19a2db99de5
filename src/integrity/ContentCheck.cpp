#include "integrity/CheckSteps.h"

#include "content/ContentQueue.h"
#include "store/RecycleBin.h"
#include "store/RegisterNames.h"
#include "store/content/ContentIndex.h"
#include "store/sql/Sql.h"
#include "store/sql/SqlDialect.h"

namespace Integrity {

namespace {

using Sql::identifier;

// Records whose content has no entry for its text: neither read nor queued.
Result<QList<Finding>> recordsWithoutText(const Register& reg)
{
    using namespace RegisterNames;
    const QSqlDatabase db = reg.database();
    Result<QSqlQuery> rows = Sql::run(
        db, QStringLiteral("SELECT %1, r.%2, r.%3, r.%4 FROM %5 h JOIN %6 r ON %1 = h.%7 WHERE "
                           "h.%8 NOT IN (SELECT %9 FROM %10) ORDER BY r.%2")
                .arg(SqlDialect::of(db).identity(QStringLiteral("r.")), identifier(serial),
                     identifier(fileName), identifier(storedName), identifier(ContentHash::table),
                     identifier(recordTable), identifier(ContentHash::recordColumn),
                     identifier(ContentHash::hashColumn), identifier(ContentIndex::hashColumn))
                .arg(identifier(ContentIndex::table)));
    if (!rows)
        return rows.error();
    QList<Finding> findings;
    while (rows->next()) {
        Finding finding;
        finding.kind = Kind::TextMissing;
        finding.rowid = rows->value(0).toLongLong();
        finding.serial = rows->value(1);
        finding.recordName = rows->value(2).toString();
        finding.name = rows->value(3).toString();
        finding.removable = true;
        findings.append(finding);
    }
    return findings;
}

// Texts whose content no record and no entry of the bin has any more.
Result<QList<Finding>> textsWithoutRecord(const Register& reg)
{
    using namespace ContentIndex;
    Result<QSqlQuery> rows = Sql::run(
        reg.database(),
        QStringLiteral("SELECT %1 FROM %2 WHERE %1 NOT IN (SELECT %3 FROM %4) AND %1 NOT IN "
                       "(SELECT %5 FROM %6 WHERE %5 IS NOT NULL) ORDER BY %1")
            .arg(identifier(hashColumn), identifier(table), identifier(ContentHash::hashColumn),
                 identifier(ContentHash::table), identifier(RecycleBin::hashColumn),
                 identifier(RecycleBin::table)));
    if (!rows)
        return rows.error();
    QList<Finding> findings;
    while (rows->next()) {
        Finding finding;
        finding.kind = Kind::TextWithoutRecord;
        finding.detail = rows->value(0).toString();
        finding.removable = true;
        findings.append(finding);
    }
    return findings;
}

void resolve(QList<Finding>& findings, const Result<qint64>& repaired, const QString& done)
{
    for (Finding& finding : findings) {
        finding.resolved = bool(repaired);
        finding.resolution = repaired ? done : repaired.error().message;
    }
}

} // namespace

Status checkContent(CheckRun& run)
{
    Result<QList<Finding>> missing = recordsWithoutText(run.reg);
    if (!missing)
        return missing.error();
    Result<QList<Finding>> orphans = textsWithoutRecord(run.reg);
    if (!orphans)
        return orphans.error();
    if (run.options.repair && !missing->isEmpty())
        resolve(*missing, ContentQueue::queueMissing(run.reg), QStringLiteral("已排队读取"));
    if (run.options.repair && !orphans->isEmpty())
        resolve(*orphans, ContentQueue::dropUnused(run.reg), QStringLiteral("已删除"));
    run.report.findings << *missing << *orphans;
    return {};
}

} // namespace Integrity
