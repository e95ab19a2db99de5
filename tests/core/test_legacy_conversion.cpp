// Converting old Jet registers in place and importing them into an open
// register, on the fixture registers in tests/data/legacy-registers.

#include "legacy/LegacyConversion.h"
#include "legacy/LegacyImport.h"
#include "queries/QuerySlots.h"
#include "store/RegisterNames.h"
#include "store/sql/AuditTable.h"
#include "store/sql/ContentHash.h"
#include "store/sql/Sql.h"
#include "store/sqlite/Schema.h"
#include "support/LegacyFixture.h"
#include "support/TempRegister.h"

#include "support/TestFiles.h"

#include <QDir>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The eight columns of the records with `fileName`, as "serial|date|…" texts.
QStringList recordsNamed(const Register& reg, const QString& fileName)
{
    Result<QSqlQuery> query = Sql::run(
        reg.database(),
        QStringLiteral("SELECT 文件序号, 发件日期, 文件名, 路径, 备注, 接收人, 传送方式, 文件夹 "
                       "FROM 文件管理 WHERE 文件名 = ? ORDER BY 文件序号"),
        {fileName});
    QStringList rows;
    while (query && query->next()) {
        QStringList cells;
        for (int c = 0; c < 8; ++c)
            cells << (query->value(c).isNull() ? QStringLiteral("NULL")
                                               : query->value(c).toString());
        rows << cells.join(QLatin1Char('|'));
    }
    return rows;
}

Register converted(const QString& folder)
{
    Result<Register> reg = Register::open(folder, Register::Mode::MustExist);
    if (!reg)
        qFatal("converted register does not open: %s", qPrintable(reg.error().fullText()));
    return reg.value();
}

// Pages of typical/文件管理.mdb (4096 bytes each): 24 is the definition of
// 文件管理 (its row count at byte 16), 26 and 28 its data pages (38 and 22 rows).
constexpr int page = 4096;
using Damage = std::function<void(QByteArray&)>;

} // namespace

Q_DECLARE_METATYPE(Damage)

class TestLegacyConversion : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private Q_SLOTS:
    void fieldsComeOverWhole_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QStringList>("rows");
        const auto typical = QStringLiteral("typical");
        const auto odd = QStringLiteral("odd");
        const auto one = [&](const char* name, const QString& fixture, const QString& fileName,
                             const char* row) {
            QTest::newRow(name) << fixture << fileName << QStringList{QString::fromUtf8(row)};
        };
        const auto two = [&](const char* name, const QString& fileName, const char* first,
                             const char* second) {
            QTest::newRow(name) << typical << fileName
                                << QStringList{QString::fromUtf8(first), QString::fromUtf8(second)};
        };
        two("typical, quotes and commas", QStringLiteral("季度报告.xls"),
            "1|2006-02-07|季度报告.xls|季度报告.xls|第1份，请查收|李四|传真|财务",
            "11|2007-02-12|季度报告.xls|季度报告.a0fqq6Chis.xls|第11份，请查收，含\"引号\"、逗号,"
            "与百分号%|自己||合同");
        two("typical, null remark, trailing dot", QStringLiteral("README"),
            "18|2007-10-29|README|README.A4tqEc4Llg.|第18份，已盖章|王五|Email|合同",
            "28|2008-11-02|README|README.BlvpjTnhXn.||本地文档|电子邮件|项目甲");
        one("typical, last", typical, QStringLiteral("采购合同.doc"),
            "60|2012-01-30|采购合同.doc|采购合同.dvWWAiPmFD.doc|第60份，已盖章|本地文档|Email|"
            "合同");
        one("odd, half serial and time part", odd, QStringLiteral("half.doc"),
            "2|2006-05-02|half.doc|half.doc|移动中断留下的序号|自己|QQ|");
        one("odd, duplicate serial keeps table order", odd, QStringLiteral("dup-serial.txt"),
            "4|2007-01-01|dup-serial.txt|dup-serial.txt|与上一条同序号|李四|Email|资料");
        one("odd, null date", odd, QStringLiteral("nodate.txt"),
            "3||nodate.txt|nodate.txt|没有日期|本地文档||资料");
        one("odd, zero date", odd, QStringLiteral("zero-date.txt"),
            "9||zero-date.txt|zero-date.txt|日期为零|自己||");
        one("odd, null serial last", odd, QStringLiteral("noserial.txt"),
            "11|2008-04-03|noserial.txt|noserial.txt|没有序号|自己||");
        one("odd, escaping name kept", odd, QStringLiteral("escape.txt"),
            "5|2007-02-01|escape.txt|..\\..\\Windows\\win.ini|路径指向存储文件夹以外|王五||");
        one("odd, quotes and percent", odd, QStringLiteral("O'Brien 100%_off.txt"),
            "8|2008-04-02|O'Brien 100%_off.txt|O'Brien 100%_off.txt|it's "
            "\"quoted\"|O'Brien|传真|O'Brien");
    }

    void fieldsComeOverWhole()
    {
        QFETCH(QString, fixture);
        QFETCH(QString, fileName);
        QFETCH(QStringList, rows);
        QTemporaryDir dir;
        const QString folder = LegacyFixture::copy(dir, fixture);
        QVERIFY(LegacyConversion::convert(folder, false));
        const Register reg = converted(folder);
        const QStringList found = recordsNamed(reg, fileName);
        for (const QString& row : rows)
            QVERIFY2(found.contains(row), qPrintable(found.join(QLatin1Char('\n'))));
        reg.closeConnection();
    }

    void typicalReportAndHashes()
    {
        const QString folder = LegacyFixture::copy(m_dir, QStringLiteral("typical"));
        Result<Legacy::Report> report = LegacyConversion::convert(folder, false);
        QVERIFY(report);
        QCOMPARE(report->records, 60);
        QVERIFY(report->renumbered.isEmpty());
        QCOMPARE(report->missingCopies,
                 QStringList{QStringLiteral("序号 13“发票扫描.pdf”（发票扫描.aOtfKKZq8v.pdf）")});
        QCOMPARE(report->strayFiles, QStringList{QStringLiteral("孤立文件.txt")});
        QVERIFY(report->lostSomething());
        QCOMPARE(report->aside, LegacyConversion::asideFile);
        QCOMPARE(Schema::inspect(QDir(folder).filePath(LegacyConversion::asideFile)),
                 Schema::FileKind::Access);

        const Register reg = converted(folder);
        Result<QList<QuerySlot>> slots = QuerySlots::readAll(reg);
        QVERIFY(slots);
        QCOMPARE(slots->size(), 9);
        QCOMPARE(slots->at(0).name, QStringLiteral("张三的合同"));
        QCOMPARE(slots->at(0).criteria.recipient, QStringLiteral("张三"));
        QCOMPARE(slots->at(0).criteria.folder, QStringLiteral("合同"));
        QCOMPARE(slots->at(1).criteria.earliest, QStringLiteral("2007-1-1"));
        QCOMPARE(slots->at(3).title, QStringLiteral(" "));
        QCOMPARE(slots->at(3).criteria.method, QStringLiteral("传真"));
        for (int empty : {2, 4, 5, 6, 7, 8})
            QVERIFY2(slots->at(empty).isEmptySlot(), qPrintable(slots->at(empty).name));

        // Every present copy is hashed as intake would have.
        Result<QVariant> hashed =
            Sql::scalar(reg.database(), QStringLiteral("SELECT count(*) FROM 存储校验"));
        QCOMPARE(hashed->toInt(), 59);
        Result<std::optional<ContentHash::Digest>> first = ContentHash::recorded(reg.database(), 1);
        QVERIFY(first && first->has_value());
        QCOMPARE((*first)->hash,
                 ContentHash::ofFile(reg.storedCopyPath(QStringLiteral("季度报告.xls")))->hash);

        // Each record starts its history with its conversion.
        Result<QList<Audit::Entry>> history = Audit::read(reg.database(), {});
        QVERIFY(history);
        QCOMPARE(history->size(), 60);
        for (const Audit::Entry& entry : *history)
            QCOMPARE(entry.action, Audit::converted);
        Result<QList<Audit::Entry>> firstHistory = Audit::read(reg.database(), {1});
        QCOMPARE(firstHistory->size(), 1);
        QCOMPARE(firstHistory->first().newValues.value(QStringLiteral("文件名")).toString(),
                 QStringLiteral("季度报告.xls"));
        QCOMPARE(firstHistory->first().newValues.value(QStringLiteral("文件序号")).toInt(), 1);
        reg.closeConnection();
    }

    void oddReport()
    {
        const QString folder = LegacyFixture::copy(m_dir, QStringLiteral("odd"));
        Result<Legacy::Report> report = LegacyConversion::convert(folder, false);
        QVERIFY(report);
        QCOMPARE(report->records, 11);
        QCOMPARE(report->renumbered.size(), 9);
        QCOMPARE(report->hostileNames.size(), 2);
        QCOMPARE(report->missingCopies, QStringList{QStringLiteral("序号 10“empty-path.txt”（）")});
        // Seven rows, an extra column: the seven come over, the rest are empty.
        const Register reg = converted(folder);
        Result<QList<QuerySlot>> slots = QuerySlots::readAll(reg);
        QVERIFY(slots);
        QCOMPARE(slots->size(), 9);
        for (const QuerySlot& slot : *slots)
            QVERIFY2(slot.isEmptySlot() && !slot.hasNull, qPrintable(slot.name));
        reg.closeConnection();
    }

    void bareGivesAnEmptyRegister()
    {
        const QString folder = LegacyFixture::copy(m_dir, QStringLiteral("bare"));
        Result<Legacy::Report> report = LegacyConversion::convert(folder, false);
        QVERIFY(report);
        QVERIFY(report->queryTableMissing);
        QVERIFY(!report->lostSomething());
        const Register reg = converted(folder);
        QCOMPARE(
            Sql::scalar(reg.database(), QStringLiteral("SELECT count(*) FROM 文件管理"))->toInt(),
            0);
        Result<QList<QuerySlot>> slots = QuerySlots::readAll(reg);
        QCOMPARE(slots->size(), 9);
        for (const QuerySlot& slot : *slots)
            QVERIFY(slot.isEmptySlot());
        reg.closeConnection();
    }

    // A run after a crash finds the old file still in place, perhaps already
    // linked under the kept name and with a half-built working file; a
    // different file under the kept name is never overwritten.
    void rerunAfterInterruptionAndNameClash()
    {
        const QString typical = LegacyFixture::copy(m_dir, QStringLiteral("typical"));
        const QDir dir(typical);
        Result<Legacy::Report> first = LegacyConversion::convert(typical, false);
        QVERIFY(first);
        // Put the old file back as if this were another old register, keeping
        // the earlier kept file: the new one must get a name of its own.
        QVERIFY(QFile::remove(dir.filePath(RegisterNames::databaseFile)));
        QVERIFY(QFile::copy(QStringLiteral(QUORVEL_LEGACY_DATA "/bare/文件管理.mdb"),
                            dir.filePath(RegisterNames::databaseFile)));
        QFile working(dir.filePath(LegacyConversion::workingFile));
        QVERIFY(working.open(QIODevice::WriteOnly));
        working.write("half-built");
        working.close();
        const auto keptBefore =
            LegacyFixture::digests(typical)[QStringLiteral("/文件管理.jet.mdb")];

        Result<Legacy::Report> second = LegacyConversion::convert(typical, false);
        QVERIFY(second);
        QCOMPARE(second->aside, QStringLiteral("文件管理.jet-2.mdb"));
        QCOMPARE(LegacyFixture::digests(typical)[QStringLiteral("/文件管理.jet.mdb")], keptBefore);
        QVERIFY(!QFile::exists(dir.filePath(LegacyConversion::workingFile)));
        QCOMPARE(Schema::inspect(dir.filePath(RegisterNames::databaseFile)),
                 Schema::FileKind::QuorvelRegister);
    }

    // A damaged old file stops the conversion with the old file in place:
    // nothing is kept aside, and a later run finds it still to convert.
    void damagedFileStopsTheConversion_data()
    {
        QTest::addColumn<Damage>("damage");
        QTest::newRow("cut at a page boundary")
            << Damage([](QByteArray& b) { b.truncate(28 * page); });
        QTest::newRow("cut inside a page")
            << Damage([](QByteArray& b) { b.truncate(28 * page + 1000); });
        QTest::newRow("data page zeroed")
            << Damage([](QByteArray& b) { b.replace(28 * page, page, QByteArray(page, 0)); });
        QTest::newRow("data page of another type")
            << Damage([](QByteArray& b) { b[26 * page] = 0x02; });
        QTest::newRow("row count disagrees")
            << Damage([](QByteArray& b) { b[24 * page + 16] = char(b.at(24 * page + 16) + 1); });
        QTest::newRow("row offsets point into garbage") << Damage([](QByteArray& b) {
            for (int row = 0; row < 22; ++row)
                b[28 * page + 14 + 2 * row] = char(0x10 + row);
        });
    }

    void damagedFileStopsTheConversion()
    {
        QFETCH(Damage, damage);
        QTemporaryDir dir;
        const QString folder = LegacyFixture::copy(dir, QStringLiteral("typical"));
        const QString database = QDir(folder).filePath(RegisterNames::databaseFile);
        QByteArray bytes = TestFiles::read(database);
        damage(bytes);
        TestFiles::write(database, bytes);
        const auto before = LegacyFixture::digests(folder);

        Result<Legacy::Report> report = LegacyConversion::convert(folder, false);
        QVERIFY2(!report, report ? qPrintable(report->text()) : "");
        QCOMPARE(report.error().code, ErrorCode::Damaged);
        QVERIFY2(report.error().message.contains(QStringLiteral("已损坏")),
                 qPrintable(report.error().message));
        QVERIFY(LegacyFixture::digests(folder) == before);
        QVERIFY(LegacyConversion::needsConversion(folder));
        TempRegister target;
        QVERIFY(!LegacyImport::run(target.reg(), folder));
        QVERIFY(target.serials().isEmpty());
    }

    // The reader of the old file crashing or hanging takes nothing else down.
    void readerThatDiesIsReportedAsDamage()
    {
        QTemporaryDir dir;
        const QString folder = LegacyFixture::copy(dir, QStringLiteral("typical"));
        const auto before = LegacyFixture::digests(folder);
        const QString dying = dir.filePath(QStringLiteral("dying-reader"));
        TestFiles::write(dying, "#!/bin/sh\nkill -SEGV $$\n");
        QFile::setPermissions(dying, QFile::ReadOwner | QFile::ExeOwner);
        const QByteArray reader = qgetenv("QUORVEL_LEGACY_READER");
        qputenv("QUORVEL_LEGACY_READER", QFile::encodeName(dying));
        Result<Legacy::Report> report = LegacyConversion::convert(folder, false);
        qputenv("QUORVEL_LEGACY_READER", reader);
        QVERIFY(!report);
        QCOMPARE(report.error().code, ErrorCode::Damaged);
        QVERIFY2(report.error().message.contains(QStringLiteral("意外结束")),
                 qPrintable(report.error().message));
        QVERIFY(LegacyFixture::digests(folder) == before);
    }

    // Under a stored name: a pipe (never opened, so nothing hangs), a link to
    // a file outside the store and a folder. None is read, hashed or
    // imported; the record is converted without its copy and listed.
    void storeEntriesThatAreNotFilesAreNeverRead()
    {
        QTemporaryDir dir;
        const QString folder = LegacyFixture::copy(dir, QStringLiteral("typical"));
        const QString store = folder + QStringLiteral("/随机文件/");
        const QString outside = dir.filePath(QStringLiteral("outside.txt"));
        TestFiles::write(outside, "not in the store");
        const auto replace = [&](const QString& name) {
            QFile::remove(store + name);
            return QFile::encodeName(store + name);
        };
        QCOMPARE(::mkfifo(replace(QStringLiteral("季度报告.xls")).constData(), 0600), 0);
        QCOMPARE(::symlink(QFile::encodeName(outside).constData(),
                           replace(QStringLiteral("README")).constData()),
                 0);
        QCOMPARE(::mkdir(replace(QStringLiteral("采购合同.dvWWAiPmFD.doc")).constData(), 0700), 0);

        TempRegister target;
        Result<Legacy::Report> imported = LegacyImport::run(target.reg(), folder);
        QVERIFY(imported);
        QCOMPARE(imported->records, 56);
        QCOMPARE(imported->notImported.filter(QStringLiteral("不会被读取")).size(), 3);
        QVERIFY(imported->notImported.join(QString()).contains(QStringLiteral("是一个链接")));

        Result<Legacy::Report> report = LegacyConversion::convert(folder, false);
        QVERIFY(report);
        QCOMPARE(report->records, 60);
        QCOMPARE(report->notFiles.size(), 3);
        QVERIFY(report->notFiles.join(QString()).contains(QStringLiteral("是一个管道或设备文件")));
        QVERIFY(report->text().contains(QStringLiteral("不会被读取")));
        QVERIFY(report->lostSomething());
        const Register reg = converted(folder);
        QCOMPARE(
            Sql::scalar(reg.database(), QStringLiteral("SELECT count(*) FROM 存储校验"))->toInt(),
            56);
        reg.closeConnection();
    }

    void importAddsRecordsAfterTheHighest()
    {
        QTemporaryDir dir;
        const QString source = LegacyFixture::copy(dir, QStringLiteral("typical"));
        const auto before = LegacyFixture::digests(source);
        TempRegister target;
        target.addRecord(100, QStringLiteral("季度报告.xls"));

        Result<Legacy::Report> report = LegacyImport::run(target.reg(), source);
        QVERIFY(report);
        QCOMPARE(report->records, 59);
        QCOMPARE(report->notImported.size(), 1);
        QVERIFY(report->notImported.first().contains(QStringLiteral("发票扫描.aOtfKKZq8v.pdf")));
        QCOMPARE(LegacyFixture::digests(source), before);

        const QStringList readme = recordsNamed(target.reg(), QStringLiteral("README"));
        QCOMPARE(readme.size(), 6);
        // Each keeps its own details; serials continue in the old order;
        // copies get names by the naming rule of this store.
        QCOMPARE(readme.at(0),
                 QStringLiteral("108|2006-10-24|README|README|第8份，请查收|张三|面呈|"));
        QVERIFY(readme.at(1).startsWith(QStringLiteral("117|2007-10-29|README|README.")));
        QCOMPARE(target.serials().last(), 159);

        // Importing again finds every copy already registered.
        Result<Legacy::Report> again = LegacyImport::run(target.reg(), source);
        QVERIFY(again);
        QCOMPARE(again->sameContent.size(), 59);
    }
};

QTEST_GUILESS_MAIN(TestLegacyConversion)
#include "test_legacy_conversion.moc"
