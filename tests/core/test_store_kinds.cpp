#include "browser/CombinedSearch.h"
#include "browser/SystemViews.h"
#include "intake/Intake.h"
#include "intake/LookupLists.h"
#include "integrity/IntegrityCheck.h"
#include "modify/RecordModify.h"
#include "operations/RecordDelete.h"
#include "operations/RecordLookup.h"
#include "operations/RecordReorder.h"
#include "queries/QuerySlots.h"
#include "store/Audit.h"
#include "store/RecordStore.h"
#include "store/RegisterNames.h"
#include "store/sql/Sql.h"
#include "store/view/ViewConditions.h"
#include "store/view/ViewCursor.h"
#include "store/view/ViewRst.h"
#include "support/RegisterKinds.h"
#include "support/TempRegister.h"
#include "support/TestFiles.h"
#include "trash/Trash.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QRandomGenerator>
#include <QSet>
#include <QSqlQuery>
#include <QTest>

#include <atomic>
#include <thread>

// The store's behaviour, the same on an SQLite register and on one kept on
// a PostgreSQL server: every case runs on both.

namespace {

QList<RecycleBin::Entry> binOf(const Register& reg)
{
    Result<QList<RecycleBin::Entry>> entries = reg.records()->binEntries();
    return entries ? entries.value() : QList<RecycleBin::Entry>();
}

qint64 countOf(const Register& reg)
{
    Result<qint64> count = reg.records()->recordCount();
    return count ? count.value() : -1;
}

QList<FolderCount> foldersOf(const Register& reg)
{
    Result<QList<FolderCount>> folders = reg.records()->folderCounts();
    return folders ? folders.value() : QList<FolderCount>();
}

} // namespace

class TestStoreKinds : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void intakeNumbersRecordsAndCountsValues_data() { kinds(); }
    void intakeNumbersRecordsAndCountsValues()
    {
        QFETCH(bool, server);
        NEED_KIND(server);
        TempRegister temp(kindOf(server));
        QTemporaryDir sources;
        QList<Intake::File> files;
        for (const auto& [name, bytes] : {std::pair{"a.txt", "same"}, std::pair{"b.txt", "other"},
                                          std::pair{"c.txt", "same"}}) {
            const QString path = sources.filePath(QString::fromLatin1(name));
            TestFiles::write(path, bytes);
            files << Intake::File::fromPath(path);
        }
        const Intake::Details details{.date = QDate(2024, 5, 6),
                                      .remark = QStringLiteral("备注"),
                                      .recipient = QStringLiteral("张三"),
                                      .method = QStringLiteral("邮件"),
                                      .folder = QStringLiteral("合同")};
        const QList<Intake::Outcome> outcomes = Intake::runBatch(temp.reg(), files, details);
        QCOMPARE(outcomes.size(), 3);
        for (const Intake::Outcome& outcome : outcomes)
            QVERIFY2(outcome.kind == Intake::Outcome::Registered,
                     qPrintable(outcome.error.fullText()));
        QCOMPARE(temp.serials(), (QList<qint64>{1, 2, 3}));
        // The third file's content was registered before as the first.
        QCOMPARE(outcomes[2].sameContent.size(), 1);
        QCOMPARE(outcomes[2].sameContent.first().fileName, QStringLiteral("a.txt"));
        QCOMPARE(TestFiles::read(temp.reg().storedCopyPath(outcomes[1].storedName)),
                 QByteArray("other"));
        QCOMPARE(temp.reg().records()->digests()->size(), 3);
        // The value lists follow the records.
        QVERIFY(LookupLists::recipients(temp.reg())->contains(QStringLiteral("张三")));
        const QList<FolderCount> folders = foldersOf(temp.reg());
        QCOMPARE(folders.size(), 1);
        QCOMPARE(folders.first().name, QStringLiteral("合同"));
        QCOMPARE(folders.first().dated, 3);
    }

    void deleteRestoreAndPurgeThroughTheBin_data() { kinds(); }
    void deleteRestoreAndPurgeThroughTheBin()
    {
        QFETCH(bool, server);
        NEED_KIND(server);
        TempRegister temp(kindOf(server));
        const Register& reg = temp.reg();
        const qint64 kept = temp.addRecord(4, QStringLiteral("报告.doc"), QStringLiteral("张三"),
                                           QStringLiteral("合同"), QStringLiteral("2021-03-04"),
                                           QStringLiteral("备注"), QStringLiteral("邮件"), "bytes");
        const qint64 other = temp.addRecord(5, QStringLiteral("b.txt"), {}, QStringLiteral("合同"),
                                            QStringLiteral("2021-03-04"), {}, {}, "b");
        QVERIFY(RecordDelete::deleteRecord(reg, temp.seen(kept)).ok());
        QCOMPARE(countOf(reg), 1);
        QCOMPARE(foldersOf(reg).value(0).dated, 1);
        QCOMPARE(binOf(reg).size(), 1);
        QCOMPARE(binOf(reg).first().record.rowid, kept);
        QCOMPARE(binOf(reg).first().record.recipient, QStringLiteral("张三"));

        // Back under its identity and serial, with its copy.
        const Result<Trash::Restored> restored = Trash::restore(reg, kept);
        QVERIFY2(restored, qPrintable(restored ? QString() : restored.error().fullText()));
        QVERIFY(!restored->serialChanged());
        QCOMPARE(temp.serials(), (QList<qint64>{4, 5}));
        QCOMPARE(temp.seen(kept).storedName, QStringLiteral("报告.doc"));
        QCOMPARE(TestFiles::read(reg.storedCopyPath(QStringLiteral("报告.doc"))),
                 QByteArray("bytes"));
        QVERIFY(binOf(reg).isEmpty());

        QVERIFY(RecordDelete::deleteRecord(reg, temp.seen(other)).ok());
        QVERIFY(Trash::purge(reg, other).ok());
        QVERIFY(binOf(reg).isEmpty());
        // A record taken away meanwhile is not deleted twice.
        QCOMPARE(RecordDelete::deleteRecord(reg, {other, QStringLiteral("b.txt")}).error().code,
                 ErrorCode::Changed);
    }

    void moveAndModifyLeaveChangedRecordsAlone_data() { kinds(); }
    void moveAndModifyLeaveChangedRecordsAlone()
    {
        QFETCH(bool, server);
        NEED_KIND(server);
        TempRegister temp(kindOf(server));
        const Register& reg = temp.reg();
        const qint64 a = temp.addRecord(1, QStringLiteral("a"), {}, QStringLiteral("甲"));
        const qint64 b = temp.addRecord(2, QStringLiteral("b"), {}, QStringLiteral("甲"));
        const qint64 c = temp.addRecord(3, QStringLiteral("c"), {}, QStringLiteral("乙"));
        QVERIFY(RecordReorder::exchangeSerials(reg, temp.seen(a), temp.seen(c)).ok());
        QCOMPARE(temp.serials(), (QList<qint64>{1, 2, 3}));
        QCOMPARE(reg.records()->identitiesWithSerial(1, 5).value(), QList<qint64>{c});
        const SeenRecord stale{b, QStringLiteral("not b")};
        QCOMPARE(RecordReorder::exchangeSerials(reg, temp.seen(a), stale).error().code,
                 ErrorCode::Changed);
        QCOMPARE(reg.records()->identitiesWithSerial(3, 5).value(), QList<qint64>{a});

        RecordModify::Changes changes;
        changes[RecordModify::Field::Folder] = QStringLiteral("乙");
        changes[RecordModify::Field::Remark] = QStringLiteral("改过");
        // All or none: one changed record stops the whole batch.
        QCOMPARE(RecordModify::apply(reg, {temp.seen(a), stale}, changes).error().code,
                 ErrorCode::Changed);
        QCOMPARE(foldersOf(reg).size(), 2);
        QVERIFY(RecordModify::apply(reg, {temp.seen(a), temp.seen(b)}, changes).ok());
        const QList<FolderCount> folders = foldersOf(reg);
        QCOMPARE(folders.size(), 1);
        QCOMPARE(folders.first().name, QStringLiteral("乙"));
        QCOMPARE(folders.first().dated, 3);
    }

    // A trigger that skips an insert leaves no record: none may be named as
    // the new one (an earlier record's identity would get its digest).
    void skippedInsertIsRefused_data() { kinds(); }
    void skippedInsertIsRefused()
    {
        QFETCH(bool, server);
        NEED_KIND(server);
        TempRegister temp(kindOf(server));
        temp.addRecord(1, QStringLiteral("a.txt"));
        const QStringList skip =
            server ? QStringList{QStringLiteral("CREATE FUNCTION 跳过() RETURNS trigger LANGUAGE "
                                                "plpgsql AS $$ BEGIN RETURN NULL; END $$"),
                                 QStringLiteral("CREATE TRIGGER 跳过新增 BEFORE INSERT ON 文件管理 "
                                                "FOR EACH ROW EXECUTE FUNCTION 跳过()")}
                   : QStringList{QStringLiteral("CREATE TRIGGER 跳过新增 BEFORE INSERT ON 文件管理 "
                                                "BEGIN SELECT RAISE(IGNORE); END")};
        QSqlQuery query(temp.reg().database());
        for (const QString& sql : skip)
            QVERIFY2(query.exec(sql), qPrintable(sql));
        const std::unique_ptr<RecordStore> records = temp.reg().records();
        Result<std::unique_ptr<StoreTransaction>> transaction = records->beginWrite();
        QVERIFY(transaction);
        NewRecord record;
        record.serial = 2;
        record.fileName = QStringLiteral("b.txt");
        record.storedName = QStringLiteral("b.txt");
        QCOMPARE(records->insert(record).error().code, ErrorCode::Changed);
    }

    void savedQueriesKeepTheirSlots_data() { kinds(); }
    void savedQueriesKeepTheirSlots()
    {
        QFETCH(bool, server);
        NEED_KIND(server);
        TempRegister temp(kindOf(server));
        const Register& reg = temp.reg();
        QCOMPARE(QuerySlots::readAll(reg)->size(), QuerySlots::slotCount);
        QVERIFY(QuerySlots::readAll(reg)->at(2).isEmptySlot());
        QueryDefinition definition;
        definition.name = QStringLiteral("合同文件");
        definition.title = QStringLiteral("合同查询五字");
        definition.criteria.folder = QStringLiteral("合同");
        QVERIFY(QuerySlots::save(reg, 3, definition).ok());
        const QuerySlot third = QuerySlots::read(reg, 3).value();
        QCOMPARE(third.name, QStringLiteral("合同文件"));
        QCOMPARE(third.title, QStringLiteral("合同查询"));
        QCOMPARE(third.criteria.folder, QStringLiteral("合同"));
        QVERIFY(QuerySlots::read(reg, 2)->isEmptySlot());
        QVERIFY(!QuerySlots::needsRepair(reg).value());
        QVERIFY(QuerySlots::clear(reg, 3).ok());
        QVERIFY(QuerySlots::read(reg, 3)->isEmptySlot());
    }

    void checkReadsRecordsAndDigests_data() { kinds(); }
    void checkReadsRecordsAndDigests()
    {
        QFETCH(bool, server);
        NEED_KIND(server);
        TempRegister temp(kindOf(server));
        const Register& reg = temp.reg();
        QTemporaryDir sources;
        TestFiles::write(sources.filePath(QStringLiteral("x.txt")), "x");
        const QList<Intake::Outcome> added = Intake::runBatch(
            reg, {Intake::File::fromPath(sources.filePath(QStringLiteral("x.txt")))}, {});
        QCOMPARE(added.first().kind, Intake::Outcome::Registered);
        temp.addRecord(1, QStringLiteral("twin.txt"), {}, {}, QStringLiteral("2020-01-02"), {}, {},
                       "t");
        // The copy is changed behind the register's back.
        TestFiles::write(reg.storedCopyPath(added.first().storedName), "y");
        Integrity::Options options;
        options.verify = true;
        const Result<Integrity::Report> report = Integrity::check(reg, options);
        QVERIFY2(report, qPrintable(report ? QString() : report.error().fullText()));
        QCOMPARE(report->records, 2);
        QCOMPARE(report->count(Integrity::Kind::DuplicateSerial), 1);
        QCOMPARE(report->count(Integrity::Kind::ContentChanged), 1);
        QCOMPARE(report->count(Integrity::Kind::NotHashed), 1);
        QCOMPARE(report->findings.size(), 3);
    }

    // Searches find the same records on both: LIKE's meaning (ASCII case
    // folded, nothing else; wildcards typed are literal) whichever index
    // answers, in view order, through the key list and the cursor alike.
    void viewsAndSearchesAgree_data()
    {
        QTest::addColumn<bool>("server");
        QTest::addColumn<int>("box");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<qint64>>("expected");
        const QList<std::tuple<const char*, int, const char*, QList<qint64>>> cases = {
            {"ASCII case folded", SearchCriteria::FileName, "REPORT", {1, 2}},
            {"other letters exact", SearchCriteria::FileName, "ärger", {4}},
            {"short term", SearchCriteria::FileName, "rT", {1, 2}},
            {"short term, other letters exact", SearchCriteria::FileName, "Är", {3}},
            {"short term, percent typed", SearchCriteria::FileName, "0%", {5}},
            {"one character", SearchCriteria::FileName, "Ä", {3}},
            {"percent typed", SearchCriteria::FileName, "50%", {5}},
            {"underscore typed", SearchCriteria::FileName, "a_b", {6}},
            {"remark word", SearchCriteria::Remark, "Budget", {2, 6}},
            {"folder part", SearchCriteria::Folder, "同", {1, 3, 5, 7}},
            {"recipient part", SearchCriteria::Recipient, "li", {2, 4}},
            {"from a date", SearchCriteria::Earliest, "2021-01-01", {4, 5, 6}},
        };
        for (bool server : {false, true}) {
            for (const auto& [name, box, text, expected] : cases)
                kindRow(server, name) << box << QString::fromUtf8(text) << expected;
        }
    }
    void viewsAndSearchesAgree()
    {
        QFETCH(bool, server);
        QFETCH(int, box);
        QFETCH(QString, text);
        QFETCH(QList<qint64>, expected);
        NEED_KIND(server);
        TempRegister temp(kindOf(server));
        // Added out of serial order: the view orders by serial.
        temp.addRecord(6, QStringLiteral("a_b.txt"), QStringLiteral("自己"), QStringLiteral("杂"),
                       QStringLiteral("2022-01-01"), QStringLiteral("budget 2022"));
        temp.addRecord(1, QStringLiteral("Report.DOC"), QStringLiteral("Wang"),
                       QStringLiteral("合同"), QStringLiteral("2020-01-01"));
        temp.addRecord(2, QStringLiteral("report.doc"), QStringLiteral("Li"), {},
                       QStringLiteral("2020-06-01"), QStringLiteral("Budget"));
        temp.addRecord(3, QStringLiteral("Ärger.txt"), QStringLiteral("本地文档"),
                       QStringLiteral("合同"), QStringLiteral("2020-12-31"));
        temp.addRecord(4, QStringLiteral("ärger.txt"), QStringLiteral("Lisa"), QStringLiteral("乙"),
                       QStringLiteral("2021-01-01"));
        temp.addRecord(5, QStringLiteral("50%.pdf"), QStringLiteral("Wang"), QStringLiteral("同事"),
                       QStringLiteral("2021-05-05"));
        // A value the server is handed in a list of values, quoted.
        temp.addRecord(7, QStringLiteral("q.txt"), QStringLiteral("自己"),
                       QStringLiteral("引\"号\\同{,}"), QStringLiteral("2019-01-01"));
        SearchCriteria criteria;
        criteria.box(box) = text;
        for (CombinedSearch::Matching matching :
             {CombinedSearch::Matching::Indexed, CombinedSearch::Matching::Plain}) {
            const ViewCondition condition = CombinedSearch::build(criteria, matching).condition;
            std::shared_ptr<ViewRst> view = ViewRst::open(temp.reg(), condition).value();
            QList<qint64> viewed;
            for (int row = 1; row <= view->recordCount(); ++row)
                viewed << view->record(row)->serial.toLongLong();
            QCOMPARE(viewed, expected);
            QList<qint64> streamed;
            ViewCursor cursor(temp.reg(), condition);
            while (cursor.next())
                streamed << cursor.integerSerial().value_or(-1);
            QVERIFY2(!cursor.failed(), qPrintable(cursor.error().fullText()));
            QCOMPARE(streamed, expected);
        }
        // The views of the window's own menu.
        QCOMPARE(ViewRst::loadKeys(temp.reg(), SystemViews::sentByMe())->size(), 4);
        const qint64 fourth = temp.reg().records()->identitiesWithSerial(4, 1)->value(0);
        QCOMPARE(ViewRst::loadKeys(temp.reg(), ViewConditions::identityIs(fourth)).value(),
                 QList<qint64>{fourth});
    }

    // A view read a page at a time from either end, from keys beside a gap
    // or by position, holds the records of the whole list in its order;
    // its count comes from the value table or a name index where it can.
    void pagedViewsMatchTheWholeList_data() { kinds(); }
    void pagedViewsMatchTheWholeList()
    {
        QFETCH(bool, server);
        NEED_KIND(server);
        TempRegister temp(kindOf(server));
        constexpr int records = 2 * ViewRst::keysPage + 300;
        // Serials tie in pairs; every seventh record has no folder.
        for (int i = 0; i < records; ++i)
            temp.addRecord((i * 37) % records / 2, QStringLiteral("f%1").arg(i),
                           i % 3 ? QStringLiteral("张%1").arg(i % 5) : QStringLiteral("本人"),
                           i % 7 ? QStringLiteral("甲%1").arg(i % 2) : QString());
        // Records without a serial go first on SQLite, last on a server.
        QVERIFY(Sql::run(temp.reg().database(),
                         QStringLiteral("UPDATE 文件管理 SET 文件序号 = NULL WHERE %1 % 50 = 0")
                             .arg(temp.identityColumn())));
        // Renamed after they were added: a count from an index of names
        // must follow.
        QVERIFY(Sql::run(temp.reg().database(),
                         QStringLiteral("UPDATE 文件管理 SET 文件名 = 'g' WHERE %1 % 11 = 0")
                             .arg(temp.identityColumn())));
        SearchCriteria recipient;
        recipient.recipient = QStringLiteral("张");
        SearchCriteria shortName;
        shortName.fileName = QStringLiteral("F1");
        for (const ViewCondition& condition :
             {ViewCondition{}, SystemViews::folder(QStringLiteral("甲1")), SystemViews::sentByMe(),
              CombinedSearch::build(recipient).condition,
              CombinedSearch::build(shortName).condition}) {
            const QList<qint64> whole = ViewRst::loadKeys(temp.reg(), condition).value();
            QVERIFY(whole.size() > 3);
            const auto opened = [&] {
                return ViewRst::open(temp.reg(), condition).value();
            };
            std::shared_ptr<ViewRst> view = opened();
            QCOMPARE(view->recordCount(), whole.size());
            const int n = view->recordCount();
            for (const int position :
                 {n, n / 2, 1, ViewRst::keysPage + 1, ViewRst::keysPage, n - 1}) {
                if (position <= n)
                    QCOMPARE(view->keyAt(position), whole.at(position - 1));
            }
            QCOMPARE(opened()->positionOf(whole.at(n - 3)), n - 2);
            view->removeAt(n / 2);
            QCOMPARE(view->keyAt(n / 2), whole.at(n / 2));
            QCOMPARE(view->recordCount(), n - 1);
        }
    }

    // A first screen told early is the beginning of the complete list, for a
    // view whose first records hold a screenful and for one whose matches
    // lie further on; told inside a write transaction, it leaves that
    // transaction open.
    void firstScreenBeginsTheList_data() { kinds(); }
    void firstScreenBeginsTheList()
    {
        QFETCH(bool, server);
        NEED_KIND(server);
        TempRegister temp(kindOf(server));
        constexpr int records = 3 * ViewRst::firstScreenSize;
        // Serials in a shuffled order; folder 乙 only on the later records.
        for (int i = 0; i < records; ++i) {
            const int serial = (i * 7) % records + 1;
            temp.addRecord(serial, QStringLiteral("f%1").arg(serial), {},
                           serial > records / 2 ? QStringLiteral("乙") : QStringLiteral("甲"));
        }
        SearchCriteria later;
        later.folder = QStringLiteral("乙");
        const std::unique_ptr<RecordStore> store = temp.reg().records();
        for (const ViewCondition& condition :
             {ViewCondition{}, CombinedSearch::build(later).condition}) {
            Result<std::unique_ptr<StoreTransaction>> write = store->beginWrite();
            QVERIFY(write);
            QList<qint64> first;
            const QList<qint64> keys =
                ViewRst::loadKeys(temp.reg(), condition, [&](const QList<qint64>& told) {
                    first = told;
                }).value();
            QCOMPARE(first, keys.mid(0, ViewRst::firstScreenSize));
            QCOMPARE(keys.size(), condition.isEmpty() ? records : records / 2);
            NewRecord uncommitted;
            uncommitted.serial = records + 1;
            QVERIFY(store->insert(uncommitted));
            write.value().reset();
            QCOMPARE(countOf(temp.reg()), records);
        }
    }

    // Each change leaves one entry in the history, in its own transaction; a
    // commit on another connection moves the change counter, one on this
    // connection does not.
    void historyAndChangeNotices_data() { kinds(); }
    void historyAndChangeNotices()
    {
        QFETCH(bool, server);
        NEED_KIND(server);
        TempRegister temp(kindOf(server));
        const Register reg = temp.reg();
        const qint64 a = temp.addRecord(1, QStringLiteral("a"), {}, QStringLiteral("甲"));
        const qint64 b = temp.addRecord(2, QStringLiteral("b"), {}, QStringLiteral("甲"));
        const auto counter = [&] {
            return reg.records()->changeCounter().value();
        };
        const qint64 before = counter();

        RecordModify::Changes changes;
        changes[RecordModify::Field::Folder] = QStringLiteral("乙");
        QVERIFY(RecordModify::apply(reg, {temp.seen(a)}, changes).ok());
        QVERIFY(RecordReorder::exchangeSerials(reg, temp.seen(a), temp.seen(b)).ok());
        QVERIFY(RecordDelete::deleteRecord(reg, temp.seen(b)).ok());
        QVERIFY(Trash::restore(reg, b).ok());
        QTest::qWait(300);
        QCOMPARE(counter(), before);

        Result<QList<Audit::Entry>> history = reg.records()->history({});
        QVERIFY(history.ok());
        QStringList actions;
        for (const Audit::Entry& entry : *history)
            actions << entry.action + QString::number(entry.identity == a ? 0 : 1);
        QCOMPARE(actions, (QStringList{QStringLiteral("恢复1"), QStringLiteral("删除1"),
                                       QStringLiteral("移动1"), QStringLiteral("移动0"),
                                       QStringLiteral("修改0")}));
        QCOMPARE(history->last().oldValues.value(RegisterNames::folder).toString(),
                 QStringLiteral("甲"));
        QCOMPARE(history->last().newValues.value(RegisterNames::folder).toString(),
                 QStringLiteral("乙"));
        QCOMPARE(reg.records()->history({b}).value().size(), 3);

        std::thread([&] {
            changes[RecordModify::Field::Folder] = QStringLiteral("丙");
            QVERIFY(RecordModify::apply(reg, {temp.seen(a)}, changes).ok());
            reg.closeConnection();
        }).join();
        QTRY_VERIFY(counter() != before);
    }

    // Eight programs' worth of writers adding, modifying, moving and deleting
    // at once (QUORVEL_STRESS_SECONDS long, 3 s by default): no serial twice,
    // no record or copy lost, and a refusal only ever says busy or changed.
    void mixedWritersLoseNothing_data() { kinds(); }
    void mixedWritersLoseNothing()
    {
        QFETCH(bool, server);
        NEED_KIND(server);
        TempRegister temp(kindOf(server));
        const Register reg = temp.reg();
        QTemporaryDir sources;
        const int seconds = qEnvironmentVariableIsSet("QUORVEL_STRESS_SECONDS")
                                ? qEnvironmentVariableIntValue("QUORVEL_STRESS_SECONDS")
                                : 3;
        constexpr int writers = 8;
        std::atomic<int> added{0};
        std::atomic<int> busy{0};
        QList<Error> refusals[writers];
        const QDeadlineTimer deadline(seconds * 1000);
        std::vector<std::thread> threads;
        for (int w = 0; w < writers; ++w) {
            threads.emplace_back([&, w] {
                QRandomGenerator random(w + 1);
                const auto seenAny = [&]() -> std::optional<SeenRecord> {
                    const Result<QList<qint64>> keys = ViewRst::loadKeys(reg, {});
                    if (!keys || keys->isEmpty())
                        return std::nullopt;
                    Result<RegisterRecord> record =
                        RecordLookup::recordAt(reg, keys->at(random.bounded(keys->size())));
                    return record ? std::optional(SeenRecord::of(record.value())) : std::nullopt;
                };
                for (int round = 0; !deadline.hasExpired(); ++round) {
                    Status done;
                    const int action = round % 4;
                    if (action == 0 || action == 2) {
                        const QString path =
                            sources.filePath(QStringLiteral("w%1-%2.txt").arg(w).arg(round));
                        TestFiles::write(path, path.toUtf8());
                        const QList<Intake::Outcome> outcomes = Intake::runBatch(
                            reg, {Intake::File::fromPath(path)}, {.date = QDate(2024, 1, 2)});
                        if (outcomes.value(0).kind == Intake::Outcome::Registered)
                            ++added;
                        else
                            done = outcomes.value(0).error;
                    } else if (const std::optional<SeenRecord> seen = seenAny(); !seen) {
                        continue;
                    } else if (action == 1) {
                        RecordModify::Changes changes;
                        changes[RecordModify::Field::Remark] = QString::number(round);
                        done = RecordModify::apply(reg, {*seen}, changes);
                    } else if (round % 8 == 3) {
                        done = RecordDelete::deleteRecord(reg, *seen);
                    } else if (const std::optional<SeenRecord> other = seenAny()) {
                        if (other->rowid != seen->rowid)
                            done = RecordReorder::exchangeSerials(reg, *seen, *other);
                    }
                    if (!done && done.error().code == ErrorCode::Busy)
                        ++busy;
                    else if (!done && done.error().code != ErrorCode::Changed)
                        refusals[w] << done.error();
                }
                reg.closeConnection();
            });
        }
        for (std::thread& thread : threads)
            thread.join();
        for (const QList<Error>& refused : refusals) {
            for (const Error& error : refused)
                QFAIL(qPrintable(error.fullText()));
        }
        QVERIFY(added > 0);
        const QList<qint64> serials = temp.serials();
        qInfo("%d records added, %lld kept, %lld in the bin, %d busy", added.load(),
              qint64(serials.size()), qint64(binOf(reg).size()), busy.load());
        QCOMPARE(QSet<qint64>(serials.begin(), serials.end()).size(), serials.size());
        QCOMPARE(serials.size() + binOf(reg).size(), added.load());
        Integrity::Options options;
        options.verify = true;
        const Result<Integrity::Report> report = Integrity::check(reg, options);
        QVERIFY2(report, qPrintable(report ? QString() : report.error().fullText()));
        for (const Integrity::Finding& finding : report->findings)
            QFAIL(qPrintable(finding.name + QStringLiteral(": ") + finding.detail));
    }

    // Writers on their own connections at once: each serial is handed out
    // once, and a writer that could not get in is told the register is busy.
    void concurrentWritersNeverShareASerial_data() { kinds(); }
    void concurrentWritersNeverShareASerial()
    {
        QFETCH(bool, server);
        NEED_KIND(server);
        TempRegister temp(kindOf(server));
        const Register reg = temp.reg();
        constexpr int writers = 4;
        constexpr int each = 12;
        QList<qint64> serials[writers];
        QList<Error> failures[writers];
        std::vector<std::thread> threads;
        for (int w = 0; w < writers; ++w) {
            threads.emplace_back([&, w] {
                const std::unique_ptr<RecordStore> records = reg.records();
                for (int i = 0; i < each; ++i) {
                    Result<std::unique_ptr<StoreTransaction>> write = records->beginWrite();
                    if (!write) {
                        failures[w] << write.error();
                        continue;
                    }
                    Result<qint64> serial = records->nextSerial();
                    if (!serial) {
                        failures[w] << serial.error();
                        continue;
                    }
                    NewRecord record;
                    record.serial = serial.value();
                    record.fileName = record.storedName = QStringLiteral("w%1-%2").arg(w).arg(i);
                    Result<qint64> inserted = records->insert(record);
                    Status committed = inserted ? write.value()->commit() : inserted.error();
                    if (committed)
                        serials[w] << record.serial;
                    else
                        failures[w] << committed.error();
                }
                reg.closeConnection();
            });
        }
        for (std::thread& thread : threads)
            thread.join();
        QList<qint64> all;
        for (int w = 0; w < writers; ++w) {
            all += serials[w];
            for (const Error& failure : failures[w])
                QVERIFY2(failure.code == ErrorCode::Busy, qPrintable(failure.fullText()));
        }
        QVERIFY(!all.isEmpty());
        QCOMPARE(QSet<qint64>(all.begin(), all.end()).size(), all.size());
        QCOMPARE(countOf(reg), all.size());
    }
};

QTEST_GUILESS_MAIN(TestStoreKinds)
#include "test_store_kinds.moc"
