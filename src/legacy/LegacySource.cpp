#include "legacy/LegacySource.h"

#include "legacy/LegacyReader.h"
#include "store/Register.h"
#include "store/RegisterNames.h"
#include "store/StoreFiles.h"

#include <QDate>
#include <QDir>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <limits>

namespace Legacy {

namespace {

QString text(const QVariant& cell)
{
    return cell.isNull() ? QString() : cell.toString();
}

QString serialText(const QVariant& cell)
{
    if (cell.isNull())
        return QString();
    return QString::number(cell.toDouble(), 'g', 17);
}

bool isWhole(double value)
{
    return std::isfinite(value) && value == std::floor(value) && std::fabs(value) < 9.0e15;
}

// Keeps the old serials when every one is a whole number and none repeats;
// otherwise numbers the records 1, 2, … in the old order (by serial, Null
// last, then by table order). Returns whether it renumbered.
bool decideSerials(QList<SourceRecord>& records, const QList<QVariant>& serials)
{
    bool keep = true;
    QSet<qint64> seen;
    for (const QVariant& serial : serials) {
        if (serial.isNull() || !isWhole(serial.toDouble()) ||
            seen.contains(qint64(serial.toDouble()))) {
            keep = false;
            break;
        }
        seen.insert(qint64(serial.toDouble()));
    }
    QList<int> order(records.size());
    for (int i = 0; i < order.size(); ++i)
        order[i] = i;
    const auto key = [&](int i) {
        return serials.at(i).isNull() ? std::numeric_limits<double>::infinity()
                                      : serials.at(i).toDouble();
    };
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return key(a) < key(b); });
    QList<SourceRecord> sorted;
    sorted.reserve(records.size());
    for (int n = 0; n < order.size(); ++n) {
        SourceRecord record = records.at(order.at(n));
        record.record.serial = keep ? qint64(serials.at(order.at(n)).toDouble()) : n + 1;
        sorted << record;
    }
    records = sorted;
    return !keep;
}

// "C:boot.ini" names a file on drive C under Windows, not one in the store.
bool hasDrive(const QString& name)
{
    return name.size() >= 2 && name.at(1) == QLatin1Char(':') && name.at(0).isLetter() &&
           name.at(0).unicode() < 128;
}

} // namespace

QString Source::databasePath() const
{
    return QDir(folder).filePath(RegisterNames::databaseFile);
}

QString Source::storeFolder() const
{
    return QDir(folder).filePath(RegisterNames::storeFolder);
}

QString dateFromJet(const QVariant& days)
{
    if (days.isNull())
        return QString();
    // The day is the whole part (Jet counts the time of a date before 1900
    // forwards too); day 0 is Access's "no date".
    const double day = std::trunc(days.toDouble());
    if (!std::isfinite(day) || day == 0 || std::fabs(day) > 3.0e6)
        return QString();
    return QDate(1899, 12, 30).addDays(qint64(day)).toString(Qt::ISODate);
}

Result<Source> readSource(const QString& folder)
{
    Source source;
    source.folder = QDir(folder).absolutePath();
    Result<LegacyReader> reader = LegacyReader::open(source.databasePath());
    if (!reader)
        return reader.error();

    QList<QVariant> serials;
    Status read = reader->readRows(RegisterNames::recordTable, RegisterNames::recordColumns,
                                   [&](const QVariantList& cells) {
                                       SourceRecord row;
                                       row.oldSerial = serialText(cells.at(0));
                                       row.record.date = dateFromJet(cells.at(1));
                                       row.record.fileName = text(cells.at(2));
                                       row.record.storedName = text(cells.at(3));
                                       row.record.remark = text(cells.at(4));
                                       row.record.recipient = text(cells.at(5));
                                       row.record.method = text(cells.at(6));
                                       row.record.folder = text(cells.at(7));
                                       serials << cells.at(0);
                                       source.records << row;
                                       return true;
                                   });
    if (!read)
        return read.error();
    source.renumbered = decideSerials(source.records, serials);

    if (!reader->hasTable(legacyQueryName)) {
        source.queryTableMissing = true;
    } else {
        Status queries = reader->readRows(legacyQueryName, RecordWriter::queryColumns(),
                                          [&](const QVariantList& cells) {
                                              QStringList values;
                                              for (const QVariant& cell : cells)
                                                  values << text(cell);
                                              if (source.slots.size() < 9)
                                                  source.slots << values;
                                              else
                                                  source.queriesLeftOut << values.first();
                                              return true;
                                          });
        if (!queries)
            return queries.error();
    }

    // Which copies are there. Stored names were written on Windows, but the
    // folder is read here as it is: a name must match exactly.
    QSet<QString> files;
    const QStringList entries =
        QDir(source.storeFolder())
            .entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& entry : entries)
        files.insert(entry);
    QSet<QString> named;
    for (SourceRecord& row : source.records) {
        const QString& name = row.record.storedName;
        if (!name.isEmpty() && (!Register::isPlainFileName(name) || hasDrive(name)))
            row.copy = SourceRecord::Hostile;
        else if (name.isEmpty() || !files.contains(name))
            row.copy = SourceRecord::Missing;
        named.insert(name);
    }
    for (const QString& entry : entries) {
        if (!named.contains(entry) && !StoreFiles::isReserved(entry))
            source.strayFiles << entry;
    }
    return source;
}

} // namespace Legacy
