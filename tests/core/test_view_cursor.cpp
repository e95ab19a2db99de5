#include "store/RecordFields.h"
#include "store/RegisterNames.h"
#include "store/sql/Sql.h"
#include "store/view/ViewConditions.h"
#include "store/view/ViewCursor.h"
#include "store/view/ViewRst.h"
#include "support/TempRegister.h"

#include <QSet>
#include <QSqlDatabase>
#include <QTest>

#include <functional>
#include <memory>

Q_DECLARE_METATYPE(ViewCondition)

namespace {

// `count` records: serials out of rowid order, ties, and serials that are
// not whole numbers.
void fill(TempRegister& temp, int count)
{
    Transaction transaction(temp.reg().database());
    for (int i = 0; i < count; ++i)
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

// Steps the cursor to its end: the view's records in the view's order, each
// as ViewRst reads it. `stepped` hears of each row.
void followView(ViewCursor& cursor, ViewRst& view, const std::function<void(int)>& stepped = {})
{
    int position = 0;
    while (cursor.next()) {
        const std::optional<RegisterRecord> expected = view.record(++position);
        QVERIFY(expected);
        const RegisterRecord record = cursor.record();
        QCOMPARE(record.rowid, expected->rowid);
        QCOMPARE(record.serial, expected->serial);
        for (int column = 0; column < RegisterRecord::ColumnCount; ++column)
            QCOMPARE(record.text(column), expected->text(column));
        if (stepped)
            stepped(position);
    }
    QVERIFY(!cursor.failed());
    QCOMPARE(position, view.recordCount());
}

// Enough records that the matches of a search are marked and walked rather
// than sorted.
constexpr int manyRecords = 9000;

} // namespace

class TestViewCursor : public QObject {
    Q_OBJECT
    std::unique_ptr<TempRegister> m_many;

    // One register of many records, filled once.
    TempRegister& many()
    {
        if (!m_many) {
            m_many = std::make_unique<TempRegister>();
            fill(*m_many, manyRecords);
        }
        return *m_many;
    }

private Q_SLOTS:
    // The cursor gives the view's records in the view's order, whether it
    // walks the serial index, lets the planner sort, or hands over between
    // the two; and each record as ViewRst reads it.
    void followsTheView_data()
    {
        QTest::addColumn<ViewCondition>("condition");
        QTest::addColumn<int>("headRows");
        QTest::addColumn<int>("records");
        const ViewCondition name =
            ViewConditions::indexedContains(RecordField::FileName, QStringLiteral("报告1"));
        for (int headRows : {0, 1, 7, 10000}) {
            const QByteArray rows = QByteArray::number(headRows);
            QTest::newRow(QByteArray("all, head " + rows).constData())
                << ViewCondition{} << headRows << 60;
            QTest::newRow(QByteArray("name search, head " + rows).constData())
                << name << headRows << 60;
            QTest::newRow(QByteArray("sent, head " + rows).constData())
                << ViewConditions::sentByMe() << headRows << 60;
        }
        // Matches from the value table, the character index and the trigrams.
        for (const auto& [field, text] :
             {std::pair{RecordField::Recipient, "张"}, std::pair{RecordField::FileName, "报告"},
              std::pair{RecordField::FileName, "doc"}}) {
            for (int headRows : {0, 7}) {
                QTest::addRow("many: %s, head %d", text, headRows)
                    << ViewConditions::indexedContains(field, QString::fromUtf8(text)) << headRows
                    << manyRecords;
            }
        }
        // The name's matches marked, the recipient tested on each of them.
        QTest::newRow("many: recipient and name")
            << ViewConditions::allOf(
                   ViewConditions::indexedContains(RecordField::Recipient, QStringLiteral("张")),
                   ViewConditions::indexedContains(RecordField::FileName, QStringLiteral("报告")))
            << 0 << manyRecords;
    }
    void followsTheView()
    {
        QFETCH(ViewCondition, condition);
        QFETCH(int, headRows);
        QFETCH(int, records);
        TempRegister few;
        if (records != manyRecords)
            fill(few, records);
        const Register& reg = records == manyRecords ? many().reg() : few.reg();
        Result<std::shared_ptr<ViewRst>> view = ViewRst::open(reg, condition);
        QVERIFY(view.ok());
        QVERIFY(view.value()->recordCount() > 5);

        ViewCursor cursor(reg, condition, headRows);
        followView(cursor, *view.value());
    }

    // Records another program adds while the listing runs, before the head
    // start hands over, are not part of it.
    void readsOneState()
    {
        const TempRegister& temp = many();
        const ViewCondition condition =
            ViewConditions::indexedContains(RecordField::FileName, QStringLiteral("doc"));
        Result<std::shared_ptr<ViewRst>> view = ViewRst::open(temp.reg(), condition);
        QVERIFY(view.ok());
        QSqlDatabase other =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("readsOneState"));
        other.setDatabaseName(temp.reg().databasePath());
        QVERIFY(other.open());

        ViewCursor cursor(temp.reg(), condition, 7);
        followView(cursor, *view.value(), [&](int position) {
            if (position != 3)
                return;
            for (qint64 serial : {-1, 5, 100000})
                QVERIFY(Sql::run(other,
                                 QStringLiteral("INSERT INTO %1 (%2, %3) VALUES (?, 'new.doc')")
                                     .arg(Sql::identifier(RegisterNames::recordTable),
                                          Sql::identifier(RegisterNames::serial),
                                          Sql::identifier(RegisterNames::fileName)),
                                 {serial})
                            .ok());
        });
        other.close();
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
