#include "gui_support/FaceFixture.h"
#include "integrity/gui/CheckFace.h"
#include "store/StoreFiles.h"
#include "support/gui/MessageBox.h"
#include "support/gui/SaveDialog.h"

#include <QCheckBox>
#include <QDateTime>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

namespace {

void writeOld(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    QVERIFY(file.flush());
    QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-600),
                             QFileDevice::FileModificationTime));
}

QStringList listed(CheckFace* face)
{
    QStringList rows;
    auto* list = face->findChild<QTableWidget*>(QStringLiteral("FindingsList"));
    for (int i = 0; i < list->rowCount(); ++i)
        rows << list->item(i, 0)->text() + QLatin1Char(' ') + list->item(i, 1)->text();
    return rows;
}

} // namespace

class TestCheckFace : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void menuItemEndsTheOptionsMenu()
    {
        FaceFixture fixture;
        QMenu* options = fixture.face().topMenu(4);
        QCOMPARE(options->title(), QStringLiteral("选项(&O)"));
        QAction* last = options->actions().last();
        QCOMPARE(last->objectName(), QStringLiteral("CheckMenuInterFace"));
        QCOMPARE(last->text(), QStringLiteral("检查登记库"));
    }

    // 备份登记库… sits before the check: into a new folder it backs up and
    // says so; a folder holding other files is refused with a warning.
    void backupMenuItemBacksUpIntoTheChosenFolder()
    {
        FaceFixture fixture(false);
        fixture.temp().addRecord(1, QStringLiteral("kept.txt"), {}, {},
                                 QStringLiteral("2020-01-02"), {}, {}, "kept");
        fixture.start();
        const QList<QAction*> items = fixture.face().topMenu(4)->actions();
        QCOMPARE(items.at(items.size() - 2)->objectName(), QStringLiteral("BackupMenuInterFace"));
        QTemporaryDir place;
        SaveDialog::setScripted(true);
        MessageBox::takeLog();
        SaveDialog::setNextAnswer(place.filePath(QStringLiteral("backup")));
        fixture.trigger(QStringLiteral("BackupMenuInterFace"));
        QList<MessageBox::Shown> log = MessageBox::takeLog();
        QCOMPARE(log.size(), 1);
        QCOMPARE(log.first().kind, MessageBox::Information);
        QVERIFY2(log.first().text.contains(QStringLiteral("1 个存储副本")),
                 qPrintable(log.first().text));
        QVERIFY(QFile::exists(place.filePath(QStringLiteral("backup/随机文件/kept.txt"))));

        writeOld(place.filePath(QStringLiteral("other.txt")), "mine");
        SaveDialog::setNextAnswer(place.path());
        fixture.trigger(QStringLiteral("BackupMenuInterFace"));
        log = MessageBox::takeLog();
        SaveDialog::setScripted(false);
        QCOMPARE(log.size(), 1);
        QCOMPARE(log.first().kind, MessageBox::Warning);
        QVERIFY(log.first().text.contains(QStringLiteral("不是空的")));
    }

    void findingsAreListedAndLeftoversRemovedAfterAsking()
    {
        FaceFixture fixture(false);
        fixture.temp().addRecord(1, QStringLiteral("kept.txt"), {}, {},
                                 QStringLiteral("2020-01-02"), {}, {}, "kept");
        fixture.temp().addRecord(2, QStringLiteral("lost.txt"));
        fixture.start();
        const QString store = fixture.temp().reg().storeFolder();
        const QString leftover = store + QLatin1Char('/') + StoreFiles::partName();
        writeOld(leftover, "partial");
        writeOld(store + QStringLiteral("/stray.txt"), "stray");

        fixture.trigger(QStringLiteral("CheckMenuInterFace"));
        auto* face = fixture.face().findChild<CheckFace*>();
        QVERIFY(face);
        QVERIFY(face->isVisible());
        QTRY_VERIFY(!face->isRunning() && face->lastReport());
        QStringList rows = listed(face);
        QCOMPARE(rows.size(), 3);
        QVERIFY(
            rows.filter(QStringLiteral("缺少副本")).first().contains(QStringLiteral("lost.txt")));
        QVERIFY(
            rows.filter(QStringLiteral("多余文件")).first().contains(QStringLiteral("stray.txt")));
        QCOMPARE(rows.filter(QStringLiteral("残留文件")).size(), 1);
        auto* repair = face->findChild<QPushButton*>(QStringLiteral("RepairCommand"));
        QVERIFY(repair->isEnabled());

        // The menu item again brings up the same window.
        fixture.trigger(QStringLiteral("CheckMenuInterFace"));
        QCOMPARE(fixture.face().findChildren<CheckFace*>().size(), 1);

        // Answering No keeps the file.
        MessageBox::takeLog();
        MessageBox::setNextAnswer(MessageBox::No);
        repair->click();
        QCOMPARE(MessageBox::takeLog().size(), 1);
        QVERIFY(!face->isRunning());
        QVERIFY(QFile::exists(leftover));

        MessageBox::setNextAnswer(MessageBox::Yes);
        repair->click();
        QTRY_VERIFY(!face->isRunning() && !repair->isEnabled());
        QVERIFY(!QFile::exists(leftover));
        QVERIFY(QFile::exists(store + QStringLiteral("/stray.txt")));
        QVERIFY(QFile::exists(store + QStringLiteral("/kept.txt")));
        QVERIFY(listed(face)
                    .filter(QStringLiteral("残留文件"))
                    .first()
                    .contains(QStringLiteral("已删除")));
        QVERIFY(face->findChild<QLabel*>(QStringLiteral("StatusLabel"))
                    ->text()
                    .contains(QStringLiteral("有 2 项需要处理")));

        // Verifying on request reads the copies; the older record has no hash.
        face->findChild<QCheckBox*>(QStringLiteral("VerifyCheck"))->setChecked(true);
        face->findChild<QPushButton*>(QStringLiteral("CheckCommand"))->click();
        QTRY_VERIFY(!face->isRunning());
        QVERIFY(face->lastReport()->verified);
        QCOMPARE(face->lastReport()->count(Integrity::Kind::NotHashed), 1);
        QCOMPARE(listed(face).size(), 2);
        face->close();
        QTRY_VERIFY(!fixture.face().findChild<CheckFace*>());
    }
};

QTEST_MAIN(TestCheckFace)
#include "test_check_face.moc"
