#include "browser/BackgroundSearch.h"
#include "browser/CombinedSearch.h"
#include "browser/FolderMenu.h"
#include "store/RecordFields.h"
#include "store/RegisterNames.h"
#include "store/sql/Sql.h"
#include "store/sqlite/Schema.h"
#include "store/view/SearchIndexes.h"
#include "store/view/SqliteViewSql.h"
#include "store/view/ViewConditions.h"
#include "store/view/ViewRst.h"
#include "support/TempRegister.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

namespace {

QList<qint64> keysOf(Result<QList<qint64>> keys)
{
    if (!keys) {
        qWarning() << keys.error().fullText();
        return {-1};
    }
    return keys.value();
}

QList<qint64> keysOf(const Register& reg, const ViewCondition& condition)
{
    return keysOf(ViewRst::loadKeys(reg, condition));
}

// The keys of a condition in SQLite's words, through whichever faster form it has.
QList<qint64> keysOf(const Register& reg, const ViewSql& condition)
{
    return keysOf(ViewRst::keysOf(reg, condition));
}

// Texts that trip naive matching: wildcards and quotes, ASCII and non-ASCII
// case, Chinese, emoji (a surrogate pair), empty and NULL.
const QStringList names = {
    QStringLiteral("会议纪要2019.docx"),
    QStringLiteral("100%_done.TXT"),
    QStringLiteral("it's \"quoted\".pdf"),
    QStringLiteral("Back\\slash%x_y"),
    QStringLiteral("ÄRGER äpfel.doc"),
    QStringLiteral("会议纪要ABCdef"),
    QStringLiteral("abc"),
    QStringLiteral("报告😀附件"),
    QString(),
    QStringLiteral(""),
    QStringLiteral("100x_done"),
    QStringLiteral("预算总结 会议"),
    // Trigrams of "abcd" apart; letters that fold to ASCII beyond it (the
    // Kelvin sign, the long s).
    QStringLiteral("abc-bcd \u212Aelvin \u017Ftop"),
};
const QStringList people = {QStringLiteral("张伟"),
                            QStringLiteral("自己"),
                            QStringLiteral("本地文档"),
                            QStringLiteral("O'Brien"),
                            QStringLiteral("50%_off"),
                            QStringLiteral("ZHANG wei"),
                            QString(),
                            QStringLiteral("")};
const QStringList methods = {QStringLiteral("Email"), QStringLiteral("QQ"), QStringLiteral("传真"),
                             QStringLiteral("e_mail%"), QString()};
const QStringList folders = {QStringLiteral("报告资料"),
                             QStringLiteral("会议&资料"),
                             QStringLiteral("A_B"),
                             QStringLiteral(""),
                             QString(),
                             QStringLiteral("a%b")};

void setColumn(const Register& reg, qint64 rowid, const QString& column, const QVariant& value)
{
    Result<QSqlQuery> done =
        Sql::run(reg.database(),
                 QStringLiteral("UPDATE %1 SET %2 = ? WHERE rowid = ?")
                     .arg(Sql::identifier(RegisterNames::recordTable), Sql::identifier(column)),
                 {value, rowid});
    QVERIFY(done.ok());
}

// Every combination shows up: names and remarks cycle through the texts, the
// other columns at different strides, NULLs put in afterwards.
void fill(TempRegister& temp, int count)
{
    for (int i = 0; i < count; ++i) {
        const QString name = names.at(i % names.size());
        const QString remark = names.at((i * 7 + 3) % names.size());
        const qint64 rowid = temp.addRecord(
            count - i, name, people.at(i % people.size()), folders.at((i / 2) % folders.size()),
            i % 5 == 0 ? QString() : QStringLiteral("2020-01-%1").arg(i % 28 + 1), remark,
            methods.at((i / 3) % methods.size()));
        if (names.at(i % names.size()).isNull())
            setColumn(temp.reg(), rowid, RegisterNames::fileName, QVariant());
        if (i % 5 == 0)
            setColumn(temp.reg(), rowid, RegisterNames::date, QVariant());
        for (const auto& [column, list, index] :
             {std::tuple{RegisterNames::recipient, &people, i % people.size()},
              std::tuple{RegisterNames::method, &methods, (i / 3) % methods.size()},
              std::tuple{RegisterNames::folder, &folders, (i / 2) % folders.size()}}) {
            if (list->at(index).isNull())
                setColumn(temp.reg(), rowid, column, QVariant());
        }
    }
}

// The counts the value table must hold, recomputed from the records.
QList<QVariantList> rows(const Register& reg, const QString& sql)
{
    QList<QVariantList> result;
    Result<QSqlQuery> query = Sql::run(reg.database(), sql);
    if (!query)
        return {{query.error().fullText()}};
    while (query->next())
        result.append({query->value(0), query->value(1), query->value(2), query->value(3)});
    return result;
}

void verifyExact(const Register& reg)
{
    QVERIFY(SearchIndexes::complete(reg.database()));
    QString recount;
    for (const QString& column :
         {RegisterNames::method, RegisterNames::recipient, RegisterNames::folder}) {
        if (!recount.isEmpty())
            recount += QStringLiteral(" UNION ALL ");
        recount += QStringLiteral("SELECT '%1', %2, count(*), count(发件日期) FROM 文件管理 WHERE "
                                  "%2 IS NOT NULL GROUP BY %2")
                       .arg(column, Sql::identifier(column));
    }
    const QList<QVariantList> expected =
        rows(reg, QStringLiteral("SELECT * FROM (%1) ORDER BY 1, 2").arg(recount));
    const QList<QVariantList> kept =
        rows(reg, QStringLiteral("SELECT 栏目, 值, 记录数, 有日期数 FROM 文件管理_取值 "
                                 "ORDER BY 1, 2"));
    QCOMPARE(kept, expected);
    // The text indexes agree with the records they were made from.
    for (const QString& table : {SearchIndexes::nameText, SearchIndexes::remarkText,
                                 SearchIndexes::nameCharacters, SearchIndexes::remarkCharacters}) {
        Result<QSqlQuery> checked =
            Sql::run(reg.database(),
                     QStringLiteral("INSERT INTO %1 (%1, rank) VALUES ('integrity-check', 1)")
                         .arg(Sql::identifier(table)));
        QVERIFY2(checked.ok(), qPrintable(checked ? QString() : checked.error().fullText()));
    }
}

const QStringList terms = {
    QStringLiteral("会"),
    QStringLiteral("会议"),
    QStringLiteral("会议纪"),
    QStringLiteral("会议纪要"),
    QStringLiteral("%"),
    QStringLiteral("_"),
    QStringLiteral("%_d"),
    QStringLiteral("100%_"),
    QStringLiteral("'s \"q"),
    QStringLiteral("\""),
    QStringLiteral("\\"),
    QStringLiteral("k\\sl"),
    QStringLiteral("ärger"),
    QStringLiteral("ÄRG"),
    QStringLiteral("abc"),
    QStringLiteral("ABC"),
    QStringLiteral("aBcD"),
    QStringLiteral("😀附"),
    QStringLiteral("告😀附件"),
    QStringLiteral("x_y"),
    QStringLiteral("zzz"),
    QStringLiteral("张"),
    QStringLiteral("zhang"),
    QStringLiteral("o'b"),
    QStringLiteral("资料"),
    QStringLiteral("&"),
    QStringLiteral("a%b"),
    QStringLiteral("e_m"),
    QStringLiteral("mail"),
    QStringLiteral("A_b"),
    QStringLiteral("预算总结 会议"),
    QStringLiteral("2019.docx"),
    QStringLiteral("abcd"),
    QStringLiteral("kel"),
    QStringLiteral("sto"),
    // One and two characters: ASCII case, a value's last character, a space,
    // a character outside ASCII whose case LIKE leaves alone, a surrogate pair.
    QStringLiteral("A"),
    QStringLiteral("aB"),
    QStringLiteral("y"),
    QStringLiteral("_y"),
    QStringLiteral(" "),
    QStringLiteral("e "),
    QStringLiteral("Ä"),
    QStringLiteral("ä"),
    QStringLiteral("😀"),
    QStringLiteral("%_"),
    QStringLiteral("\\s"),
    QStringLiteral("件"),
};

void verifySameAsPlain(const Register& reg)
{
    for (const QString& term : terms) {
        for (int box : {SearchCriteria::FileName, SearchCriteria::Recipient, SearchCriteria::Method,
                        SearchCriteria::Remark, SearchCriteria::Folder}) {
            SearchCriteria indexed;
            indexed.box(box) = term;
            SearchCriteria plain = indexed;
            const QList<qint64> fast =
                keysOf(reg, CombinedSearch::SqlMade(indexed, CombinedSearch::Matching::Indexed));
            const QList<qint64> slow =
                keysOf(reg, CombinedSearch::SqlMade(plain, CombinedSearch::Matching::Plain));
            if (fast != slow)
                qWarning() << "box" << box << "term" << term;
            QCOMPARE(fast, slow);
            // Keys read from an index and put in order by a walk, as many
            // matches are, whatever their number here.
            ViewSql walked = SqliteViewSql::rendered(CombinedSearch::SqlMade(indexed));
            if (!walked.keysSql.isEmpty()) {
                walked.keysWorthSql.clear();
                QCOMPARE(keysOf(reg, walked), slow);
            }
            // The record-by-record form the first screen reads.
            QCOMPARE(keysOf(reg, walked.scan()), slow);
        }
    }
    // Criteria combined, with a date range among them.
    SearchCriteria indexed;
    indexed.fileName = QStringLiteral("会");
    indexed.remark = QStringLiteral("s");
    indexed.folder = QStringLiteral("资料");
    indexed.earliest = QStringLiteral("2020-01-03");
    indexed.method = QStringLiteral("m");
    SearchCriteria plain = indexed;
    const ViewCondition combined = CombinedSearch::SqlMade(indexed);
    const QList<qint64> slow =
        keysOf(reg, CombinedSearch::SqlMade(plain, CombinedSearch::Matching::Plain));
    QCOMPARE(keysOf(reg, combined), slow);
    QCOMPARE(keysOf(reg, SqliteViewSql::rendered(combined).scan()), slow);
}

// The folder menu as it used to be counted, from every record.
QList<FolderMenu::Entry> countedMenu(const Register& reg)
{
    QList<FolderMenu::Entry> entries;
    Result<QSqlQuery> query =
        Sql::run(reg.database(), QStringLiteral("SELECT 文件夹, count(发件日期) AS n FROM 文件管理 "
                                                "WHERE 文件夹 <> '' GROUP BY 文件夹 ORDER BY n "
                                                "DESC, 文件夹"));
    while (query && query->next())
        entries.append({query->value(0).toString(), query->value(1).toLongLong()});
    return entries;
}

void verifyMenu(const Register& reg)
{
    Result<QList<FolderMenu::Entry>> menu = FolderMenu::load(reg);
    QVERIFY(menu.ok());
    const QList<FolderMenu::Entry> expected = countedMenu(reg);
    QCOMPARE(menu->size(), expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i) {
        QCOMPARE(menu->at(i).name, expected.at(i).name);
        QCOMPARE(menu->at(i).count, expected.at(i).count);
    }
}

// The record table as it was before it had an identity column: the same
// rowids, indexes and triggers, no INTEGER PRIMARY KEY.
void dropIdentity(const Register& reg)
{
    QSqlQuery query(reg.database());
    QStringList steps = {
        QStringLiteral("CREATE TABLE 旧表 (%1)").arg(RecordFields::declared()),
        QStringLiteral("INSERT INTO 旧表 (rowid, %1) SELECT rowid, %1 FROM 文件管理")
            .arg(RecordFields::columns().join(QStringLiteral(", ")))};
    QVERIFY(query.exec(QStringLiteral("SELECT sql FROM sqlite_master WHERE tbl_name = '文件管理' "
                                      "AND sql IS NOT NULL AND type IN ('index', 'trigger')")));
    QStringList dependents;
    while (query.next())
        dependents << query.value(0).toString();
    steps << QStringLiteral("DROP TABLE 文件管理")
          << QStringLiteral("ALTER TABLE 旧表 RENAME TO 文件管理") << dependents
          << QStringLiteral("PRAGMA user_version = 3");
    for (const QString& sql : steps)
        QVERIFY2(query.exec(sql), qPrintable(sql));
}

} // namespace

class TestSearchIndexes : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void indexedSearchesMatchPlainOnes();
    void olderRegisterGetsIndexesThatStayExact();
    void damagedIndexesAreRebuilt();
    void identityIsAddedKeepingRowidsAndIndexes();
    void broadTermsLoadAsAllButTheRest();
    void newerSearchCancelsOlder();
};

void TestSearchIndexes::indexedSearchesMatchPlainOnes()
{
    TempRegister temp;
    fill(temp, 120);
    verifyExact(temp.reg());
    verifySameAsPlain(temp.reg());
    verifyMenu(temp.reg());
    // The search did use the indexes: the text index answers a term of three
    // characters or more, the value table the other columns.
    SearchCriteria criteria;
    criteria.fileName = QStringLiteral("会议纪");
    criteria.recipient = QStringLiteral("张");
    const ViewSql condition = SqliteViewSql::rendered(CombinedSearch::SqlMade(criteria));
    QVERIFY(condition.where.contains(SearchIndexes::nameText));
    QVERIFY(condition.where.contains(SearchIndexes::valueTable));
    // Short terms go to the character index; the keys come by a walk over
    // all records only when enough records match.
    for (const auto& [term, many] :
         {std::pair{QStringLiteral("会"), true}, std::pair{QStringLiteral("会议"), true},
          std::pair{QStringLiteral("鑫"), false}}) {
        criteria = {};
        criteria.remark = term;
        const ViewSql shortTerm = SqliteViewSql::rendered(CombinedSearch::SqlMade(criteria));
        QVERIFY(shortTerm.where.contains(SearchIndexes::remarkCharacters));
        Result<QVariant> worth =
            Sql::scalar(temp.reg().database(), shortTerm.keysWorthSql, shortTerm.keysWorthValues);
        QVERIFY(worth.ok());
        QCOMPARE(worth->toInt() == 1, many);
    }
}

// A term of the recipient, method or folder box that matches most records
// loads the view as all records but the others; the result is the plain one,
// NULL and empty values included.
void TestSearchIndexes::broadTermsLoadAsAllButTheRest()
{
    TempRegister temp;
    const QStringList values = {QStringLiteral("资料A"),
                                QStringLiteral("资料A"),
                                QStringLiteral("资料B"),
                                QStringLiteral("资料_C"),
                                QStringLiteral("其他"),
                                QStringLiteral(""),
                                QString()};
    for (int i = 0; i < 70; ++i) {
        const QString value = values.at(i % values.size());
        const qint64 rowid = temp.addRecord(70 - i, QStringLiteral("f%1").arg(i), value, value,
                                            QStringLiteral("2020-01-02"), QString(), value);
        if (value.isNull()) {
            for (const QString& column :
                 {RegisterNames::recipient, RegisterNames::method, RegisterNames::folder})
                setColumn(temp.reg(), rowid, column, QVariant());
        }
    }
    for (int box : {SearchCriteria::Recipient, SearchCriteria::Method, SearchCriteria::Folder}) {
        for (const auto& [term, broad] :
             {std::pair{QStringLiteral("资"), true}, std::pair{QStringLiteral("资料"), true},
              std::pair{QStringLiteral("料A"), false}, std::pair{QStringLiteral("_"), false},
              std::pair{QStringLiteral("其"), false}}) {
            SearchCriteria indexed;
            indexed.box(box) = term;
            SearchCriteria plain = indexed;
            const ViewSql condition = SqliteViewSql::rendered(CombinedSearch::SqlMade(indexed));
            QVERIFY(!condition.exceptWorthSql.isEmpty());
            Result<QVariant> worth = Sql::scalar(temp.reg().database(), condition.exceptWorthSql,
                                                 condition.exceptWorthValues);
            QVERIFY(worth.ok());
            QCOMPARE(worth->toInt() == 1, broad);
            QCOMPARE(keysOf(temp.reg(), condition),
                     keysOf(temp.reg(),
                            CombinedSearch::SqlMade(plain, CombinedSearch::Matching::Plain)));
        }
    }
}

void TestSearchIndexes::olderRegisterGetsIndexesThatStayExact()
{
    TempRegister temp;
    fill(temp, 60);
    // Make it look like a register of the first version: no indexes, no side
    // tables, no triggers, then records added that no trigger saw.
    {
        QSqlDatabase db = temp.reg().database();
        QSqlQuery query(db);
        for (const char* sql : {"DROP TRIGGER 文件管理_索引_新增",
                                "DROP TRIGGER 文件管理_索引_删除",
                                "DROP TRIGGER 文件管理_取值_修改",
                                "DROP TRIGGER 文件管理_文件名全文_修改",
                                "DROP TRIGGER 文件管理_备注全文_修改",
                                "DROP TABLE 文件管理_取值",
                                "DROP TABLE 文件管理_文件名全文",
                                "DROP TABLE 文件管理_备注全文",
                                "DROP INDEX 文件管理_文件夹",
                                "DROP INDEX 文件管理_接收人",
                                "DROP INDEX 文件管理_传送方式",
                                "DROP TABLE 文件管理_文件名字符",
                                "DROP TABLE 文件管理_备注字符",
                                "DROP TRIGGER 文件管理_文件名字符_新增",
                                "DROP TRIGGER 文件管理_文件名字符_删除",
                                "DROP TRIGGER 文件管理_文件名字符_修改",
                                "DROP TRIGGER 文件管理_备注字符_新增",
                                "DROP TRIGGER 文件管理_备注字符_删除",
                                "DROP TRIGGER 文件管理_备注字符_修改",
                                "PRAGMA user_version = 2"})
            QVERIFY2(query.exec(QString::fromUtf8(sql)), sql);
    }
    temp.addRecord(500, QStringLiteral("旧版会议纪要"), QStringLiteral("李四"),
                   QStringLiteral("旧资料"));
    temp.reg().closeConnection();

    // The update tells of every step, in order, so a window can show how far it is.
    QList<int> steps;
    int total = 0;
    Result<Register> reopened =
        Register::open(temp.folder(), Register::Mode::MustExist, [&](int step, int of) {
            steps << step;
            total = of;
        });
    QVERIFY(reopened.ok());
    const Register& reg = reopened.value();
    QCOMPARE(Sql::scalar(reg.database(), QStringLiteral("PRAGMA user_version"))->toInt(),
             Schema::currentVersion);
    QVERIFY(total > 1);
    QCOMPARE(steps.size(), total);
    for (int i = 0; i < steps.size(); ++i)
        QCOMPARE(steps.at(i), i);
    // Once up to date, opening has nothing to tell.
    reg.closeConnection();
    bool told = false;
    QVERIFY(Register::open(temp.folder(), Register::Mode::MustExist, [&](int, int) {
                told = true;
            }).ok());
    QVERIFY(!told);
    verifyExact(reg);
    verifySameAsPlain(reg);

    // Every kind of change keeps them exact: insert, update of each column,
    // delete, and a change rolled back.
    temp.addRecord(501, QStringLiteral("新增ABC记录"), QStringLiteral("王五"),
                   QStringLiteral("报告资料"), QStringLiteral("2021-05-06"),
                   QStringLiteral("预算总结"), QStringLiteral("QQ"));
    Result<QSqlQuery> updated =
        Sql::run(reg.database(),
                 QStringLiteral(
                     "UPDATE 文件管理 SET 文件名 = 文件名 || 'xyz', 备注 = '改过的备注', 接收人 = "
                     "'赵六', 传送方式 = NULL, 文件夹 = '新文件夹', 发件日期 = NULL "
                     "WHERE 文件序号 % 3 = 0"));
    QVERIFY(updated.ok());
    Result<QSqlQuery> moved =
        Sql::run(reg.database(),
                 QStringLiteral("UPDATE 文件管理 SET 文件夹 = '报告资料' WHERE 文件序号 % 4 = 1"));
    QVERIFY(moved.ok());
    Result<QSqlQuery> removed =
        Sql::run(reg.database(), QStringLiteral("DELETE FROM 文件管理 WHERE 文件序号 % 5 = 2"));
    QVERIFY(removed.ok());
    {
        Transaction transaction(reg.database());
        QVERIFY(transaction.started());
        QVERIFY(Sql::run(reg.database(), QStringLiteral("DELETE FROM 文件管理")).ok());
        temp.addRecord(900, QStringLiteral("回滚的记录"), QStringLiteral("回滚"));
    }
    verifyExact(reg);
    verifySameAsPlain(reg);
    verifyMenu(reg);
    SearchCriteria criteria;
    criteria.fileName = QStringLiteral("xyz");
    QVERIFY(!keysOf(reg, CombinedSearch::SqlMade(criteria)).isEmpty());
    criteria.fileName = QStringLiteral("回滚的");
    QVERIFY(keysOf(reg, CombinedSearch::SqlMade(criteria)).isEmpty());
}

// A part missing (a trigger lost, or the character indexes of a register
// made before them) is built again, and counts what was changed without it.
void TestSearchIndexes::damagedIndexesAreRebuilt()
{
    // A register made before the character indexes has none of their parts.
    QStringList older = {QStringLiteral("DROP TABLE 文件管理_文件名字符"),
                         QStringLiteral("DROP TABLE 文件管理_备注字符")};
    for (const char* field : {"文件名", "备注"}) {
        for (const char* change : {"新增", "删除", "修改"})
            older << QStringLiteral("DROP TRIGGER 文件管理_%1字符_%2")
                         .arg(QString::fromUtf8(field), QString::fromUtf8(change));
    }
    // Before positions were kept, the name index offered only candidates.
    const QStringList withoutPositions = {
        QStringLiteral("DROP TABLE 文件管理_文件名全文"),
        QStringLiteral("CREATE VIRTUAL TABLE 文件管理_文件名全文 USING fts5(文件名, "
                       "content='文件管理', content_rowid='rowid', tokenize='trigram', "
                       "detail=none)"),
        QStringLiteral("INSERT INTO 文件管理_文件名全文 (文件管理_文件名全文) VALUES ('rebuild')")};
    const QList<QStringList> damages = {
        {QStringLiteral("DROP TRIGGER 文件管理_索引_新增")},
        withoutPositions,
        {QStringLiteral("DROP TRIGGER 文件管理_文件名字符_修改")},
        older,
    };
    for (const QStringList& damage : damages) {
        TempRegister temp;
        fill(temp, 30);
        {
            QSqlQuery query(temp.reg().database());
            for (const QString& sql : damage)
                QVERIFY2(query.exec(sql), qPrintable(sql));
        }
        temp.addRecord(99, QStringLiteral("无人记录的文件"), QStringLiteral("孙七"));
        QVERIFY(Sql::run(temp.reg().database(),
                         QStringLiteral("UPDATE 文件管理 SET 文件名 = 'Ü_%9', 备注 = NULL "
                                        "WHERE 文件序号 % 4 = 1"))
                    .ok());
        QVERIFY(!SearchIndexes::complete(temp.reg().database()));
        temp.reg().closeConnection();
        Result<Register> reopened = Register::open(temp.folder(), Register::Mode::MustExist);
        QVERIFY(reopened.ok());
        verifyExact(reopened.value());
        verifySameAsPlain(reopened.value());
    }
}

void TestSearchIndexes::identityIsAddedKeepingRowidsAndIndexes()
{
    TempRegister temp;
    fill(temp, 60);
    dropIdentity(temp.reg());
    QVERIFY(SearchIndexes::complete(temp.reg().database()));
    const QString everything =
        QStringLiteral("SELECT rowid, 文件序号, 文件名, 备注 FROM 文件管理 ORDER BY rowid");
    const QList<QVariantList> before = rows(temp.reg(), everything);
    temp.reg().closeConnection();

    Result<Register> reopened = Register::open(temp.folder(), Register::Mode::MustExist);
    QVERIFY2(reopened.ok(), qPrintable(reopened.error().fullText()));
    const Register& reg = reopened.value();
    QCOMPARE(rows(reg, everything), before);
    verifyExact(reg);
    verifySameAsPlain(reg);
    // The identity of the last record is not handed out again.
    const qint64 highest =
        Sql::scalar(reg.database(), QStringLiteral("SELECT max(rowid) FROM 文件管理"))
            ->toLongLong();
    QVERIFY(Sql::run(reg.database(), QStringLiteral("DELETE FROM 文件管理 WHERE rowid = ?"),
                     {highest}));
    QCOMPARE(temp.addRecord(100, QStringLiteral("新记录")), highest + 1);
    verifyExact(reg);
}

void TestSearchIndexes::newerSearchCancelsOlder()
{
    TempRegister temp;
    fill(temp, 1000);
    // Half a minute of work or more unless the newer search interrupts it:
    // a long term that many long methods nearly hold, at every position.
    QVERIFY(Sql::run(
        temp.reg().database(),
        QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                       "WHERE i < 6000) INSERT INTO %1 (%2, %3) SELECT 1000 + i, ? "
                       "FROM n")
            .arg(Sql::identifier(RegisterNames::recordTable),
                 Sql::identifier(RegisterNames::serial), Sql::identifier(RegisterNames::method)),
        {QString(4200, QLatin1Char('a'))}));
    const ViewCondition slow = ViewConditions::contains(
        RecordField::Method, QString(2100, QLatin1Char('a')) + QLatin1Char('b'));
    BackgroundSearch search(temp.reg());
    int olderDelivered = 0;
    ViewRst::Start newer;
    bool newerDelivered = false;
    search.start(slow, [&](Result<ViewRst::Start>) { ++olderDelivered; });
    QTest::qWait(200);
    SearchCriteria criteria;
    criteria.recipient = QStringLiteral("张");
    const ViewCondition quick = CombinedSearch::SqlMade(criteria);
    QElapsedTimer timer;
    timer.start();
    search.start(quick, [&](Result<ViewRst::Start> started) {
        QVERIFY(started.ok());
        newer = started.value();
        newerDelivered = true;
    });
    QVERIFY(search.isBusy());
    QTRY_VERIFY_WITH_TIMEOUT(newerDelivered, 20000);
    QVERIFY2(timer.elapsed() < 20000, "the older search was not interrupted");
    const QList<qint64> all = keysOf(temp.reg(), quick);
    QCOMPARE(newer.count, all.size());
    QCOMPARE(newer.first, all.mid(0, newer.first.size()));
    QVERIFY(!search.isBusy());
    QTest::qWait(100);
    QCOMPARE(olderDelivered, 0);

    // A search cancelled before it delivers never does.
    bool cancelledDelivered = false;
    search.start(quick, [&](Result<ViewRst::Start>) { cancelledDelivered = true; });
    search.cancel();
    QTest::qWait(300);
    QVERIFY(!cancelledDelivered);
}

QTEST_GUILESS_MAIN(TestSearchIndexes)
#include "test_search_indexes.moc"
