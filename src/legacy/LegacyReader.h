#pragma once

#include "base/Result.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>

// Reads the tables of an old Jet 4.0 register file. Cells come back as
// QVariants: a Null cell is a null QVariant, so it stays apart from the
// empty text; numbers are doubles, dates are Jet day numbers (days since
// 1899-12-30, as a double), texts are QStrings.
class LegacyReader {
public:
    ~LegacyReader();
    LegacyReader(LegacyReader&&) noexcept;
    LegacyReader& operator=(LegacyReader&&) noexcept;

    static Result<LegacyReader> open(const QString& path);

    bool hasTable(const QString& table) const;
    // The table's columns in their stored order; empty when there is no such table.
    QStringList columns(const QString& table) const;

    // Calls `row` for each row of `table` in table order with the cells of
    // the columns `wanted` (a missing column reads as Null). `row` returns
    // false to stop early. Fails when a row does not decode or the rows read
    // are not as many as the table says it holds.
    using RowHandler = std::function<bool(const QVariantList& cells)>;
    Status readRows(const QString& table, const QStringList& wanted, const RowHandler& row) const;

    // The text of a damaged old file: nothing is converted or imported from it.
    static Error damaged(const QString& path, const QString& what);

private:
    struct State;
    explicit LegacyReader(std::unique_ptr<State> state);
    std::unique_ptr<State> m_state;
};
