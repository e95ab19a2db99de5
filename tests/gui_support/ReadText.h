#pragma once

#include "content/ContentStore.h"
#include "store/Register.h"
#include "store/content/ContentIndex.h"
#include "store/sql/ContentHash.h"
#include "store/sql/Sql.h"

#include <QTest>

// Gives record `rowid` a copy that counts as read with `text`, as a reading
// run would leave it, without the reader program.
inline void giveReadText(const Register& reg, qint64 rowid, const QString& text)
{
    const QSqlDatabase db = reg.database();
    const QString hash = QStringLiteral("%1").arg(rowid, 32, 16, QLatin1Char('0'));
    QVERIFY(ContentHash::record(db, rowid, text.toUtf8().size(), hash).ok());
    Result<QSqlQuery> queued = Sql::run(db,
                                        QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?")
                                            .arg(Sql::identifier(ContentIndex::numberColumn),
                                                 Sql::identifier(ContentIndex::table),
                                                 Sql::identifier(ContentIndex::hashColumn)),
                                        {hash});
    QVERIFY(queued && queued->next());
    const qint64 number = queued->value(0).toLongLong();
    QSqlDatabase writer = db;
    QVERIFY(writer.transaction());
    QVERIFY(ContentStore::store(db, number, ContentIndex::State::Read, text, {}).ok());
    QVERIFY(writer.commit());
}
