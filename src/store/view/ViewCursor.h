#pragma once

#include "store/RecordStore.h"
#include "store/Register.h"
#include "store/RegisterRecord.h"
#include "store/sqlite/RawStatement.h"
#include "store/view/ViewCondition.h"
#include "store/view/ViewSql.h"

#include <QByteArrayView>
#include <QSqlQuery>

#include <limits>
#include <memory>
#include <optional>
#include <vector>

struct sqlite3;
struct sqlite3_context;
struct sqlite3_value;

// The records of a view read once through in view order (serial ascending,
// rowid breaking ties), stepped as the caller goes: only the current row is
// held, so output of any length starts at once and takes little memory.
// ViewRst is for views that are browsed and changed in place.
//
// A condition that SQLite answers best through another index (a name search
// through its full-text index) would be sorted whole before its first row.
// Such a view walks the serial index instead, whose rows come in order at
// once, testing each record. After a stretch of the index (or `headRows`
// rows) a dense view whose other index only offers candidates goes on so to
// its end; any other has its matching records marked from that index, and
// the serial index is walked again reading the marked ones only, past the
// rows already given. Nothing is sorted, so nothing spills to disk; only a
// few matches are left to the planner, whose sort of them stays in memory.
// All of it reads one snapshot.
class ViewCursor {
public:
    ViewCursor(const Register& reg, const ViewCondition& condition,
               int headRows = std::numeric_limits<int>::max());
    ~ViewCursor();
    ViewCursor(const ViewCursor&) = delete;
    ViewCursor& operator=(const ViewCursor&) = delete;

    // Steps to the next record; false at the end or on failure.
    bool next();
    bool failed() const { return !error().message.isEmpty(); }
    const Error& error() const { return m_onServer ? m_serverError : m_statement->error(); }

    // The current record. Its serial when stored as a whole number.
    std::optional<qint64> integerSerial() const;
    // A field as stored, in UTF-8 (empty for NULL); valid until next() or
    // record().
    QByteArrayView utf8(RecordField field) const;
    // The record as ViewRst gives it (date in display form).
    RegisterRecord record() const;

private:
    static int headSpent(void* cursor);
    // After the head start: the rest of the view, past the rows it gave.
    void startRest();
    // The matching records marked; false when their rowids do not suit a
    // bitmap (or reading them failed, told by m_statement).
    bool markMatching();
    static void isMarked(sqlite3_context* context, int count, sqlite3_value** values);
    // On a server: one statement read row by row.
    void startOnServer(const Register& reg);

    QSqlDatabase m_db;
    sqlite3* m_handle = nullptr;
    // The key and record columns, as every statement reads them.
    QString m_columns;
    bool m_snapshot = false;
    // The condition in the words of the register's kind.
    ViewSql m_condition;
    std::unique_ptr<RawStatement> m_statement;
    // The head start, and the rows it gave.
    bool m_inHead = false;
    bool m_interrupted = false;
    bool m_walkOn = false; // when dense (see denseShare)
    bool m_dense = false;
    int m_headRows = 0;
    qint64 m_given = 0;
    // The matching records by rowid, and the SQL function that reads it.
    std::vector<bool> m_marked;
    qint64 m_markedCount = 0;
    QByteArray m_markedFunction;

    bool m_onServer = false;
    std::unique_ptr<QSqlQuery> m_server;
    Error m_serverError;
    mutable QByteArray m_text[RecordFields::count]; // what utf8() gave of each field, on a server
};
