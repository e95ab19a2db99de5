#include "browser/CombinedSearch.h"
#include "browser/FolderMenu.h"
#include "browser/SystemViews.h"
#include "store/RegisterNames.h"
#include "store/pg/PgViewSql.h"
#include "store/sql/Sql.h"
#include "store/view/SqliteViewSql.h"
#include "store/view/ViewRst.h"
#include "support/TempRegister.h"

#include <QTest>

namespace {

// Serials of the records with these keys, in view order.
QList<qint64> serialsOfKeys(const Register& reg, const Result<QList<qint64>>& keys)
{
    if (!keys) {
        qWarning() << keys.error().fullText();
        return {-1};
    }
    const ViewRst view(reg, {}, keys.value());
    QList<qint64> serials;
    for (int position = 1; position <= view.recordCount(); ++position)
        serials << view.record(position)->serial.toLongLong();
    return serials;
}

// Serials of the records a view shows, in view order.
QList<qint64> serialsOf(const Register& reg, const ViewCondition& condition)
{
    return serialsOfKeys(reg, ViewRst::loadKeys(reg, condition));
}

void setNull(const Register& reg, qint64 rowid, const QString& column)
{
    Result<QSqlQuery> done =
        Sql::run(reg.database(),
                 QStringLiteral("UPDATE %1 SET %2 = NULL WHERE rowid = ?")
                     .arg(Sql::identifier(RegisterNames::recordTable), Sql::identifier(column)),
                 {rowid});
    QVERIFY(done.ok());
}

// A register whose every record is there to tell two views apart. Serials
// are inserted out of order so the views must sort them.
void fillKnownRegister(TempRegister& temp)
{
    temp.addRecord(3, QStringLiteral("c.doc"), QStringLiteral("本地文档"), QString(),
                   QStringLiteral("2006-04-30"), QStringLiteral("100% done"),
                   QStringLiteral("面呈"));
    temp.addRecord(1, QStringLiteral("a.doc"), QStringLiteral("张三"), QStringLiteral("工作"),
                   QStringLiteral("2006-05-01"), QStringLiteral("合同 草稿"),
                   QStringLiteral("Email"));
    temp.addRecord(2, QStringLiteral("b.doc"), QStringLiteral("自己"), QStringLiteral("工作"),
                   QStringLiteral("2006-05-02"), QString(), QStringLiteral("传真"));
    temp.addRecord(4, QStringLiteral("d'x.doc"), QStringLiteral("自己人"),
                   QStringLiteral("O'Brien"), QStringLiteral("2006-06-10"),
                   QStringLiteral("it's 50_50"), QStringLiteral("Email"));
    temp.addRecord(5, QStringLiteral("e_x.doc"), QString(), QStringLiteral("100%"),
                   QStringLiteral("2006-05-01"), QStringLiteral("1000 done"),
                   QStringLiteral("面呈"));
    const qint64 noRecipient =
        temp.addRecord(6, QStringLiteral("eax.doc"), QStringLiteral("x"), QStringLiteral("100"),
                       QStringLiteral("2007-01-01"), QStringLiteral("50x50"), QString());
    setNull(temp.reg(), noRecipient, RegisterNames::recipient);
    temp.addRecord(7, QStringLiteral("g.doc"), QStringLiteral("李四 本地文档副本"),
                   QStringLiteral("a_c"), QStringLiteral("2006-05-03"), QString(),
                   QStringLiteral("Email"));
    temp.addRecord(8, QStringLiteral("h.doc"), QStringLiteral("王五"), QStringLiteral("abc"),
                   QStringLiteral("2006-05-31"), QString(), QStringLiteral("email"));
}

using Serials = QList<qint64>;

} // namespace

class TestViews : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void systemViews()
    {
        TempRegister temp;
        fillKnownRegister(temp);
        const Register& reg = temp.reg();
        QCOMPARE(serialsOf(reg, {}), Serials({1, 2, 3, 4, 5, 6, 7, 8}));
        // Exact equality: 自己人 is somebody else, and the empty and missing
        // recipients are never "sent".
        QCOMPARE(serialsOf(reg, SystemViews::sentByMe()), Serials({1, 4, 7, 8}));
        // Containment: 自己人 is also "received"; 本地文档副本 is also "local".
        SearchCriteria received = SystemViews::receivedByMe();
        QCOMPARE(serialsOf(reg, CombinedSearch::SqlMade(received)), Serials({2, 4}));
        SearchCriteria local = SystemViews::localDocuments();
        QCOMPARE(serialsOf(reg, CombinedSearch::SqlMade(local)), Serials({3, 7}));
    }

    // The sent view is loaded as all records but those left out; it must
    // hold exactly what its own condition selects, whatever the recipients.
    void sentViewLoadedByExclusionMatchesItsCondition()
    {
        TempRegister temp;
        fillKnownRegister(temp);
        const qint64 numeric = temp.addRecord(9, QStringLiteral("n.doc"), QStringLiteral("x"));
        QVERIFY(Sql::run(temp.reg().database(),
                         QStringLiteral("UPDATE 文件管理 SET 接收人 = 5 WHERE rowid = ?"),
                         {numeric}));
        temp.addRecord(10, QStringLiteral("e.doc"), QStringLiteral(""));
        temp.addRecord(11, QStringLiteral("s.doc"), QStringLiteral("自己 "));
        const ViewSql sent = SqliteViewSql::rendered(SystemViews::sentByMe());
        QVERIFY(!sent.exceptWhere.isEmpty());
        const Serials expected =
            serialsOfKeys(temp.reg(), ViewRst::keysOf(temp.reg(), sent.plain()));
        QCOMPARE(expected, Serials({1, 4, 7, 8, 9, 11}));
        QCOMPARE(serialsOf(temp.reg(), SystemViews::sentByMe()), expected);
        // Combined with a search it is a plain condition again.
        SearchCriteria remark;
        remark.remark = QStringLiteral("50");
        const ViewCondition both =
            SystemViews::allOf(SystemViews::sentByMe(), CombinedSearch::SqlMade(remark));
        QVERIFY(SqliteViewSql::rendered(both).exceptWhere.isEmpty());
        QCOMPARE(serialsOf(temp.reg(), both), Serials({4}));
    }

    void systemViewsOfEmptyRegister()
    {
        TempRegister temp;
        QVERIFY(serialsOf(temp.reg(), SystemViews::sentByMe()).isEmpty());
        SearchCriteria received = SystemViews::receivedByMe();
        QVERIFY(serialsOf(temp.reg(), CombinedSearch::SqlMade(received)).isEmpty());
        QVERIFY(serialsOf(temp.reg(), SystemViews::folder(QStringLiteral("文件夹1"))).isEmpty());
        Result<QList<FolderMenu::Entry>> entries = FolderMenu::load(temp.reg());
        QVERIFY(entries.ok());
        QVERIFY(entries->isEmpty());
    }

    void folderViewMatchesExactly_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<Serials>("serials");
        QTest::newRow("plain") << "工作" << Serials{1, 2};
        QTest::newRow("quote") << "O'Brien" << Serials{4};
        QTest::newRow("percent") << "100%" << Serials{5};
        QTest::newRow("prefix of percent") << "100" << Serials{6};
        QTest::newRow("underscore") << "a_c" << Serials{7};
        QTest::newRow("part only") << "工" << Serials{};
        QTest::newRow("no such folder") << "文件夹1" << Serials{};
    }
    void folderViewMatchesExactly()
    {
        QFETCH(QString, folder);
        QFETCH(Serials, serials);
        TempRegister temp;
        fillKnownRegister(temp);
        QCOMPARE(serialsOf(temp.reg(), SystemViews::folder(folder)), serials);
    }

    void combinedSearch_data()
    {
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<Serials>("serials");
        QTest::addColumn<QStringList>("boxesAfter");
        auto boxes = [](std::initializer_list<std::pair<int, const char*>> filled) {
            QStringList texts(SearchCriteria::BoxCount);
            for (const auto& [box, text] : filled)
                texts[box] = QString::fromUtf8(text);
            return texts;
        };
        const QStringList none = boxes({});
        QTest::newRow("all empty") << none << Serials{1, 2, 3, 4, 5, 6, 7, 8} << none;
        QTest::newRow("name") << boxes({{0, ".doc"}}) << Serials{1, 2, 3, 4, 5, 6, 7, 8}
                              << boxes({{0, ".doc"}});
        QTest::newRow("name underscore literal")
            << boxes({{0, "e_x"}}) << Serials{5} << boxes({{0, "e_x"}});
        QTest::newRow("name quote literal")
            << boxes({{0, "d'x"}}) << Serials{4} << boxes({{0, "d'x"}});
        QTest::newRow("recipient") << boxes({{1, "本地"}}) << Serials{3, 7} << boxes({{1, "本地"}});
        QTest::newRow("method ignores ascii case")
            << boxes({{2, "EMAIL"}}) << Serials{1, 4, 7, 8} << boxes({{2, "EMAIL"}});
        QTest::newRow("remark percent literal")
            << boxes({{5, "100%"}}) << Serials{3} << boxes({{5, "100%"}});
        QTest::newRow("remark underscore literal")
            << boxes({{5, "50_50"}}) << Serials{4} << boxes({{5, "50_50"}});
        QTest::newRow("remark quote literal")
            << boxes({{5, "it's"}}) << Serials{4} << boxes({{5, "it's"}});
        QTest::newRow("folder part") << boxes({{6, "10"}}) << Serials{5, 6} << boxes({{6, "10"}});
        QTest::newRow("folder percent literal")
            << boxes({{6, "0%"}}) << Serials{5} << boxes({{6, "0%"}});
        QTest::newRow("earliest ISO")
            << boxes({{3, "2006-05-03"}}) << Serials{4, 6, 7, 8} << boxes({{3, "2006-05-03"}});
        QTest::newRow("latest includes its day")
            << boxes({{4, "2006-5-1"}}) << Serials{1, 3, 5} << boxes({{4, "2006-5-1"}});
        QTest::newRow("range with slashes")
            << boxes({{3, "2006/5/1"}, {4, "2006/5/2"}}) << Serials{1, 2, 5}
            << boxes({{3, "2006/5/1"}, {4, "2006/5/2"}});
        QTest::newRow("range with dots and 年月日")
            << boxes({{3, "2006.5.31"}, {4, "2006年6月10日"}}) << Serials{4, 8}
            << boxes({{3, "2006.5.31"}, {4, "2006年6月10日"}});
        QTest::newRow("invalid earliest dropped")
            << boxes({{0, "a.doc"}, {3, "yesterday"}}) << Serials{1} << boxes({{0, "a.doc"}});
        QTest::newRow("impossible latest dropped")
            << boxes({{4, "2006-2-30"}}) << Serials{1, 2, 3, 4, 5, 6, 7, 8} << none;
        QTest::newRow("both dates dropped")
            << boxes({{3, "昨天"}, {4, "2006-13-1"}}) << Serials{1, 2, 3, 4, 5, 6, 7, 8} << none;
        QTest::newRow("recipient and latest")
            << boxes({{1, "自己"}, {4, "2006-5-31"}}) << Serials{2}
            << boxes({{1, "自己"}, {4, "2006-5-31"}});
        QTest::newRow("every box") << boxes({{0, "doc"},
                                             {1, "张"},
                                             {2, "mail"},
                                             {3, "2006-5-1"},
                                             {4, "2006-5-1"},
                                             {5, "草稿"},
                                             {6, "工作"}})
                                   << Serials{1}
                                   << boxes({{0, "doc"},
                                             {1, "张"},
                                             {2, "mail"},
                                             {3, "2006-5-1"},
                                             {4, "2006-5-1"},
                                             {5, "草稿"},
                                             {6, "工作"}});
        QTest::newRow("boxes that exclude each other")
            << boxes({{1, "自己"}, {6, "100%"}}) << Serials{} << boxes({{1, "自己"}, {6, "100%"}});
    }
    void combinedSearch()
    {
        QFETCH(QStringList, boxes);
        QFETCH(Serials, serials);
        QFETCH(QStringList, boxesAfter);
        TempRegister temp;
        fillKnownRegister(temp);
        SearchCriteria criteria;
        for (int box = 0; box < SearchCriteria::BoxCount; ++box)
            criteria.box(box) = boxes.at(box);
        const CombinedSearch::Made made = CombinedSearch::build(criteria);
        const ViewCondition& condition = made.condition;
        QCOMPARE(serialsOf(temp.reg(), condition), serials);
        // Every box that changed was a date left out, and is named in box order.
        QStringList dropped;
        for (int box = 0; box < SearchCriteria::BoxCount; ++box) {
            QCOMPARE(made.used.box(box), boxesAfter.at(box));
            if (boxes.at(box) != boxesAfter.at(box))
                dropped << boxes.at(box);
        }
        QCOMPARE(made.ignoredDates, dropped);
        QCOMPARE(CombinedSearch::ignoredDates(criteria), dropped);
        // Typed text is bound, never part of the SQL of either kind.
        for (const ViewSql& sql :
             {SqliteViewSql::rendered(condition), PgViewSql::told(condition)}) {
            for (const QString& text : boxes) {
                if (!text.isEmpty())
                    QVERIFY2(!sql.where.contains(text), qPrintable(sql.where));
            }
        }
    }

    void folderMenuOrder()
    {
        TempRegister temp;
        qint64 serial = 0;
        auto add = [&](const QString& folder, int count) {
            for (int i = 0; i < count; ++i) {
                ++serial;
                temp.addRecord(serial, QStringLiteral("f%1").arg(serial), QStringLiteral("x"),
                               folder);
            }
        };
        add(QStringLiteral("A"), 5);
        add(QStringLiteral("B"), 2);
        add(QStringLiteral("C"), 7);
        add(QString(), 9);
        add(QStringLiteral("O'Brien"), 2);
        add(QStringLiteral("100%"), 1);
        // Undated records do not count, but their folder is still listed.
        const qint64 undated =
            temp.addRecord(++serial, QStringLiteral("u"), QStringLiteral("x"), QStringLiteral("D"));
        setNull(temp.reg(), undated, RegisterNames::date);
        const qint64 noFolder = temp.addRecord(++serial, QStringLiteral("n"), QStringLiteral("x"));
        setNull(temp.reg(), noFolder, RegisterNames::folder);

        Result<QList<FolderMenu::Entry>> entries = FolderMenu::load(temp.reg());
        QVERIFY(entries.ok());
        QStringList names;
        QList<qint64> counts;
        for (const FolderMenu::Entry& entry : *entries) {
            names << entry.name;
            counts << entry.count;
        }
        // Equal counts (B, O'Brien) in name order, the same on every rebuild.
        QCOMPARE(names, QStringList({QStringLiteral("C"), QStringLiteral("A"), QStringLiteral("B"),
                                     QStringLiteral("O'Brien"), QStringLiteral("100%"),
                                     QStringLiteral("D")}));
        QCOMPARE(counts, QList<qint64>({7, 5, 2, 2, 1, 0}));
        // Every entry opens its own records.
        for (const FolderMenu::Entry& entry : *entries)
            QCOMPARE(serialsOf(temp.reg(), SystemViews::folder(entry.name)).size(),
                     std::max<qint64>(entry.count, 1));
    }

    void allOfCombinesBoundValuesInOrder()
    {
        TempRegister temp;
        fillKnownRegister(temp);
        SearchCriteria remark;
        remark.remark = QStringLiteral("50");
        const ViewCondition both =
            SystemViews::allOf(SystemViews::sentByMe(), CombinedSearch::SqlMade(remark));
        QCOMPARE(serialsOf(temp.reg(), both), Serials({4}));
        QCOMPARE(serialsOf(temp.reg(), SystemViews::allOf({}, SystemViews::sentByMe())),
                 Serials({1, 4, 7, 8}));
    }
};

QTEST_GUILESS_MAIN(TestViews)
#include "test_views.moc"
