#pragma once

#include "store/sql/SqlRecordStore.h"

// The register's records in its SQLite database.
class SqliteRecordStore : public SqlRecordStore {
public:
    explicit SqliteRecordStore(Register reg) : SqlRecordStore(std::move(reg), SqlDialect::sqlite())
    {
    }

    Result<qint64> nextSerial() override;
    Result<QStringList> databaseFaults(bool full) override;
    Result<qint64> changeCounter() override;
};
