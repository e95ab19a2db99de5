#include "browser/CombinedSearch.h"
#include "store/RegisterNames.h"
#include "store/pg/PgSchema.h"
#include "store/sql/Sql.h"
#include "store/view/ViewRst.h"
#include "support/PgCluster.h"

#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QTest>

// A register an older version made on a server is brought up to date when
// opened: its records kept, its searches answering from the new indexes.
class TestPgSchema : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void olderRegisterUpgraded();
};

void TestPgSchema::olderRegisterUpgraded()
{
    QString whyNot;
    PgCluster* cluster = PgCluster::shared(&whyNot);
    if (!cluster && PgCluster::required())
        QFAIL(qPrintable(QStringLiteral("no PostgreSQL test server: ") + whyNot));
    if (!cluster)
        QSKIP(qPrintable(QStringLiteral("no PostgreSQL test server: ") + whyNot));
    const QString database = cluster->createDatabase();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("old"));
        db.setHostName(cluster->socketFolder());
        db.setUserName(PgCluster::user());
        db.setDatabaseName(database);
        QVERIFY(db.open());
        QVERIFY(PgSchema::migrate(db, 2));
        using namespace RegisterNames;
        const QString insert = QStringLiteral("INSERT INTO %1 (%2, %3, %4, %5) VALUES (?, ?, ?, ?)")
                                   .arg(Sql::identifier(recordTable), Sql::identifier(serial),
                                        Sql::identifier(fileName), Sql::identifier(storedName),
                                        Sql::identifier(remark));
        const QList<std::tuple<int, const char*, const char*>> records = {
            {1, "会议安排.doc", "预算总结，合同"},
            {2, "会议纪要.doc", ""},
            {3, "Report_final.PDF", "budget"},
        };
        for (const auto& [number, name, note] : records) {
            QVERIFY(Sql::run(db, insert,
                             {number, QString::fromUtf8(name), QString::fromUtf8(name),
                              QString::fromUtf8(note)}));
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("old"));

    QTemporaryDir store;
    Result<Register> reg = Register::open(cluster->url(database, store.path()));
    QVERIFY2(reg, qPrintable(reg ? QString() : reg.error().fullText()));
    int version = 0;
    QCOMPARE(PgSchema::inspect(reg->database(), &version).value(), PgSchema::State::Register);
    QCOMPARE(version, PgSchema::currentVersion);
    const QList<std::tuple<int, const char*, QList<qint64>>> searches = {
        {SearchCriteria::FileName, "会议纪", {2}},   {SearchCriteria::FileName, "议", {1, 2}},
        {SearchCriteria::FileName, "REPORT_F", {3}}, {SearchCriteria::FileName, "t_", {3}},
        {SearchCriteria::Remark, "预算总结", {1}},   {SearchCriteria::Remark, "总结合", {}},
    };
    for (const auto& [box, text, expected] : searches) {
        SearchCriteria criteria;
        criteria.box(box) = QString::fromUtf8(text);
        std::shared_ptr<ViewRst> view =
            ViewRst::open(*reg, CombinedSearch::build(criteria).condition).value();
        QList<qint64> serials;
        for (int row = 1; row <= view->recordCount(); ++row)
            serials << view->record(row)->serial.toLongLong();
        QCOMPARE(serials, expected);
    }
    reg->closeConnection();
}

QTEST_GUILESS_MAIN(TestPgSchema)
#include "test_pg_schema.moc"
