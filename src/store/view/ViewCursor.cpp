#include "store/view/ViewCursor.h"

#include "base/DateText.h"
#include "store/RegisterNames.h"
#include "store/pg/PgSql.h"
#include "store/pg/PgViewSql.h"
#include "store/sql/Sql.h"
#include "store/view/SqliteViewSql.h"
#include "store/view/ViewPages.h"

#include <QSqlError>

#include <sqlite3.h>

#include <atomic>

namespace {

// How far the head start walks the serial index (a few milliseconds)
// before it judges the view: far enough for a screenful of a search that
// one record in a thousand matches.
constexpr int headEntries = 50000;
// A view that holds at least one record in this many by then, and whose
// other index only offers candidates that each record must confirm, is read
// on to its end that way: marking would read every candidate once more.
constexpr int denseShare = 16;

// Rowids a bitmap takes (32 MiB at most); those SQLite numbers itself stay
// far below. A register with others is read the planner's way.
constexpr qint64 bitmapLimit = qint64(1) << 28;
// Up to about this many records the planner's sort stays within its memory
// (a few hundred bytes a record, about 2 MB before it writes a temporary
// file) and costs less than a walk over every record.
constexpr qint64 sortedInMemory = 4096;

// Each cursor names its marking function apart: another cursor's statements
// on the same connection may still use theirs.
std::atomic<int> markingFunctions{0};

// rowid, then the record columns in RecordField order.
int columnOf(RecordField field)
{
    return 1 + static_cast<int>(field);
}

// `columns`: the key and record columns; `index`: the index to walk;
// `tail`: skip the rows bound to a last "?".
QString selectFor(const QString& columns, const ViewSql& condition, const QString& index = {},
                  bool tail = false)
{
    // Conditions that also tell their records the other way round
    // (exceptWhere) load keys faster so; read straight through, `where` is
    // the one statement that streams.
    return QStringLiteral("SELECT %1 FROM %2%3%4 ORDER BY %5, rowid%6")
        .arg(columns, Sql::identifier(RegisterNames::recordTable),
             index.isEmpty() ? QString() : QStringLiteral(" INDEXED BY ") + Sql::identifier(index),
             condition.isEmpty() ? QString() : QStringLiteral(" WHERE ") + condition.where,
             Sql::identifier(RegisterNames::serial),
             tail ? QStringLiteral(" LIMIT -1 OFFSET ?") : QString());
}

// Whether SQLite sorts the rows before it gives the first.
bool sortsFirst(const QSqlDatabase& db, const QString& select, const QVariantList& values)
{
    RawStatement program(db, QStringLiteral("EXPLAIN ") + select, values);
    while (program.next()) {
        if (program.utf8(1) == "SorterOpen")
            return true;
    }
    return false;
}

} // namespace

ViewCursor::ViewCursor(const Register& reg, const ViewCondition& condition, int headRows)
    : m_db(reg.database()), m_handle(RawStatement::handleOf(m_db)),
      m_columns(ViewPages::recordColumns(reg)), m_headRows(headRows)
{
    if (reg.kind() == Register::Kind::Postgres) {
        m_onServer = true;
        m_condition = PgViewSql::told(condition);
        startOnServer(reg);
        return;
    }
    m_condition = SqliteViewSql::rendered(condition);
    // The head start and the rest must read the same records.
    if (m_handle && sqlite3_get_autocommit(m_handle) != 0)
        m_snapshot = sqlite3_exec(m_handle, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
    const QString planned = selectFor(m_columns, m_condition);
    if (sortsFirst(m_db, planned, m_condition.values)) {
        // Record by record: a subquery there would first collect every match.
        m_statement = std::make_unique<RawStatement>(
            m_db, selectFor(m_columns, m_condition.scan(), RegisterNames::serialIndex),
            m_condition.valuesForScan());
        m_inHead = m_statement->ok();
        m_walkOn = m_condition.keysSql.isEmpty() && !m_condition.scanWhere.isEmpty();
    }
    if (!m_inHead)
        m_statement = std::make_unique<RawStatement>(m_db, planned, m_condition.values);
}

void ViewCursor::startOnServer(const Register& reg)
{
    const ViewSql& told = m_condition;
    const QString sql =
        QStringLiteral("SELECT %1 FROM %2%3 ORDER BY %4, %5")
            .arg(m_columns, Sql::identifier(RegisterNames::recordTable),
                 told.isEmpty() ? QString() : QStringLiteral(" WHERE ") + told.where,
                 Sql::identifier(RegisterNames::serial), Sql::identifier(RegisterNames::identity));
    Result<QSqlQuery> query = Sql::run(reg.database(), sql, told.values);
    if (query)
        m_server = std::make_unique<QSqlQuery>(std::move(query).value());
    else
        m_serverError = query.error();
}

ViewCursor::~ViewCursor()
{
    m_statement.reset();
    if (!m_markedFunction.isEmpty())
        sqlite3_create_function_v2(m_handle, m_markedFunction.constData(), 1, SQLITE_UTF8, nullptr,
                                   nullptr, nullptr, nullptr, nullptr);
    if (m_snapshot)
        sqlite3_exec(m_handle, "COMMIT", nullptr, nullptr, nullptr);
}

int ViewCursor::headSpent(void* cursor)
{
    auto* self = static_cast<ViewCursor*>(cursor);
    const int steps = self->m_statement->fullScanSteps();
    if (steps <= headEntries)
        return 0;
    self->m_dense = self->m_walkOn && self->m_given * denseShare >= steps;
    self->m_interrupted = !self->m_dense;
    return self->m_interrupted ? 1 : 0;
}

bool ViewCursor::next()
{
    if (!m_serverError.message.isEmpty())
        return false;
    if (m_onServer) {
        if (m_server->next())
            return true;
        // A listing cut short must not end as if complete.
        if (m_server->lastError().isValid())
            m_serverError = PgSql::errorFrom(m_server->lastError(), QStringLiteral("next"));
        return false;
    }
    if (!m_inHead)
        return m_statement->next();
    if (m_given < m_headRows) {
        // A read-only statement interrupted leaves the snapshot open.
        sqlite3_progress_handler(m_handle, 1000, &ViewCursor::headSpent, this);
        const bool row = m_statement->next();
        sqlite3_progress_handler(m_handle, 0, nullptr, nullptr);
        // Many matches: the walk goes on to the end.
        m_inHead = !m_dense;
        if (row) {
            ++m_given;
            return true;
        }
        if (!m_interrupted)
            return false; // the end, or a failure to tell
    }
    startRest();
    return !failed() && m_statement->next();
}

void ViewCursor::startRest()
{
    m_inHead = false;
    const QVariantList past{m_given};
    if (markMatching() && m_markedCount > sortedInMemory) {
        m_markedFunction = "quorvel_marked_" + QByteArray::number(++markingFunctions);
        // Not deterministic: called for each row, never folded.
        if (sqlite3_create_function_v2(m_handle, m_markedFunction.constData(), 1,
                                       SQLITE_UTF8 | SQLITE_DIRECTONLY, this, &ViewCursor::isMarked,
                                       nullptr, nullptr, nullptr) == SQLITE_OK) {
            // The table row is read only for a marked entry of the index.
            QString marked = QString::fromLatin1(m_markedFunction) + QStringLiteral("(rowid)");
            if (!m_condition.keysAlso.isEmpty())
                marked += QStringLiteral(" AND (%1)").arg(m_condition.keysAlso);
            m_statement = std::make_unique<RawStatement>(
                m_db, selectFor(m_columns, {marked, {}}, RegisterNames::serialIndex, true),
                m_condition.keysAlsoValues + past);
            return;
        }
        m_markedFunction.clear();
    }
    if (failed())
        return;
    m_marked = {};
    m_statement = std::make_unique<RawStatement>(m_db, selectFor(m_columns, m_condition, {}, true),
                                                 m_condition.values + past);
}

bool ViewCursor::markMatching()
{
    // A keys query reads an index alone; the condition itself the planner
    // answers from its index in whatever order that gives.
    const bool keys = !m_condition.keysSql.isEmpty();
    auto matching = std::make_unique<RawStatement>(
        m_db,
        keys ? m_condition.keysSql
             : QStringLiteral("SELECT rowid FROM %1 WHERE %2")
                   .arg(Sql::identifier(RegisterNames::recordTable), m_condition.where),
        keys ? m_condition.keysValues : m_condition.values);
    bool suits = true;
    while (suits && matching->next()) {
        const qint64 rowid = matching->int64(0);
        suits = rowid > 0 && rowid <= bitmapLimit;
        const auto at = std::size_t(rowid);
        if (suits && at >= m_marked.size())
            m_marked.resize(std::max(at + 1, m_marked.size() * 2));
        if (suits && !m_marked[at]) {
            m_marked[at] = true;
            ++m_markedCount;
        }
    }
    // In place of the head start, which its interruption left failed: a
    // failure now is this statement's.
    m_statement = std::move(matching);
    return suits && !failed();
}

void ViewCursor::isMarked(sqlite3_context* context, int, sqlite3_value** values)
{
    const auto* self = static_cast<const ViewCursor*>(sqlite3_user_data(context));
    const sqlite3_int64 rowid = sqlite3_value_int64(values[0]);
    sqlite3_result_int(context, rowid > 0 && std::size_t(rowid) < self->m_marked.size() &&
                                    self->m_marked[std::size_t(rowid)]);
}

std::optional<qint64> ViewCursor::integerSerial() const
{
    const int column = columnOf(RecordField::Serial);
    if (m_server) {
        const QVariant serial = m_server->value(column);
        if (serial.isNull())
            return std::nullopt;
        return serial.toLongLong();
    }
    if (m_statement->type(column) != SQLITE_INTEGER)
        return std::nullopt;
    return m_statement->int64(column);
}

QByteArrayView ViewCursor::utf8(RecordField field) const
{
    if (m_server) {
        QByteArray& text = m_text[static_cast<int>(field)];
        text = m_server->value(columnOf(field)).toString().toUtf8();
        return text;
    }
    return m_statement->utf8(columnOf(field));
}

RegisterRecord ViewCursor::record() const
{
    const auto value = [&](int column) -> QVariant {
        return m_server ? m_server->value(column) : m_statement->value(column);
    };
    RegisterRecord record;
    record.rowid = value(0).toLongLong();
    RecordFields::read(record, value, 1);
    return record;
}
