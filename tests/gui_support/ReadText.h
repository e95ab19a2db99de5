#pragma once

#include "content/ContentQueue.h"
#include "content/ContentStore.h"
#include "store/RecordStore.h"
#include "store/Register.h"
#include "store/content/ContentIndex.h"
#include "store/sql/Sql.h"

#include <QTest>

// Gives record `rowid` a copy that counts as read with `text`, as a reading
// run would leave it, without the reader program.
inline void giveReadText(const Register& reg, qint64 rowid, const QString& text)
{
    const QString hash = QStringLiteral("%1").arg(rowid, 32, 16, QLatin1Char('0'));
    QVERIFY(reg.records()->recordDigest(rowid, text.toUtf8().size(), hash).ok());
    Result<QSqlQuery> queued = Sql::run(reg.database(),
                                        QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?")
                                            .arg(Sql::identifier(ContentIndex::numberColumn),
                                                 Sql::identifier(ContentIndex::table),
                                                 Sql::identifier(ContentIndex::hashColumn)),
                                        {hash});
    QVERIFY(queued && queued->next());
    const qint64 number = queued->value(0).toLongLong();
    QVERIFY(ContentQueue::written(reg, [&](const QSqlDatabase& db) {
                return ContentStore::store(db, number, ContentIndex::State::Read, text, {});
            }).ok());
}
