#include "store/sqlite/RawStatement.h"

#include <QSqlDriver>

#include <sqlite3.h>

sqlite3* RawStatement::handleOf(const QSqlDatabase& db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3* const*>(handle.constData());
}

RawStatement::RawStatement(const QSqlDatabase& db, const QString& sql, const QVariantList& values)
    : m_db(handleOf(db))
{
    if (!m_db) {
        m_error = {QStringLiteral("访问登记库时出错。"), QStringLiteral("no SQLite handle")};
        return;
    }
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(m_db, text.constData(), int(text.size()), &m_statement, nullptr) !=
        SQLITE_OK) {
        m_error = {QStringLiteral("访问登记库时出错。"),
                   sql + QStringLiteral(": ") + QString::fromUtf8(sqlite3_errmsg(m_db))};
        m_statement = nullptr;
        return;
    }
    for (int i = 0; i < values.size(); ++i) {
        const QVariant& value = values.at(i);
        const int index = i + 1;
        switch (value.typeId()) {
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::UInt:
        case QMetaType::ULongLong:
        case QMetaType::Bool:
            sqlite3_bind_int64(m_statement, index, value.toLongLong());
            break;
        case QMetaType::Double:
            sqlite3_bind_double(m_statement, index, value.toDouble());
            break;
        default:
            if (value.isNull()) {
                sqlite3_bind_null(m_statement, index);
            } else {
                const QByteArray utf8 = value.toString().toUtf8();
                sqlite3_bind_text(m_statement, index, utf8.constData(), int(utf8.size()),
                                  SQLITE_TRANSIENT);
            }
            break;
        }
    }
}

RawStatement::~RawStatement()
{
    if (m_statement)
        sqlite3_finalize(m_statement);
}

bool RawStatement::next()
{
    if (!m_statement)
        return false;
    const int status = sqlite3_step(m_statement);
    if (status == SQLITE_ROW)
        return true;
    if (status != SQLITE_DONE) {
        const int code = sqlite3_errcode(m_db);
        const QString detail = QString::fromUtf8(sqlite3_errmsg(m_db));
        m_error = (code == SQLITE_BUSY || code == SQLITE_LOCKED)
                      ? Error{QStringLiteral("登记库正被其他程序使用，请稍后再试。"), detail}
                      : Error{QStringLiteral("访问登记库时出错。"), detail};
    }
    return false;
}

qint64 RawStatement::int64(int column) const
{
    return sqlite3_column_int64(m_statement, column);
}

int RawStatement::type(int column) const
{
    return sqlite3_column_type(m_statement, column);
}

QByteArrayView RawStatement::utf8(int column) const
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
    return text ? QByteArrayView(text, sqlite3_column_bytes(m_statement, column))
                : QByteArrayView();
}

QVariant RawStatement::value(int column) const
{
    switch (sqlite3_column_type(m_statement, column)) {
    case SQLITE_INTEGER:
        return sqlite3_column_int64(m_statement, column);
    case SQLITE_FLOAT:
        return sqlite3_column_double(m_statement, column);
    case SQLITE_NULL:
        return QVariant(QMetaType::fromType<QString>());
    case SQLITE_BLOB:
        return QByteArray(static_cast<const char*>(sqlite3_column_blob(m_statement, column)),
                          sqlite3_column_bytes(m_statement, column));
    default:
        // Through SQLite's own UTF-16, as the driver reads text.
        return QString(static_cast<const QChar*>(sqlite3_column_text16(m_statement, column)),
                       sqlite3_column_bytes16(m_statement, column) / qsizetype(sizeof(QChar)));
    }
}

int RawStatement::fullScanSteps() const
{
    return m_statement ? sqlite3_stmt_status(m_statement, SQLITE_STMTSTATUS_FULLSCAN_STEP, 0) : 0;
}
