#pragma once

#include "store/sql/SqlRecordStore.h"

// The register's records in its PostgreSQL database.
class PgRecordStore : public SqlRecordStore {
public:
    explicit PgRecordStore(Register reg) : SqlRecordStore(std::move(reg), SqlDialect::server()) {}

    Result<qint64> nextSerial() override;
    Result<QList<AddedRecord>> addRecords(const QList<DigestedRecord>& records,
                                          int sameLimit) override;
    Result<QStringList> databaseFaults(bool full) override;
    Result<qint64> changeCounter() override;

private:
    // The records already there with each content of `records`, as
    // sameContent() lists them.
    Result<QList<QList<ContentHash::SameContent>>>
    registeredContents(const QList<DigestedRecord>& records, int sameLimit);
    // Inserts `records`, numbered from `firstSerial`, with their digests and
    // history entries; their identities.
    Result<QList<qint64>> insertNumbered(const QList<DigestedRecord>& records, qint64 firstSerial);
};
