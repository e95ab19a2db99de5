#include "store/RegisterNames.h"
#include "store/folder/StoreFiles.h"
#include "store/sql/ContentHash.h"
#include "store/sql/Sql.h"
#include "store/sqlite/Schema.h"
#include "support/TempRegister.h"

#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString hashOf(const QByteArray& bytes)
{
    ContentHash::Hasher hasher;
    hasher.add(bytes);
    return hasher.hex();
}

qint64 count(const Register& reg, const QString& sql)
{
    Result<QVariant> value = Sql::scalar(reg.database(), sql);
    return value ? value->toLongLong() : -1;
}

} // namespace

class TestContentHash : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void hasherIsXxh3Of128BitsAndIndependentOfChunking()
    {
        // Reference value of XXH3-128 for no input.
        QCOMPARE(hashOf({}), QStringLiteral("99aa06d3014798d86001c324468d497f"));

        QByteArray bytes;
        for (int i = 0; i < 300000; ++i)
            bytes.append(static_cast<char>(i * 7 + i / 256));
        ContentHash::Hasher chunked;
        for (qsizetype at = 0; at < bytes.size(); at += 4093)
            chunked.add(QByteArrayView(bytes.constData() + at,
                                       std::min<qsizetype>(4093, bytes.size() - at)));
        QCOMPARE(chunked.size(), bytes.size());
        QCOMPARE(chunked.hex(), hashOf(bytes));
        QCOMPARE(chunked.hex().size(), 32);

        QByteArray changed = bytes;
        changed[150000] = static_cast<char>(changed[150000] ^ 1);
        QVERIFY(hashOf(changed) != hashOf(bytes));
    }

    void fileIsHashedByStreamingAcrossBufferBoundaries()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("big.bin"));
        QByteArray bytes(3 * (1 << 20) + 17, '\0');
        for (qsizetype i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<char>((i * 31) >> 3);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();

        Result<ContentHash::Digest> digest = ContentHash::ofFile(path);
        QVERIFY2(digest.ok(), qPrintable(digest.error().fullText()));
        QCOMPARE(digest->size, bytes.size());
        QCOMPARE(digest->hash, hashOf(bytes));

        Result<ContentHash::Digest> missing =
            ContentHash::ofFile(dir.filePath(QStringLiteral("x")));
        QVERIFY(!missing.ok());
        QVERIFY(missing.error().message.contains(dir.filePath(QStringLiteral("x"))));

        std::atomic<bool> cancelled{true};
        QVERIFY(!ContentHash::ofFile(path, &cancelled).ok());
    }

    void recordedDigestsFollowTheirRecords()
    {
        TempRegister temp;
        const QSqlDatabase db = temp.reg().database();
        const qint64 first = temp.addRecord(1, QStringLiteral("a.txt"));
        const qint64 second = temp.addRecord(2, QStringLiteral("b.txt"));
        const qint64 third = temp.addRecord(3, QStringLiteral("c.txt"));
        const QString hash = hashOf("same");
        QVERIFY(ContentHash::record(db, first, 4, hash).ok());
        QVERIFY(ContentHash::record(db, third, 4, hash).ok());
        QVERIFY(ContentHash::record(db, second, 5, hashOf("other")).ok());
        // Recording again replaces.
        QVERIFY(ContentHash::record(db, second, 5, hashOf("other")).ok());
        QVERIFY(!ContentHash::record(db, 999, 1, hash).ok());

        Result<std::optional<ContentHash::Digest>> got = ContentHash::recorded(db, first);
        QVERIFY(got.ok() && got->has_value());
        QCOMPARE((*got)->size, 4);
        QCOMPARE((*got)->hash, hash);

        Result<QList<ContentHash::SameContent>> same =
            ContentHash::recordsWithContent(db, 4, hash, 10);
        QVERIFY(same.ok());
        QCOMPARE(same->size(), 2);
        QCOMPARE(same->at(0).rowid, first);
        QCOMPARE(same->at(0).fileName, QStringLiteral("a.txt"));
        QCOMPARE(same->at(1).serial.toLongLong(), 3);
        QCOMPARE(ContentHash::recordsWithContent(db, 4, hash, 1)->at(0).rowid, first);
        QCOMPARE(ContentHash::recordsWithContent(db, 4, hash, 1)->size(), 1);
        // Same hash but another size is other content.
        QCOMPARE(ContentHash::recordsWithContent(db, 5, hash, 10)->size(), 0);

        // Deleting a record takes its digest along.
        QVERIFY(Sql::run(db, QStringLiteral("DELETE FROM 文件管理 WHERE rowid = ?"), {first}).ok());
        QCOMPARE(count(temp.reg(), QStringLiteral("SELECT count(*) FROM 存储校验")), 2);
        QVERIFY(!ContentHash::recorded(db, first)->has_value());
        QCOMPARE(ContentHash::recordsWithContent(db, 4, hash, 10)->size(), 1);

        // A digest no longer describes a record whose stored name changed.
        QVERIFY(Sql::run(db, QStringLiteral("UPDATE 文件管理 SET 路径 = 'z.txt' WHERE rowid = ?"),
                         {third})
                    .ok());
        QVERIFY(!ContentHash::recorded(db, third)->has_value());
        QCOMPARE(ContentHash::recordsWithContent(db, 4, hash, 10)->size(), 0);
    }

    void versionOneRegisterGetsTheSideTable()
    {
        QTemporaryDir dir;
        {
            Result<Register> reg = Register::open(dir.path());
            QVERIFY(reg.ok());
            QSqlDatabase db = reg->database();
            QSqlQuery query(db);
            QVERIFY(query.exec(QStringLiteral("DROP TABLE 存储校验")));
            QVERIFY(query.exec(QStringLiteral("PRAGMA user_version = 1")));
            QVERIFY(query.exec(QStringLiteral(
                "INSERT INTO 文件管理 (文件序号, 文件名, 路径) VALUES (1, 'a', 'a')")));
            reg->closeConnection();
        }
        Result<Register> reg = Register::open(dir.path());
        QVERIFY2(reg.ok(), qPrintable(reg.error().fullText()));
        QCOMPARE(count(*reg, QStringLiteral("PRAGMA user_version")), Schema::currentVersion);
        QCOMPARE(count(*reg, QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = "
                                            "'trigger' AND name = '存储校验_随记录删除'")),
                 1);
        QVERIFY(ContentHash::record(reg->database(), 1, 1, hashOf("a")).ok());
        QVERIFY(Sql::run(reg->database(), QStringLiteral("DELETE FROM 文件管理")).ok());
        QCOMPARE(count(*reg, QStringLiteral("SELECT count(*) FROM 存储校验")), 0);
        reg->closeConnection();
    }

    void storeFileNamesAreRecognised_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("part");
        QTest::addColumn<bool>("deleting");
        QTest::addColumn<QString>("owner");
        QTest::newRow("made part") << StoreFiles::partName() << true << false << QString();
        QTest::newRow("made deleting") << StoreFiles::deletingName() << false << true << QString();
        QTest::newRow("owned part") << StoreFiles::partName(QStringLiteral("Ab3")) << true << false
                                    << QStringLiteral("Ab3");
        QTest::newRow("owned deleting") << StoreFiles::deletingName(QStringLiteral("x9")) << false
                                        << true << QStringLiteral("x9");
        QTest::newRow("no owner before dash")
            << QStringLiteral(".quorvel-part--abc") << false << false << QString();
        QTest::newRow("two dashes")
            << QStringLiteral(".quorvel-part-a-b-c") << false << false << QString();
        QTest::newRow("bare prefix")
            << QStringLiteral(".quorvel-part-") << false << false << QString();
        QTest::newRow("stored copy")
            << QStringLiteral("报告.k3Q9x0aBc7.doc") << false << false << QString();
        QTest::newRow("punctuation")
            << QStringLiteral(".quorvel-part-ab.doc") << false << false << QString();
        QTest::newRow("non-ascii")
            << QStringLiteral(".quorvel-deleting-报告") << false << false << QString();
        QTest::newRow("other case")
            << QStringLiteral(".Quorvel-part-abc") << false << false << QString();
    }

    void storeFileNamesAreRecognised()
    {
        QFETCH(QString, name);
        QFETCH(bool, part);
        QFETCH(bool, deleting);
        QFETCH(QString, owner);
        QCOMPARE(StoreFiles::ownerOf(name), owner);
        QCOMPARE(StoreFiles::isPartName(name), part);
        QCOMPARE(StoreFiles::isDeletingName(name), deleting);
        QCOMPARE(StoreFiles::isLeftover(name), part || deleting);
        QVERIFY(Register::isPlainFileName(StoreFiles::partName()));
        QVERIFY(StoreFiles::partName() != StoreFiles::partName());
        if (part || deleting)
            QVERIFY(StoreFiles::isReserved(name));
    }
};

QTEST_GUILESS_MAIN(TestContentHash)
#include "test_content_hash.moc"
