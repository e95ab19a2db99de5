#include "store/RegisterNames.h"
#include "store/sql/Sql.h"
#include "store/view/ViewConditions.h"
#include "store/view/ViewRst.h"
#include "support/TempRegister.h"

#include <QTest>

class TestViewRst : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void positionsFollowSerialsWithRowidBreakingTies()
    {
        TempRegister temp;
        const qint64 c = temp.addRecord(30, QStringLiteral("c.txt"));
        const qint64 a =
            temp.addRecord(10, QStringLiteral("a.txt"), {}, {}, QStringLiteral("2006-03-05"));
        const qint64 b1 = temp.addRecord(20, QStringLiteral("b1.txt"));
        const qint64 b2 = temp.addRecord(20, QStringLiteral("b2.txt"));

        Result<std::shared_ptr<ViewRst>> view = ViewRst::open(temp.reg(), {});
        QVERIFY(view.ok());
        ViewRst& rst = *view.value();
        QCOMPARE(rst.recordCount(), 4);
        QCOMPARE(rst.keyAt(1), a);
        QCOMPARE(rst.keyAt(2), b1);
        QCOMPARE(rst.keyAt(3), b2);
        QCOMPARE(rst.keyAt(4), c);
        QCOMPARE(rst.keyAt(0), 0);
        QCOMPARE(rst.keyAt(5), 0);
        QVERIFY(!rst.record(0));
        QVERIFY(!rst.record(5));
        QCOMPARE(rst.record(1)->fileName, QStringLiteral("a.txt"));
        // Dates show with a two-digit month and the day without a leading zero.
        QCOMPARE(rst.record(1)->date, QStringLiteral("2006-03-5"));
        QCOMPARE(rst.record(4)->serial.toLongLong(), 30);
        QCOMPARE(rst.positionOf(c), 4);
        QCOMPARE(rst.positionOf(999), 0);
    }

    void positionsFoundNearTheScreenAndBeyond()
    {
        TempRegister temp;
        QList<qint64> keys;
        for (qint64 key = 1; key <= 20000; ++key)
            keys.append(key);
        ViewRst rst(temp.reg(), {}, keys);
        (void)rst.record(15000);
        for (const qint64 key : {qint64(1), qint64(10000), qint64(15001), qint64(20000)})
            QCOMPARE(rst.positionOf(key), int(key));
        QCOMPARE(rst.positionOf(20001), 0);
    }

    void conditionValuesAreBound()
    {
        TempRegister temp;
        temp.addRecord(1, QStringLiteral("x"), QStringLiteral("O'Brien"));
        temp.addRecord(2, QStringLiteral("y"), QStringLiteral("张三"));
        const ViewCondition condition =
            ViewConditions::fieldIs(RecordField::Recipient, QStringLiteral("O'Brien"));
        Result<std::shared_ptr<ViewRst>> view = ViewRst::open(temp.reg(), condition);
        QVERIFY(view.ok());
        QCOMPARE(view.value()->recordCount(), 1);
        QCOMPARE(view.value()->record(1)->fileName, QStringLiteral("x"));
    }

    void pagesAreFetchedOnDemandAcrossPageBoundaries()
    {
        TempRegister temp;
        {
            Transaction transaction(temp.reg().database());
            for (int i = 1; i <= 3 * ViewRst::pageSize + 5; ++i)
                temp.addRecord(i, QStringLiteral("f%1").arg(i));
            QVERIFY(transaction.commit().ok());
        }
        Result<std::shared_ptr<ViewRst>> view = ViewRst::open(temp.reg(), {});
        ViewRst& rst = *view.value();
        for (int position : {1, ViewRst::pageSize, ViewRst::pageSize + 1, rst.recordCount(), 2})
            QCOMPARE(rst.record(position)->fileName, QStringLiteral("f%1").arg(position));
    }

    void inPlaceChangesKeepPositionsTrue()
    {
        TempRegister temp;
        for (int i = 1; i <= 5; ++i)
            temp.addRecord(i, QStringLiteral("f%1").arg(i));
        Result<std::shared_ptr<ViewRst>> view = ViewRst::open(temp.reg(), {});
        ViewRst& rst = *view.value();
        QCOMPARE(rst.record(3)->fileName, QStringLiteral("f3"));

        rst.removeAt(3);
        QCOMPARE(rst.recordCount(), 4);
        QCOMPARE(rst.record(3)->fileName, QStringLiteral("f4"));

        rst.exchange(1, 2);
        QCOMPARE(rst.record(1)->fileName, QStringLiteral("f2"));
        QCOMPARE(rst.record(2)->fileName, QStringLiteral("f1"));

        // A changed row is read again after invalidate.
        QVERIFY(Sql::run(temp.reg().database(),
                         QStringLiteral("UPDATE 文件管理 SET 备注 = ? WHERE rowid = ?"),
                         {QStringLiteral("新"), rst.keyAt(4)})
                    .ok());
        QCOMPARE(rst.record(4)->remark, QString());
        rst.invalidate(4);
        QCOMPARE(rst.record(4)->remark, QStringLiteral("新"));
    }

    void recordDeletedElsewhereShowsAsEmptyRow()
    {
        TempRegister temp;
        temp.addRecord(1, QStringLiteral("a"));
        const qint64 gone = temp.addRecord(2, QStringLiteral("b"));
        Result<std::shared_ptr<ViewRst>> view = ViewRst::open(temp.reg(), {});
        QVERIFY(Sql::run(temp.reg().database(),
                         QStringLiteral("DELETE FROM 文件管理 WHERE rowid = ?"), {gone})
                    .ok());
        const std::optional<RegisterRecord> record = view.value()->record(2);
        QVERIFY(record);
        QCOMPARE(record->storedName, QString());
    }

    void invalidConditionIsAnError()
    {
        TempRegister temp;
        const Result<QList<qint64>> keys =
            ViewRst::keysOf(temp.reg(), {QStringLiteral("no_such_column = ?"), {1}});
        QVERIFY(!keys.ok());
        QVERIFY(!keys.error().message.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestViewRst)
#include "test_view_rst.moc"
