#include "browser/CombinedSearch.h"
#include "content/ContentQueue.h"
#include "content/ContentStore.h"
#include "content/ContentText.h"
#include "copy/RegisterCopy.h"
#include "integrity/IntegrityCheck.h"
#include "operations/RecordDelete.h"
#include "queries/QuerySlots.h"
#include "store/RecordStore.h"
#include "store/content/ContentIndex.h"
#include "store/sql/Sql.h"
#include "store/view/ViewRst.h"
#include "support/PgCluster.h"
#include "support/ReadText.h"
#include "support/RegisterKinds.h"
#include "support/TempRegister.h"
#include "trash/Trash.h"

#include <QTest>

// Searching by what was read from the copies, on both kinds of register:
// every term finds exactly the records whose text holds it (ASCII letters
// folded, nothing else), and the texts stay in step with records and bin.

namespace {

// Texts that trip naive matching: wildcards, quotes, case beyond ASCII, a
// character outside the basic plane, repeated pieces, line breaks.
const QStringList texts = {
    QStringLiteral("合同第三条：甲方应于2019年付款。"),
    QStringLiteral("Meeting NOTES about the Budget\n预算 100%_done"),
    QStringLiteral("ÄRGER äpfel it's \"quoted\" back\\slash"),
    QStringLiteral("报告😀附件 合同 合同"),
    QStringLiteral("abab aba"),
    QString(),
};

QString folded(QString text)
{
    for (QChar& c : text) {
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = c.toLower();
    }
    return text;
}

// A record whose copy was read as `text`; its identity, -1 on failure.
qint64 addRead(TempRegister& temp, qint64 serial, const QString& text)
{
    const qint64 identity = temp.addRecord(serial, QStringLiteral("f.txt"));
    giveReadText(temp.reg(), identity, text);
    return QTest::currentTestFailed() ? -1 : identity;
}

QList<qint64> found(const Register& reg, const QString& term, const QString& name = {})
{
    SearchCriteria criteria;
    criteria.content = term;
    criteria.fileName = name;
    Result<QList<qint64>> keys = ViewRst::loadKeys(reg, CombinedSearch::build(criteria).condition);
    return keys ? keys.value() : QList<qint64>{-1};
}

} // namespace

class TestContentSearch : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everyTermFindsExactlyTheTextsHoldingIt_data() { kinds(); }
    void everyTermFindsExactlyTheTextsHoldingIt()
    {
        QFETCH(bool, server);
        NEED_KIND(server);
        TempRegister temp(kindOf(server));
        QList<qint64> identities;
        for (int i = 0; i < texts.size(); ++i)
            identities << addRead(temp, i + 1, texts.at(i));
        QVERIFY(!identities.contains(-1));
        // A record whose copy is not read yet holds nothing.
        temp.addRecord(99, QStringLiteral("unread.txt"));

        QStringList terms = {QStringLiteral("budget"), QStringLiteral("BUDGET"),
                             QStringLiteral("äRGER"),  QStringLiteral("%_"),
                             QStringLiteral("😀"),      QStringLiteral("合同 合"),
                             QStringLiteral("absent"), QStringLiteral("aa")};
        // Every piece of one to four characters of every text.
        for (const QString& text : texts) {
            const QList<uint> codes = text.toUcs4();
            for (int length = 1; length <= 4; ++length) {
                for (qsizetype at = 0; at + length <= codes.size(); at += 3)
                    terms << QString::fromUcs4(
                        reinterpret_cast<const char32_t*>(codes.constData() + at), length);
            }
        }
        for (const QString& term : terms) {
            QList<qint64> expected;
            for (int i = 0; i < texts.size(); ++i) {
                if (folded(texts.at(i)).contains(folded(term)))
                    expected << identities.at(i);
            }
            QCOMPARE(found(temp.reg(), term), expected);
        }
        // With a name box, both must hold.
        QCOMPARE(found(temp.reg(), QStringLiteral("合同"), QStringLiteral("none")), {});
        QCOMPARE(found(temp.reg(), QStringLiteral("合同"), QStringLiteral("f.t")),
                 (QList<qint64>{identities.at(0), identities.at(3)}));
    }

    void textsFollowTheBinAndTheCheck_data() { kinds(); }
    void textsFollowTheBinAndTheCheck()
    {
        QFETCH(bool, server);
        NEED_KIND(server);
        TempRegister temp(kindOf(server));
        const Register& reg = temp.reg();
        const qint64 kept = addRead(temp, 1, QStringLiteral("留下的文字"));
        const qint64 binned = addRead(temp, 2, QStringLiteral("扔掉的文字"));
        QVERIFY(kept > 0 && binned > 0);

        QVERIFY(RecordDelete::deleteRecord(reg, temp.seen(binned)).ok());
        // In the bin its text stays (a restore finds it again), not in views.
        QCOMPARE(found(reg, QStringLiteral("扔掉")), {});
        QVERIFY(contentNumber(reg, readTextHash(binned)) > 0);
        QVERIFY(Trash::restore(reg, binned));
        QCOMPARE(found(reg, QStringLiteral("扔掉")), {binned});
        QVERIFY(RecordDelete::deleteRecord(reg, temp.seen(binned)).ok());
        QVERIFY(Trash::purge(reg, binned));
        QCOMPARE(contentNumber(reg, readTextHash(binned)), -1);

        // A text of nothing and a record without an entry: the check
        // reports both, and repair mends both.
        QVERIFY(Sql::run(reg.database(),
                         QStringLiteral("INSERT INTO %1 (%2, %3) VALUES (?, 1)")
                             .arg(Sql::identifier(ContentIndex::table),
                                  Sql::identifier(ContentIndex::hashColumn),
                                  Sql::identifier(ContentIndex::stateColumn)),
                         {QStringLiteral("orphan")}));
        QVERIFY(Sql::run(reg.database(),
                         QStringLiteral("DELETE FROM %1 WHERE %2 = ?")
                             .arg(Sql::identifier(ContentIndex::table),
                                  Sql::identifier(ContentIndex::hashColumn)),
                         {readTextHash(kept)}));
        Result<Integrity::Report> report = Integrity::check(reg);
        QVERIFY(report);
        QCOMPARE(report->count(Integrity::Kind::TextMissing), 1);
        QCOMPARE(report->count(Integrity::Kind::TextWithoutRecord), 1);
        Integrity::Options repair;
        repair.repair = true;
        QVERIFY(Integrity::check(reg, repair));
        report = Integrity::check(reg);
        QCOMPARE(report->count(Integrity::Kind::TextMissing), 0);
        QCOMPARE(report->count(Integrity::Kind::TextWithoutRecord), 0);
        Result<ContentQueue::Counts> counts = ContentQueue::counts(reg);
        QVERIFY(counts);
        QCOMPARE(counts->waiting, 1);
        QCOMPARE(counts->read, 0);

        // Rebuilding queues everything again and forgets what was read.
        QVERIFY(ContentQueue::requeueAll(reg));
        QCOMPARE(found(reg, QStringLiteral("文字")), {});
    }

    void aCopiedRegisterKeepsWhatWasRead()
    {
        TempRegister source;
        const qint64 identity = addRead(source, 1, QStringLiteral("复制也能找到"));
        QVERIFY(identity > 0);
        TempRegister target;
        QVERIFY(RegisterCopy::run(source.reg(), target.reg()));
        QCOMPARE(found(target.reg(), QStringLiteral("也能")).size(), 1);
        Result<ContentQueue::Counts> counts = ContentQueue::counts(target.reg());
        QVERIFY(counts);
        QCOMPARE(counts->waiting, 0);
    }

    void aSavedQueryHoldsTheContentWord()
    {
        TempRegister temp;
        QueryDefinition definition;
        definition.name = QStringLiteral("合同");
        definition.criteria.content = QStringLiteral("第三条");
        QVERIFY(QuerySlots::save(temp.reg(), 4, definition));
        Result<QuerySlot> slot = QuerySlots::read(temp.reg(), 4);
        QVERIFY(slot);
        QCOMPARE(slot->criteria.content, QStringLiteral("第三条"));
    }

    void snippetMarksTheFirstMatch_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("term");
        QTest::addColumn<QString>("shown"); // before[match]after, or "-" for none
        QTest::newRow("middle") << QStringLiteral("0123456789合同abcdef") << QStringLiteral("合同")
                                << QStringLiteral("…789[合同]abc…");
        QTest::newRow("ascii folded") << QStringLiteral("x Budget y") << QStringLiteral("BUDGET")
                                      << QStringLiteral("x [Budget] y");
        QTest::newRow("line breaks flattened")
            << QStringLiteral("a\nb\tc") << QStringLiteral("b") << QStringLiteral("a [b] c");
        QTest::newRow("no surrogate cut")
            << QStringLiteral("a😀😀x") << QStringLiteral("x") << QStringLiteral("…😀😀[x]");
        QTest::newRow("absent") << QStringLiteral("abc") << QStringLiteral("Ä")
                                << QStringLiteral("-");
    }
    void snippetMarksTheFirstMatch()
    {
        QFETCH(QString, text);
        QFETCH(QString, term);
        QFETCH(QString, shown);
        std::optional<ContentText::Snippet> snippet = ContentText::snippet(text, term, 3);
        QCOMPARE(snippet ? snippet->before + QLatin1Char('[') + snippet->match + QLatin1Char(']') +
                               snippet->after
                         : QStringLiteral("-"),
                 shown);
    }
};

QTEST_GUILESS_MAIN(TestContentSearch)
#include "test_content_search.moc"
