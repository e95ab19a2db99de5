#include "queries/QuerySlots.h"
#include "support/CliRun.h"
#include "support/TempRegister.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

namespace {

using Run = CliRun;

Run cli(const TempRegister& temp, const QStringList& arguments)
{
    return runCommandLine(temp.folder(), arguments);
}

// Arguments separated by "|", so an empty argument can be written.
QStringList args(const char16_t* joined)
{
    return QString::fromUtf16(joined).split(QLatin1Char('|'));
}

} // namespace

class TestQueryCommands : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void setListAndClear()
    {
        TempRegister temp;
        Run set =
            cli(temp, {QStringLiteral("query-set"), QStringLiteral("3"), QStringLiteral("--name"),
                       QStringLiteral("合同 查询"), QStringLiteral("--title"),
                       QStringLiteral("合同文件夹"), QStringLiteral("--in-folder"),
                       QStringLiteral("合同"), QStringLiteral("--method"), QStringLiteral("QQ")});
        QCOMPARE(set.status, 0);
        QVERIFY(set.out.contains(QStringLiteral("自定义查询3修改成功")));
        QuerySlot slot = QuerySlots::read(temp.reg(), 3).value();
        QCOMPARE(slot.name, QStringLiteral("合同 查询"));
        QCOMPARE(slot.title, QStringLiteral("合同文件"));
        QCOMPARE(slot.criteria.folder, QStringLiteral("合同"));
        QCOMPARE(slot.criteria.method, QStringLiteral("QQ"));

        // Options not given keep their values; "" empties one.
        set = cli(temp, {QStringLiteral("query-set"), QStringLiteral("3"), QStringLiteral("--name"),
                         QStringLiteral("合同"), QStringLiteral("--method"), QString()});
        QCOMPARE(set.status, 0);
        slot = QuerySlots::read(temp.reg(), 3).value();
        QCOMPARE(slot.title, QStringLiteral("合同文件"));
        QCOMPARE(slot.criteria.folder, QStringLiteral("合同"));
        QCOMPARE(slot.criteria.method, QString());
        // The toolbar title alone changes only the title.
        QCOMPARE(cli(temp, args(u"query-set|3|--title|合同文件")).status, 0);
        slot = QuerySlots::read(temp.reg(), 3).value();
        QCOMPARE(slot.name, QStringLiteral("合同"));
        QCOMPARE(slot.criteria.folder, QStringLiteral("合同"));

        Run list = cli(
            temp, {QStringLiteral("queries"), QStringLiteral("--format"), QStringLiteral("json")});
        QCOMPARE(list.status, 0);
        const QJsonArray slots = QJsonDocument::fromJson(list.out.toUtf8()).array();
        QCOMPARE(slots.size(), 9);
        QCOMPARE(slots.at(2).toObject().value(QStringLiteral("name")).toString(),
                 QStringLiteral("合同"));
        QCOMPARE(slots.at(2).toObject().value(QStringLiteral("empty")).toBool(), false);
        QCOMPARE(slots.at(8).toObject().value(QStringLiteral("empty")).toBool(), true);
        list = cli(temp, {QStringLiteral("queries")});
        QCOMPARE(list.status, 0);
        QCOMPARE(list.out.count(QLatin1Char('\n')), 10);

        Run cleared = cli(temp, {QStringLiteral("query-clear"), QStringLiteral("3")});
        QCOMPARE(cleared.status, 0);
        slot = QuerySlots::read(temp.reg(), 3).value();
        QVERIFY(slot.isEmptySlot());
        QCOMPARE(slot.title, QStringLiteral("合同文件"));
    }

    void refusals_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::newRow("empty name") << args(u"query-set|1|--name|") << 1;
        QTest::newRow("nothing to change") << args(u"query-set|1") << 2;
        QTest::newRow("slot 0") << args(u"query|0") << 2;
        QTest::newRow("slot 10") << args(u"query-clear|10") << 2;
        QTest::newRow("not a number") << args(u"query|二") << 2;
        QTest::newRow("bad format") << args(u"query|1|--format|xml") << 2;
    }
    void refusals()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        TempRegister temp;
        Run run = cli(temp, arguments);
        QCOMPARE(run.status, status);
        QVERIFY(!run.err.isEmpty());
        QVERIFY(QuerySlots::read(temp.reg(), 1)->isEmptySlot());
    }

    void queryRunsTheSlotThroughTheCombinedSearch()
    {
        TempRegister temp;
        temp.addRecord(1, QStringLiteral("报告.doc"), QStringLiteral("张三"),
                       QStringLiteral("项目"), QStringLiteral("2020-01-02"),
                       QStringLiteral("第一版"), QStringLiteral("Email"));
        temp.addRecord(2, QStringLiteral("合同.pdf"), QStringLiteral("自己"),
                       QStringLiteral("合同"), QStringLiteral("2021-06-01"),
                       QStringLiteral("QQ收到"), QStringLiteral("QQ"));
        QCOMPARE(
            cli(temp, {QStringLiteral("query-set"), QStringLiteral("9"), QStringLiteral("--name"),
                       QStringLiteral("QQ的"), QStringLiteral("--method"), QStringLiteral("QQ"),
                       QStringLiteral("--from"), QStringLiteral("不是日期")})
                .status,
            0);
        Run run = cli(temp, {QStringLiteral("query"), QStringLiteral("9"),
                             QStringLiteral("--format"), QStringLiteral("tsv")});
        QCOMPARE(run.status, 0);
        const QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines.at(1).contains(QStringLiteral("合同.pdf")));
        QVERIFY(run.err.contains(QStringLiteral("不是日期")));

        // An empty slot lists every record, with a note.
        run = cli(temp, {QStringLiteral("query"), QStringLiteral("1")});
        QCOMPARE(run.status, 0);
        QVERIFY(run.out.startsWith(QStringLiteral("自定义查询1：自定义查询1")));
        QVERIFY(run.out.contains(QStringLiteral("（2 条记录）")));
        QVERIFY(run.err.contains(QStringLiteral("还未设置")));
    }
};

QTEST_GUILESS_MAIN(TestQueryCommands)
#include "test_query_commands.moc"
