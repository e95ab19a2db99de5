#include "queries/QuerySlots.h"
#include "store/RegisterNames.h"
#include "store/sql/Sql.h"
#include "support/TempRegister.h"

#include <QSqlQuery>
#include <QTest>

namespace {

const QString table = Sql::identifier(RegisterNames::queryTable);

void exec(const Register& reg, const QString& sql, const QVariantList& values = {})
{
    Result<QSqlQuery> done = Sql::run(reg.database(), sql, values);
    if (!done)
        QFAIL(qPrintable(done.error().fullText()));
}

// Every column of every row, to show that a refused change left the table alone.
QStringList dump(const Register& reg)
{
    Result<QSqlQuery> query =
        Sql::run(reg.database(), QStringLiteral("SELECT * FROM %1 ORDER BY rowid").arg(table));
    QStringList rows;
    while (query && query->next()) {
        QStringList fields;
        for (int c = 0; c < 9; ++c)
            fields << (query->value(c).isNull() ? QStringLiteral("<null>")
                                                : query->value(c).toString());
        rows << fields.join(QLatin1Char('|'));
    }
    return rows;
}

// A table made by another program: columns that accept Null, fewer rows.
// Without `content`, the table as made before the content box.
void replaceWithNullableTable(const Register& reg, int rows, bool content = true)
{
    exec(reg, QStringLiteral("DROP TABLE %1").arg(table));
    exec(reg,
         QStringLiteral("CREATE TABLE %1 (查询名称 TEXT, 工具条标题 TEXT, 全部或部分文件名 TEXT, "
                        "全部或部分接收人名 TEXT, 备注中的一个词 TEXT, 最早发件日期 TEXT, "
                        "最晚发件日期 TEXT, 传送方式 TEXT, 全部或部分文件夹名 TEXT%2)")
             .arg(table, content ? QStringLiteral(", 文件内容中的词 TEXT") : QString()));
    for (int slot = 1; slot <= rows; ++slot)
        exec(reg, QStringLiteral("INSERT INTO %1 (查询名称) VALUES (?)").arg(table),
             {QuerySlots::defaultName(slot)});
}

} // namespace

class TestQuerySlots : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void toolbarTitleKeepsFourCharacters_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::newRow("chinese, five") << "一二三四五"
                                       << "一二三四";
        QTest::newRow("chinese, exactly four") << "合同文件"
                                               << "合同文件";
        QTest::newRow("latin") << "abcdefg"
                               << "abcd";
        QTest::newRow("mixed") << "A合B同C"
                               << "A合B同";
        QTest::newRow("empty becomes one space") << ""
                                                 << " ";
        QTest::newRow("spaces are kept") << "  "
                                         << "  ";
        QTest::newRow("outside the basic plane")
            << QStringLiteral("𠀀𠀁𠀂𠀃𠀄") << QStringLiteral("𠀀𠀁𠀂𠀃");
    }
    void toolbarTitleKeepsFourCharacters()
    {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        QCOMPARE(QuerySlots::toolbarTitle(typed), stored);

        // And through the table.
        TempRegister temp;
        QVERIFY(QuerySlots::save(temp.reg(), 5, {QStringLiteral("名"), typed, {}}).ok());
        QCOMPARE(QuerySlots::read(temp.reg(), 5)->title, stored);
    }

    void newRegisterHoldsNineEmptySlots()
    {
        TempRegister temp;
        Result<QList<QuerySlot>> slots = QuerySlots::readAll(temp.reg());
        QVERIFY(slots.ok());
        QCOMPARE(slots->size(), 9);
        for (const QuerySlot& slot : slots.value()) {
            QCOMPARE(slot.name, QuerySlots::defaultName(slot.number));
            QVERIFY(slot.isEmptySlot());
        }
        QVERIFY(!QuerySlots::needsRepair(temp.reg()).value());
    }

    void saveWritesEveryColumnOfItsSlotOnly()
    {
        TempRegister temp;
        QueryDefinition definition{QStringLiteral("我的查询"), QStringLiteral("合同"), {}};
        definition.criteria.fileName = QStringLiteral("报告");
        definition.criteria.recipient = QStringLiteral("张三");
        definition.criteria.method = QStringLiteral("Email");
        definition.criteria.earliest = QStringLiteral("2006-5-1");
        definition.criteria.latest = QStringLiteral("不是日期");
        definition.criteria.remark = QStringLiteral("第一版");
        definition.criteria.folder = QStringLiteral("项目");
        QVERIFY(QuerySlots::save(temp.reg(), 3, definition).ok());

        const QuerySlot slot = QuerySlots::read(temp.reg(), 3).value();
        QCOMPARE(slot.name, definition.name);
        QCOMPARE(slot.title, definition.title);
        for (int box = 0; box < SearchCriteria::BoxCount; ++box)
            QCOMPARE(slot.criteria.box(box), definition.criteria.box(box));
        QVERIFY(!slot.isEmptySlot());
        // The columns are the stored format: the method and remark word sit in
        // their own columns.
        QCOMPARE(Sql::scalar(temp.reg().database(),
                             QStringLiteral("SELECT 传送方式 || '/' || 备注中的一个词 FROM %1 "
                                            "WHERE rowid = 3")
                                 .arg(table))
                     ->toString(),
                 QStringLiteral("Email/第一版"));
        for (int other : {1, 2, 4, 9})
            QVERIFY(QuerySlots::read(temp.reg(), other)->isEmptySlot());
    }

    void emptyNameRefusedWithoutChange()
    {
        TempRegister temp;
        const QStringList before = dump(temp.reg());
        Status refused = QuerySlots::save(temp.reg(), 2, {QString(), QStringLiteral("x"), {}});
        QVERIFY(!refused.ok());
        QCOMPARE(refused.error().message, QStringLiteral("名称不能为空"));
        QCOMPARE(dump(temp.reg()), before);
        // A name of spaces is a name.
        QVERIFY(QuerySlots::save(temp.reg(), 2, {QStringLiteral("  "), QString(), {}}).ok());
        QCOMPARE(QuerySlots::read(temp.reg(), 2)->name, QStringLiteral("  "));
    }

    void clearKeepsTheToolbarTitle()
    {
        TempRegister temp;
        QueryDefinition definition{QStringLiteral("合同"), QStringLiteral("合同查询"), {}};
        definition.criteria.folder = QStringLiteral("合同");
        QVERIFY(QuerySlots::save(temp.reg(), 4, definition).ok());
        QVERIFY(QuerySlots::clear(temp.reg(), 4).ok());
        const QuerySlot slot = QuerySlots::read(temp.reg(), 4).value();
        QCOMPARE(slot.name, QStringLiteral("自定义查询4"));
        QCOMPARE(slot.title, QStringLiteral("合同查询"));
        QVERIFY(slot.criteria.isEmpty());
        QVERIFY(slot.isEmptySlot());
        // No Null was written.
        QVERIFY(!QuerySlots::needsRepair(temp.reg()).value());
    }

    void emptySlotTest_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("remark");
        QTest::addColumn<bool>("empty");
        QTest::newRow("default name, no criteria") << "自定义查询6"
                                                   << "" << true;
        QTest::newRow("default name and a criterion") << "自定义查询6"
                                                      << "词" << false;
        QTest::newRow("own name, no criteria") << "我的"
                                               << "" << false;
        QTest::newRow("another slot's default name") << "自定义查询5"
                                                     << "" << false;
    }
    void emptySlotTest()
    {
        QFETCH(QString, name);
        QFETCH(QString, remark);
        QFETCH(bool, empty);
        TempRegister temp;
        QueryDefinition definition{name, QStringLiteral("title"), {}};
        definition.criteria.remark = remark;
        QVERIFY(QuerySlots::save(temp.reg(), 6, definition).ok());
        QCOMPARE(QuerySlots::read(temp.reg(), 6)->isEmptySlot(), empty);
        // What the window and the command line run for the slot.
        const Result<QueryRun> run = QuerySlots::prepareRun(temp.reg(), 6);
        QVERIFY(run.ok());
        QCOMPARE(run->emptySlot, empty);
        QCOMPARE(run->caption, QStringLiteral("自定义查询6：") + name);
        QCOMPARE(run->criteria.remark, remark);
    }

    void nullsReadSafelyAndCountAsDefined()
    {
        TempRegister temp;
        replaceWithNullableTable(temp.reg(), 9);
        exec(temp.reg(),
             QStringLiteral("UPDATE %1 SET 全部或部分文件名 = '' , "
                            "全部或部分接收人名 = '', 备注中的一个词 = '', "
                            "最早发件日期 = '', 最晚发件日期 = '', 传送方式 = '', "
                            "全部或部分文件夹名 = '', 文件内容中的词 = '' WHERE rowid <> 2")
                 .arg(table));
        Result<QList<QuerySlot>> slots = QuerySlots::readAll(temp.reg());
        QVERIFY(slots.ok());
        QCOMPARE(slots->size(), 9);
        // Slot 2 holds Null criteria: read as empty texts, but not an empty slot.
        QVERIFY(slots->at(1).criteria.isEmpty());
        QVERIFY(!slots->at(1).isEmptySlot());
        // A Null toolbar title plays no part in the test.
        QVERIFY(slots->at(0).isEmptySlot());
    }

    void repairAddsMissingSlotsAndRemovesNulls()
    {
        TempRegister temp;
        replaceWithNullableTable(temp.reg(), 4);
        QVERIFY(QuerySlots::needsRepair(temp.reg()).value());
        QCOMPARE(QuerySlots::readAll(temp.reg())->size(), 4);
        QVERIFY(!QuerySlots::read(temp.reg(), 7).ok());
        // A table without the content box's column gets it.
        replaceWithNullableTable(temp.reg(), 4, false);
        QVERIFY(QuerySlots::needsRepair(temp.reg()).value());

        QVERIFY(QuerySlots::repair(temp.reg()).ok());
        QVERIFY(!QuerySlots::needsRepair(temp.reg()).value());
        Result<QList<QuerySlot>> slots = QuerySlots::readAll(temp.reg());
        QCOMPARE(slots->size(), 9);
        for (const QuerySlot& slot : slots.value()) {
            QVERIFY2(slot.isEmptySlot(), qPrintable(slot.name));
            QVERIFY(!slot.title.isEmpty());
        }
        QCOMPARE(slots->at(6).title, QStringLiteral("查询七"));
        QCOMPARE(slots->at(0).title, QStringLiteral(" "));
    }

    void moreThanNineRowsIgnoresTheRest()
    {
        TempRegister temp;
        exec(temp.reg(), QStringLiteral("INSERT INTO %1 (查询名称) VALUES ('十')").arg(table));
        QCOMPARE(QuerySlots::readAll(temp.reg())->size(), 9);
        QVERIFY(!QuerySlots::needsRepair(temp.reg()).value());
    }

    void failedWriteIsReported_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::newRow("trigger raises an error")
            << "CREATE TRIGGER refuse BEFORE UPDATE ON 自定义查询 "
               "BEGIN SELECT RAISE(ABORT, 'refused'); END";
        QTest::newRow("trigger drops the change silently")
            << "CREATE TRIGGER refuse BEFORE UPDATE ON 自定义查询 "
               "BEGIN SELECT RAISE(IGNORE); END";
        QTest::newRow("read-only connection") << "PRAGMA query_only = ON";
    }
    void failedWriteIsReported()
    {
        QFETCH(QString, setup);
        TempRegister temp;
        const QStringList before = dump(temp.reg());
        exec(temp.reg(), setup);
        Status saved = QuerySlots::save(temp.reg(), 1, {QStringLiteral("新名"), QString(), {}});
        QVERIFY(!saved.ok());
        QVERIFY(!saved.error().message.isEmpty());
        QVERIFY(!QuerySlots::clear(temp.reg(), 1).ok());
        QCOMPARE(dump(temp.reg()), before);
    }

    void slotNumbersOutsideOneToNineAreRefused()
    {
        TempRegister temp;
        for (int slot : {0, 10, -1}) {
            QVERIFY(!QuerySlots::read(temp.reg(), slot).ok());
            QVERIFY(!QuerySlots::prepareRun(temp.reg(), slot).ok());
            QVERIFY(!QuerySlots::save(temp.reg(), slot, {QStringLiteral("x"), {}, {}}).ok());
        }
    }
};

QTEST_GUILESS_MAIN(TestQuerySlots)
#include "test_query_slots.moc"
