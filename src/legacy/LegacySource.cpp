#include "legacy/LegacySource.h"

#include "legacy/LegacyTables.h"
#include "store/Register.h"
#include "store/RegisterNames.h"
#include "store/folder/StoreFiles.h"

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
    Result<Tables> tables = readTables(source.databasePath());
    if (!tables)
        return tables.error();

    QList<QVariant> serials;
    for (const QVariantList& cells : tables->records) {
        SourceRecord row;
        row.oldSerial = serialText(cells.value(0));
        row.record.date = dateFromJet(cells.value(1));
        row.record.fileName = text(cells.value(2));
        row.record.storedName = text(cells.value(3));
        row.record.remark = text(cells.value(4));
        row.record.recipient = text(cells.value(5));
        row.record.method = text(cells.value(6));
        row.record.folder = text(cells.value(7));
        serials << cells.value(0);
        source.records << row;
    }
    source.renumbered = decideSerials(source.records, serials);

    source.queryTableMissing = !tables->queryTable;
    for (const QVariantList& cells : tables->queries) {
        QStringList values;
        for (const QVariant& cell : cells)
            values << text(cell);
        if (source.slots.size() < 9)
            source.slots << values;
        else
            source.queriesLeftOut << values.value(0);
    }

    // Which copies are there, looked at in the store folder itself: a link
    // is never followed, and only a regular file counts as a copy.
    Result<StoreFolder> store = StoreFolder::openPath(source.storeFolder());
    if (store)
        source.store = std::make_shared<const StoreFolder>(std::move(store.value()));
    else if (store.error().code != ErrorCode::NotFound)
        return store.error();
    const QStringList entries =
        source.store
            ? QDir(source.storeFolder())
                  .entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
            : QStringList();
    QSet<QString> named;
    for (SourceRecord& row : source.records) {
        const QString& name = row.record.storedName;
        named.insert(name);
        if (!name.isEmpty() && (!Register::isPlainFileName(name) || hasDrive(name))) {
            row.copy = SourceRecord::Hostile;
            continue;
        }
        const StoreFolder::Type type = source.store && !name.isEmpty()
                                           ? source.store->entry(name).type
                                           : StoreFolder::Type::Missing;
        if (type == StoreFolder::Type::Missing) {
            row.copy = SourceRecord::Missing;
        } else if (type != StoreFolder::Type::File) {
            row.copy = SourceRecord::NotAFile;
            row.notAFile = StoreFolder::typeText(type);
        }
    }
    for (const QString& entry : entries) {
        if (!named.contains(entry) && !StoreFiles::isReserved(entry))
            source.strayFiles << entry;
    }
    return source;
}

} // namespace Legacy
