#pragma once

#include "content/ContentQueue.h"
#include "content/ContentStore.h"
#include "store/RecordStore.h"
#include "store/Register.h"
#include "store/content/ContentIndex.h"
#include "store/sql/Sql.h"

#include <QTest>

// The content hash giveReadText records for record `rowid`: one of its own.
inline QString readTextHash(qint64 rowid)
{
    return QStringLiteral("%1").arg(rowid, 32, 16, QLatin1Char('0'));
}

// The number of the content with `hash`, -1 when the register has none.
inline qint64 contentNumber(const Register& reg, const QString& hash)
{
    Result<QVariant> number = Sql::scalar(reg.database(),
                                          QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?")
                                              .arg(Sql::identifier(ContentIndex::numberColumn),
                                                   Sql::identifier(ContentIndex::table),
                                                   Sql::identifier(ContentIndex::hashColumn)),
                                          {hash});
    return number && !number->isNull() ? number->toLongLong() : -1;
}

// Gives record `rowid` a copy that counts as read with `text`, as a reading
// run would leave it, without the reader program.
inline void giveReadText(const Register& reg, qint64 rowid, const QString& text)
{
    const QString hash = readTextHash(rowid);
    QVERIFY(reg.records()->recordDigest(rowid, text.toUtf8().size(), hash).ok());
    const qint64 number = contentNumber(reg, hash);
    QVERIFY(number > 0);
    QVERIFY(ContentQueue::written(reg, [&](const QSqlDatabase& db) {
                return ContentStore::store(db, number, ContentIndex::State::Read, text, {});
            }).ok());
}
