#include "store/RecordFields.h"
#include "store/RegisterNames.h"
#include "store/sql/Sql.h"
#include "store/view/ViewConditions.h"
#include "store/view/ViewCursor.h"
#include "store/view/ViewRst.h"
#include "support/TempRegister.h"

#include <QSet>
#include <QTest>

Q_DECLARE_METATYPE(ViewCondition)

namespace {

// Serials out of rowid order, ties, and serials that are not whole numbers.
void fill(TempRegister& temp)
{
    Transaction transaction(temp.reg().database());
    for (int i = 0; i < 60; ++i)
        temp.addRecord((i * 37) % 23,
                       QStringLiteral("%1%2.doc")
                           .arg(i % 3 ? QStringLiteral("报告") : QStringLiteral("note"))
                           .arg(i),
                       i % 2 ? QStringLiteral("张三") : QStringLiteral("自己"),
                       QStringLiteral("工作"),
                       QStringLiteral("2006-03-%1").arg(i % 28 + 1, 2, 10, QLatin1Char('0')));
    const QString serial = Sql::identifier(RegisterNames::serial);
    for (const QString& odd :
         {QStringLiteral("NULL"), QStringLiteral("2.5"), QStringLiteral("'x'")})
        QVERIFY(Sql::run(temp.reg().database(),
                         QStringLiteral("UPDATE %1 SET %2 = %3 WHERE rowid = (SELECT min(rowid) "
                                        "FROM %1 WHERE typeof(%2) = 'integer')")
                             .arg(Sql::identifier(RegisterNames::recordTable), serial, odd))
                    .ok());
    QVERIFY(transaction.commit().ok());
}

} // namespace

class TestViewCursor : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The cursor gives the view's records in the view's order, whether it
    // walks the serial index, lets the planner sort, or hands over between
    // the two; and each record as ViewRst reads it.
    void followsTheView_data()
    {
        QTest::addColumn<ViewCondition>("condition");
        QTest::addColumn<int>("headRows");
        const ViewCondition name =
            ViewConditions::indexedContains(RecordField::FileName, QStringLiteral("报告1"));
        for (int headRows : {0, 1, 7, 10000}) {
            const QByteArray rows = QByteArray::number(headRows);
            QTest::newRow(QByteArray("all, head " + rows).constData())
                << ViewCondition{} << headRows;
            QTest::newRow(QByteArray("name search, head " + rows).constData()) << name << headRows;
            QTest::newRow(QByteArray("sent, head " + rows).constData())
                << ViewConditions::sentByMe() << headRows;
        }
    }
    void followsTheView()
    {
        QFETCH(ViewCondition, condition);
        QFETCH(int, headRows);
        TempRegister temp;
        fill(temp);
        Result<std::shared_ptr<ViewRst>> view = ViewRst::open(temp.reg(), condition);
        QVERIFY(view.ok());
        QVERIFY(view.value()->recordCount() > 5);

        ViewCursor cursor(temp.reg(), condition, headRows);
        int position = 0;
        while (cursor.next()) {
            const std::optional<RegisterRecord> expected = view.value()->record(++position);
            QVERIFY(expected);
            const RegisterRecord record = cursor.record();
            QCOMPARE(record.rowid, expected->rowid);
            QCOMPARE(record.serial, expected->serial);
            for (int column = 0; column < RegisterRecord::ColumnCount; ++column)
                QCOMPARE(record.text(column), expected->text(column));
        }
        QVERIFY(!cursor.failed());
        QCOMPARE(position, view.value()->recordCount());
    }

    // Each field has a grid column and a place in listings of its own.
    void fieldsTakeOneColumnEach()
    {
        QSet<int> grid;
        QSet<int> output;
        for (const RecordFields::Field& field : RecordFields::all()) {
            grid << field.gridColumn;
            output << field.outputPosition;
            QCOMPARE(&RecordFields::atGridColumn(field.gridColumn), &RecordFields::of(field.field));
        }
        QCOMPARE(grid.size(), RecordFields::count);
        QCOMPARE(output.size(), RecordFields::count);
    }
};

QTEST_GUILESS_MAIN(TestViewCursor)
#include "test_view_cursor.moc"
