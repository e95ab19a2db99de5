#include "legacy/LegacyImport.h"

#include "legacy/LegacySource.h"
#include "store/RegisterNames.h"
#include "store/sqlite/Schema.h"

#include <QDir>

namespace LegacyImport {

Result<Legacy::Report> run(const Register& reg, const QString& legacyFolder,
                           const StepProgress& progress, const std::atomic_bool* cancel)
{
    const QString folder = QDir(legacyFolder).absolutePath();
    if (QDir(folder) == QDir(reg.folder()))
        return Error{QStringLiteral("不能把登记库导入它自己。"), folder};
    const QString database = QDir(folder).filePath(RegisterNames::databaseFile);
    if (Schema::inspect(database) != Schema::FileKind::Access)
        return Error{QStringLiteral("“%1”中没有旧格式（Access）的登记库。").arg(folder), database};
    Result<Legacy::Source> source = Legacy::readSource(folder);
    if (!source)
        return source.error();

    Legacy::Report report;
    report.outcome = Legacy::Report::Imported;
    report.strayFiles = source->strayFiles;
    // Only records whose copy can be brought along are imported: a record
    // never comes in without its copy.
    QList<Intake::File> files;
    QList<const Legacy::SourceRecord*> rows;
    for (const Legacy::SourceRecord& row : source->records) {
        const QString label = QStringLiteral("旧序号 %1“%2”（%3）")
                                  .arg(row.oldSerial, row.record.fileName, row.record.storedName);
        if (row.copy == Legacy::SourceRecord::Hostile) {
            report.notImported << label + QStringLiteral("：路径指向存储文件夹以外");
            continue;
        }
        if (row.copy == Legacy::SourceRecord::Missing) {
            report.notImported << label + QStringLiteral("：缺少存储副本");
            continue;
        }
        if (row.copy == Legacy::SourceRecord::NotAFile) {
            report.notImported << label +
                                      QStringLiteral("：存储副本%1，不会被读取").arg(row.notAFile);
            continue;
        }
        Intake::File file{source->storeFolder() + QLatin1Char('/') + row.record.storedName,
                          row.record.fileName};
        file.within = source->store;
        Intake::Details details;
        details.date = QDate::fromString(row.record.date, Qt::ISODate);
        details.remark = row.record.remark;
        details.recipient = row.record.recipient;
        details.method = row.record.method;
        details.folder = row.record.folder;
        file.details = details;
        files << file;
        rows << &row;
    }
    const int steps = int(files.size());
    const QList<Intake::Outcome> outcomes = Intake::runBatch(
        reg, files, Intake::Details{},
        [&](int index, const QString&, qint64 done, qint64) {
            if (progress && done == 0)
                progress(index, steps);
        },
        cancel);
    for (int i = 0; i < outcomes.size(); ++i) {
        const Intake::Outcome& outcome = outcomes.at(i);
        if (outcome.kind == Intake::Outcome::Registered) {
            ++report.records;
            if (!outcome.sameContent.isEmpty())
                report.sameContent << Intake::sameContentNote(outcome);
            continue;
        }
        const Legacy::SourceRecord& row = *rows.at(i);
        report.notImported << QStringLiteral("旧序号 %1“%2”：%3")
                                  .arg(row.oldSerial, row.record.fileName, outcome.error.message);
    }
    return report;
}

} // namespace LegacyImport
