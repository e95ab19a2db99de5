#include "store/pg/PgSql.h"

#include "store/pg/PgConnection.h"
#include "store/sql/Sql.h"

#include <QSqlError>
#include <QThread>

namespace PgSql {

Error errorFrom(const QSqlError& error, const QString& what)
{
    const QString state = error.nativeErrorCode();
    const QString detail = what + QStringLiteral(": ") + error.text();
    // Serialization failure, deadlock, lock not available, statement
    // cancelled by its timeout: another writer held what we needed. A
    // server with every connection taken is as busy.
    if (state == QLatin1String("40001") || state == QLatin1String("40P01") ||
        state == QLatin1String("55P03") || state == QLatin1String("57014") ||
        state == QLatin1String("53300"))
        return {Sql::busyMessage(), detail, ErrorCode::Busy};
    if (state.startsWith(QLatin1String("08")) || state == QLatin1String("57P01") ||
        state == QLatin1String("57P02") || state == QLatin1String("57P03"))
        return {QStringLiteral("与数据库服务器的连接中断，请稍后再试。"), detail,
                ErrorCode::Disconnected};
    if (state == QLatin1String("25006") || state == QLatin1String("42501"))
        return {QStringLiteral("登记库是只读的，无法保存更改。"), detail};
    if (state == QLatin1String("53100"))
        return {QStringLiteral("磁盘已满，无法保存更改。"), detail};
    if (state == QLatin1String("XX001") || state == QLatin1String("XX002"))
        return {QStringLiteral("登记库数据已损坏。"), detail, ErrorCode::Damaged};
    return {QStringLiteral("访问登记库时出错。"), detail};
}

Status exec(const QSqlDatabase& db, const QString& sql)
{
    return PgConnection::againAfterBreak(db, [&]() -> Status {
        QSqlQuery query(db);
        if (query.exec(sql))
            return {};
        return Sql::errorOn(db, query.lastError(), sql);
    });
}

Status retried(const std::function<Status()>& attempt)
{
    constexpr int attempts = 5;
    Status result = attempt();
    for (int i = 1; i < attempts && !result && result.error().code == ErrorCode::Busy; ++i) {
        // A short, growing pause lets the other writer finish.
        QThread::msleep(20 * i);
        result = attempt();
    }
    return result;
}

} // namespace PgSql
