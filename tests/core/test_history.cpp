#include "intake/Intake.h"
#include "modify/RecordModify.h"
#include "operations/RecordDelete.h"
#include "operations/RecordHistory.h"
#include "store/RecordStore.h"
#include "store/RegisterNames.h"
#include "store/sql/Sql.h"
#include "store/sqlite/Schema.h"
#include "support/TempRegister.h"
#include "support/TestFiles.h"
#include "trash/Trash.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

using namespace RegisterNames;

int entryCount(const Register& reg)
{
    return int(reg.records()->history({}).value().size());
}

// The newest entry of `identity` is `action` with exactly these values.
void checkNewest(const Register& reg, qint64 identity, const QString& action,
                 const QVariantMap& oldValues, const QVariantMap& newValues)
{
    const QList<Audit::Entry> entries = RecordHistory::ofRecord(reg, identity).value();
    QVERIFY(!entries.isEmpty());
    const Audit::Entry& newest = entries.first();
    QCOMPARE(newest.action, action);
    QCOMPARE(newest.identity, identity);
    QCOMPARE(newest.user, Audit::userName());
    QVERIFY(!newest.user.isEmpty());
    QCOMPARE(newest.time.size(), 19);
    QCOMPARE(newest.oldValues, oldValues);
    QCOMPARE(newest.newValues, newValues);
}

RecordModify::Changes remarkChange(const QString& remark, const QString& folder)
{
    RecordModify::Changes changes;
    changes[RecordModify::Field::Remark] = remark;
    changes[RecordModify::Field::Folder] = folder;
    return changes;
}

Intake::Outcome registerFile(const Register& reg, const QTemporaryDir& dir, const QString& name)
{
    const QString path = dir.filePath(name);
    TestFiles::write(path, "content of " + name.toUtf8());
    Intake::Details details;
    details.date = QDate(2024, 1, 2);
    details.folder = QStringLiteral("甲");
    return Intake::DdtaUp(reg, Intake::File::fromPath(path), details);
}

} // namespace

class TestHistory : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void everyChangeWritesOneEntry();
    void failedChangesLeaveNoEntry();
    void serialFindsTheRecordThroughMovesAndTheBin();
    void olderRegisterGetsTheTable();
};

void TestHistory::everyChangeWritesOneEntry()
{
    TempRegister temp;
    const Register& reg = temp.reg();
    QTemporaryDir sources;
    const Intake::Outcome added = registerFile(reg, sources, QStringLiteral("a.txt"));
    QCOMPARE(added.kind, Intake::Outcome::Registered);
    const qint64 a = reg.records()->identitiesWithSerial(added.serial, 2).value().first();
    QCOMPARE(entryCount(reg), 1);
    const QVariantMap registered{{serial, added.serial},
                                 {date, QStringLiteral("2024-01-02")},
                                 {fileName, QStringLiteral("a.txt")},
                                 {storedName, added.storedName},
                                 {folder, QStringLiteral("甲")}};
    checkNewest(reg, a, Audit::added, {}, registered);

    // Only the remark changed: the folder was written with its own value.
    QVERIFY(RecordModify::apply(reg, {temp.seen(a)},
                                remarkChange(QStringLiteral("新"), QStringLiteral("甲"))));
    QCOMPARE(entryCount(reg), 2);
    checkNewest(reg, a, Audit::modified, {{remark, QStringLiteral("")}},
                {{remark, QStringLiteral("新")}});

    // A swap changes two records: one entry each.
    const qint64 b = temp.addRecord(50, QStringLiteral("b.doc"));
    QVERIFY(reg.records()->swapSerials(temp.seen(a), temp.seen(b)));
    QCOMPARE(entryCount(reg), 4);
    checkNewest(reg, a, Audit::moved, {{serial, added.serial}}, {{serial, 50}});
    checkNewest(reg, b, Audit::moved, {{serial, 50}}, {{serial, added.serial}});

    QVERIFY(RecordDelete::deleteRecord(reg, temp.seen(a)));
    QCOMPARE(entryCount(reg), 5);
    QVariantMap deleted = registered;
    deleted[serial] = 50;
    deleted[remark] = QStringLiteral("新");
    checkNewest(reg, a, Audit::deleted, deleted, {});

    // Its serial was given to another record meanwhile: it comes back under the next one.
    temp.addRecord(50, QStringLiteral("c.doc"));
    Result<Trash::Restored> restored = Trash::restore(reg, a);
    QVERIFY2(restored, qPrintable(restored.error().fullText()));
    QCOMPARE(entryCount(reg), 6);
    QVariantMap back = deleted;
    back[serial] = restored->serial;
    checkNewest(reg, a, Audit::restored, {{serial, 50}}, back);
    QCOMPARE(Audit::changesText(RecordHistory::ofRecord(reg, a)->first()),
             QStringLiteral("文件序号: 50 → %1；发件日期: 2024-01-2；文件名: a.txt；路径: %2；"
                            "备注: 新；文件夹: 甲")
                 .arg(restored->serial.toString(), restored->storedName));
}

void TestHistory::failedChangesLeaveNoEntry()
{
    TempRegister temp;
    const Register& reg = temp.reg();
    const qint64 a = temp.addRecord(1, QStringLiteral("a.doc"));
    const qint64 b = temp.addRecord(2, QStringLiteral("b.doc"));
    const SeenRecord stale{b, QStringLiteral("other.doc")};
    // The first record's change and its entry go back with the whole change.
    QVERIFY(!RecordModify::apply(reg, {temp.seen(a), stale},
                                 remarkChange(QStringLiteral("x"), QStringLiteral("y"))));
    QVERIFY(!reg.records()->swapSerials(temp.seen(a), stale));
    QCOMPARE(entryCount(reg), 0);

    // An entry that cannot be written takes its change with it.
    QVERIFY(
        Sql::run(reg.database(), QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON %1 BEGIN "
                                                "SELECT RAISE(ABORT, 'refused'); END")
                                     .arg(Sql::identifier(Audit::table))));
    QTemporaryDir sources;
    QCOMPARE(registerFile(reg, sources, QStringLiteral("n.txt")).kind, Intake::Outcome::Failed);
    QVERIFY(!RecordModify::apply(reg, {temp.seen(a)},
                                 remarkChange(QStringLiteral("x"), QStringLiteral("y"))));
    QVERIFY(!RecordDelete::deleteRecord(reg, temp.seen(b)));
    QCOMPARE(temp.serials(), (QList<qint64>{1, 2}));
    QCOMPARE(reg.records()->binEntries()->size(), 0);
    QCOMPARE(
        Sql::scalar(reg.database(), QStringLiteral("SELECT count(*) FROM %1 WHERE %2 <> ''")
                                        .arg(Sql::identifier(recordTable), Sql::identifier(remark)))
            ->toInt(),
        0);
}

void TestHistory::serialFindsTheRecordThroughMovesAndTheBin()
{
    TempRegister temp;
    const Register& reg = temp.reg();
    const qint64 a = temp.addRecord(1, QStringLiteral("a.doc"));
    const qint64 b = temp.addRecord(2, QStringLiteral("b.doc"));
    QVERIFY(reg.records()->swapSerials(temp.seen(a), temp.seen(b)));
    const auto identitiesOf = [&](qint64 serial) {
        QList<qint64> identities;
        const QList<Audit::Entry> entries = RecordHistory::ofSerial(reg, serial).value();
        for (const Audit::Entry& entry : entries)
            identities << entry.identity;
        return identities;
    };
    QCOMPARE(identitiesOf(2), QList<qint64>{a});
    QCOMPARE(identitiesOf(1), QList<qint64>{b});
    QVERIFY(RecordDelete::deleteRecord(reg, temp.seen(a)));
    QCOMPARE(identitiesOf(2), (QList<qint64>{a, a}));
    QCOMPARE(RecordHistory::ofSerial(reg, 2)->first().action, Audit::deleted);
    QCOMPARE(RecordHistory::ofSerial(reg, 99).error().code, ErrorCode::NotFound);
}

void TestHistory::olderRegisterGetsTheTable()
{
    QTemporaryDir dir;
    {
        Result<Register> reg = Register::open(dir.path());
        QVERIFY(reg);
        QVERIFY(Sql::run(reg->database(),
                         QStringLiteral("DROP TABLE %1").arg(Sql::identifier(Audit::table))));
        QVERIFY(Sql::run(reg->database(), QStringLiteral("PRAGMA user_version = 5")));
        reg->closeConnection();
    }
    Result<Register> reg = Register::open(dir.path());
    QVERIFY2(reg, qPrintable(reg.error().fullText()));
    QCOMPARE(Sql::scalar(reg->database(), QStringLiteral("PRAGMA user_version"))->toInt(),
             Schema::currentVersion);
    QTemporaryDir sources;
    QCOMPARE(registerFile(*reg, sources, QStringLiteral("a.txt")).kind,
             Intake::Outcome::Registered);
    QCOMPARE(entryCount(*reg), 1);
    reg->closeConnection();
}

QTEST_GUILESS_MAIN(TestHistory)
#include "test_history.moc"
