#include "gui_support/GridFixture.h"
#include "integrity/gui/CheckFace.h"
#include "store/folder/StoreFiles.h"
#include "support/TestFiles.h"
#include "support/gui/MessageBox.h"
#include "support/gui/SaveDialog.h"

#include <QCheckBox>
#include <QDateTime>
#include <QFile>
#include <QLabel>
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
    void findingsAreListedAndLeftoversRemovedAfterAsking()
    {
        // The window of its own: nothing of the main window is needed.
        GridFixture fixture(false);
        fixture.temp().addRecord(1, QStringLiteral("kept.txt"), {}, {},
                                 QStringLiteral("2020-01-02"), {}, {}, "kept");
        fixture.temp().addRecord(2, QStringLiteral("lost.txt"));
        const QString store = fixture.temp().reg().storeFolder();
        const QString leftover = store + QLatin1Char('/') + StoreFiles::partName();
        writeOld(leftover, "partial");
        writeOld(store + QStringLiteral("/stray.txt"), "stray");

        auto* face = CheckFace::showFor(fixture.window(), fixture.temp().reg());
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

        // Asking again brings up the same window.
        QCOMPARE(CheckFace::showFor(fixture.window(), fixture.temp().reg()), face);
        QCOMPARE(fixture.window()->findChildren<CheckFace*>().size(), 1);

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

        // The findings can be kept as a text file.
        QTemporaryDir saved;
        const QString path = saved.filePath(QStringLiteral("检查.txt"));
        SaveDialog::setScripted(true);
        SaveDialog::setNextAnswer(path);
        face->findChild<QPushButton*>(QStringLiteral("SaveReportCommand"))->click();
        SaveDialog::setScripted(false);
        const QString text = QString::fromUtf8(TestFiles::read(path));
        QVERIFY2(text.contains(QStringLiteral("缺少副本：")) &&
                     text.contains(QStringLiteral("lost.txt")),
                 qPrintable(text));
        face->close();
        QTRY_VERIFY(!fixture.window()->findChild<CheckFace*>());
    }
};

QTEST_MAIN(TestCheckFace)
#include "test_check_face.moc"
