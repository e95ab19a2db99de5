#pragma once

#include "store/RecordStore.h"
#include "store/Register.h"
#include "store/sql/SqlDialect.h"

#include <QSqlDatabase>

// The register's records through this thread's connection of the register,
// in the SQL both kinds of register share: each operation written once, the
// dialect supplying the words that differ. What only one kind does (numbering
// the next serial, checking the database, counting others' commits) is left
// to SqliteRecordStore and PgRecordStore.
class SqlRecordStore : public RecordStore {
public:
    // The column that holds `field` in the record table.
    static QString columnOf(RecordField field);

    bool connected() override { return db().isOpen(); }
    Result<std::unique_ptr<StoreTransaction>> beginWrite() override;

    Result<qint64> recordCount() override;
    Result<QList<qint64>> identitiesWithSerial(qint64 serial, int limit) override;
    Result<qint64> insert(const NewRecord& record) override;
    Result<QList<AddedRecord>> addRecords(const QList<DigestedRecord>& records,
                                          int sameLimit) override;
    Status stillThere(const SeenRecord& seen) override;
    Status remove(const SeenRecord& seen) override;
    Result<qint64> recordsNaming(const QString& storedName) override;
    Result<bool> isNamed(const QString& storedName, qint64 identity) override;
    Status updateFields(const QList<SeenRecord>& records,
                        const QList<QPair<RecordField, QString>>& values) override;
    Status swapSerials(const SeenRecord& first, const SeenRecord& second) override;

    Result<QStringList> valuesByUse(RecordField field) override;
    Result<QList<FolderCount>> folderCounts() override;

    Result<QList<ContentHash::SameContent>> sameContent(qint64 size, const QString& hash,
                                                        int limit) override;
    Status recordDigest(qint64 identity, qint64 size, const QString& hash) override;
    Result<QHash<qint64, RecordedDigest>> digests() override;

    Result<QList<CheckedRecord>> recordsBySerial() override;

    Result<QList<QVariantList>> querySlots(int count) override;
    Status writeQuerySlot(int slot, const QList<QPair<QueryField, QString>>& values) override;
    Result<QPair<int, bool>> querySlotShape() override;
    Status completeQuerySlots(const QList<QPair<QString, QString>>& defaults) override;

    Status binMoveIn(qint64 identity, const QString& binName, const QString& deletedAt) override;
    Result<QList<RecycleBin::Entry>> binEntries() override;
    Result<std::optional<RecycleBin::Entry>> binEntry(qint64 identity) override;
    Result<QList<qint64>> binWithSerial(qint64 serial) override;
    Result<QList<qint64>> binDeletedBefore(const QString& deletedAt) override;
    Result<bool> binNameTaken(const QString& binName) override;
    Result<bool> identityTaken(qint64 identity) override;
    Result<bool> serialTaken(const QVariant& serial) override;
    Result<bool> storedNameTaken(const QString& storedName) override;
    Status binMoveOut(qint64 identity, const QVariant& serial, const QString& storedName,
                      bool sameIdentity) override;
    Status binRemove(qint64 identity) override;

    Result<QList<Audit::Entry>> history(const QList<qint64>& identities) override;

protected:
    SqlRecordStore(Register reg, const SqlDialect& dialect)
        : m_register(std::move(reg)), m_dialect(dialect)
    {
    }

    QSqlDatabase db() const { return m_register.database(); }
    const SqlDialect& dialect() const { return m_dialect; }

    // The error for a register whose serials have reached `highest`.
    static Error noSerialAfter(const QVariant& highest, const QString& detail = QString());

private:
    Status updateOnce(const QList<SeenRecord>& records,
                      const QList<QPair<RecordField, QString>>& values);
    Status swapOnce(const SeenRecord& first, const SeenRecord& second);
    Status writeSlotOnce(int slot, const QList<QPair<QueryField, QString>>& values);
    // Whether the saved queries' table has the content box's column.
    Result<bool> hasContentColumn();
    Status completeOnce(const QList<QPair<QString, QString>>& defaults);

    Register m_register;
    const SqlDialect& m_dialect;
};
