// Opening the register before the main window: a register of an older
// version is brought up to date behind a window that shows how far it is;
// a current one opens without any window.

#include "app/RegisterOpening.h"
#include "store/RegisterNames.h"
#include "store/sql/Sql.h"
#include "store/sqlite/Schema.h"
#include "store/view/SearchIndexes.h"
#include "support/LegacyFixture.h"
#include "support/TempRegister.h"
#include "support/gui/MessageBox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProgressDialog>
#include <QSqlQuery>
#include <QTest>
#include <QTimer>

namespace {

int recordCount(const Register& reg)
{
    return Sql::scalar(reg.database(), QStringLiteral("SELECT count(*) FROM %1")
                                           .arg(Sql::identifier(RegisterNames::recordTable)))
        ->toInt();
}

// Watches the top-level windows while the opening runs.
class DialogWatch : public QObject {
public:
    DialogWatch()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            for (QWidget* window : QApplication::topLevelWidgets()) {
                auto* dialog = qobject_cast<QProgressDialog*>(window);
                if (dialog && dialog->isVisible()) {
                    m_seen = true;
                    m_label = dialog->labelText();
                    m_highest = std::max(m_highest, dialog->value());
                }
            }
        });
        m_timer.start(10);
    }
    bool seen() const { return m_seen; }
    QString label() const { return m_label; }
    int highest() const { return m_highest; }

private:
    QTimer m_timer;
    bool m_seen = false;
    QString m_label;
    int m_highest = -1;
};

bool anyVisibleProgress()
{
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (qobject_cast<QProgressDialog*>(window) && window->isVisible())
            return true;
    }
    return false;
}

} // namespace

class TestRegisterOpening : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void currentRegisterOpensWithoutAWindow()
    {
        TempRegister temp;
        temp.addRecord(1, QStringLiteral("a.txt"));
        temp.reg().closeConnection();
        DialogWatch watch;
        Result<Register> reg = openRegisterShowingProgress(temp.folder(), 0);
        QVERIFY(reg.ok());
        QCOMPARE(recordCount(*reg), 1);
        QVERIFY(!watch.seen());
    }

    void olderRegisterIsUpdatedBehindAProgressWindow()
    {
        TempRegister temp;
        {
            // Enough records that building the indexes takes a moment.
            QSqlQuery query(temp.reg().database());
            QVERIFY(query.exec(QStringLiteral(
                "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 40000) "
                "INSERT INTO 文件管理 (文件序号, 发件日期, 文件名, 路径, 备注, 接收人, 传送方式, "
                "文件夹) SELECT i, '2020-01-02', '季度报告' || i || '_final.docx', i || '.docx', "
                "'发给客户的第' || i || '份修订稿，请查收并回复意见', '客户' || (i % 200), "
                "'邮件', '资料' || (i % 50) FROM n")));
            for (const char* sql :
                 {"DROP TRIGGER 文件管理_索引_新增", "DROP TRIGGER 文件管理_索引_删除",
                  "DROP TRIGGER 文件管理_取值_修改", "DROP TRIGGER 文件管理_文件名全文_修改",
                  "DROP TRIGGER 文件管理_备注全文_修改", "DROP TABLE 文件管理_取值",
                  "DROP TABLE 文件管理_文件名全文", "DROP TABLE 文件管理_备注全文",
                  "PRAGMA user_version = 2"})
                QVERIFY2(query.exec(QString::fromUtf8(sql)), sql);
        }
        temp.reg().closeConnection();

        DialogWatch watch;
        QElapsedTimer timer;
        timer.start();
        Result<Register> reg = openRegisterShowingProgress(temp.folder(), 0);
        QVERIFY2(reg.ok(), qPrintable(reg ? QString() : reg.error().fullText()));
        QVERIFY2(watch.seen(),
                 qPrintable(QStringLiteral("opening took %1 ms").arg(timer.elapsed())));
        QVERIFY(watch.label().contains(QStringLiteral("建立索引")));
        QVERIFY(watch.highest() >= 0);
        QVERIFY(!anyVisibleProgress());
        // The window's thread gets a working connection of its own.
        QVERIFY(SearchIndexes::complete(reg->database()));
        QCOMPARE(Sql::scalar(reg->database(), QStringLiteral("PRAGMA user_version"))->toInt(),
                 Schema::currentVersion);
    }

    // An old Jet register: the user is asked; no leaves every byte as it
    // was and says how to convert later, yes converts behind
    // a progress window and reports what was done.
    void oldRegisterIsConvertedOnlyWhenTheUserAgrees_data()
    {
        QTest::addColumn<bool>("agree");
        QTest::newRow("no") << false;
        QTest::newRow("yes") << true;
    }

    void oldRegisterIsConvertedOnlyWhenTheUserAgrees()
    {
        QFETCH(bool, agree);
        QTemporaryDir dir;
        const QString folder = LegacyFixture::copy(dir, QStringLiteral("typical"));
        const auto before = LegacyFixture::digests(folder);
        MessageBox::setScripted(true);
        MessageBox::setNextAnswer(agree ? MessageBox::Yes : MessageBox::No);
        DialogWatch watch;
        bool declined = !agree;
        Result<Register> reg = openRegisterShowingProgress(folder, 0, &declined);
        const QList<MessageBox::Shown> shown = MessageBox::takeLog();
        MessageBox::setScripted(false);
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown.first().kind, MessageBox::Question);
        QVERIFY(shown.first().text.contains(QStringLiteral("旧的数据库文件会保留下来")));
        QCOMPARE(declined, !agree);
        if (!agree) {
            // Not now is a choice: the person hears how to convert later.
            QVERIFY(!reg);
            QCOMPARE(shown.at(1).kind, MessageBox::Information);
            QVERIFY(shown.at(1).text.contains(QStringLiteral("保持原样")));
            QVERIFY(shown.at(1).text.contains(QStringLiteral("quorvel-cli --register")));
            QVERIFY(LegacyFixture::digests(folder) == before);
            return;
        }
        QVERIFY2(reg, qPrintable(reg ? QString() : reg.error().fullText()));
        QCOMPARE(recordCount(*reg), 60);
        QVERIFY(watch.seen());
        QVERIFY(watch.label().contains(QStringLiteral("转换")));
        // The missing copy is news the user must see: a warning, not a note.
        QCOMPARE(shown.at(1).kind, MessageBox::Warning);
        QVERIFY(shown.at(1).text.contains(QStringLiteral("发票扫描.aOtfKKZq8v.pdf")));
        reg->closeConnection();
    }
};

QTEST_MAIN(TestRegisterOpening)
#include "test_register_opening.moc"
