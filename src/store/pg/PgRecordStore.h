#pragma once

#include "store/sql/SqlRecordStore.h"

// The register's records in its PostgreSQL database.
class PgRecordStore : public SqlRecordStore {
public:
    explicit PgRecordStore(Register reg) : SqlRecordStore(std::move(reg), SqlDialect::server()) {}

    Result<qint64> nextSerial() override;
    Result<QStringList> databaseFaults(bool full) override;
    Result<qint64> changeCounter() override;
};
