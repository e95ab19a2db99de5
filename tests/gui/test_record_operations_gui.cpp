#include "browser/gui/MshfGrid.h"
#include "browser/gui/RecordTableModel.h"
#include "gui_support/GridFixture.h"
#include "intake/LookupLists.h"
#include "modify/gui/AlterFace.h"
#include "operations/gui/DesktopOpener.h"
#include "operations/gui/RecordOperationsArea.h"
#include "store/RegisterNames.h"
#include "store/sql/Sql.h"
#include "support/RegisterKinds.h"
#include "support/TestFiles.h"
#include "support/gui/MessageBox.h"
#include "support/gui/SaveDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString notFound = QStringLiteral("文件未找到");

using TestFiles::read;
using TestFiles::write;

// The grid with its views and record operations, wired as the main window
// wires the grid's own requests and the modify form.
struct Operations : GridFixture {
    explicit Operations(bool start = true, Register::Kind kind = Register::Kind::Sqlite)
        : GridFixture(start, kind)
    {
        ops = new RecordOperationsArea(temp().reg(), grid(), window());
        QObject::connect(grid(), &MshfGrid::openRequested, ops, &RecordOperationsArea::open);
        QObject::connect(grid(), &MshfGrid::rightButtonPressed, ops,
                         &RecordOperationsArea::gridRightButton);
        QObject::connect(ops, &RecordOperationsArea::modifyRequested, ops,
                         [this](const QList<SeenRecord>& records) {
                             auto* form = new AlterFace(temp().reg(), records, window());
                             QObject::connect(form, &AlterFace::changed, ops,
                                              &RecordOperationsArea::showChanged);
                             form->showModal();
                         });
    }
    RecordOperationsArea* ops = nullptr;
};

QString column(const Register& reg, qint64 rowid, const QString& name)
{
    return Sql::scalar(reg.database(),
                       QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?")
                           .arg(Sql::identifier(name), Sql::identifier(RegisterNames::recordTable),
                                TempRegister::identityColumn(reg)),
                       {rowid})
        .value()
        .toString();
}

// Adds records f1..fn with stored copies holding "content i".
QList<qint64> addRecords(TempRegister& temp, int count, const QString& folder = {})
{
    QList<qint64> rowids;
    for (int i = 1; i <= count; ++i)
        rowids << temp.addRecord(i, QStringLiteral("f%1.txt").arg(i), QStringLiteral("张三"),
                                 folder, QStringLiteral("2020-01-02"),
                                 QStringLiteral("备注%1").arg(i), QStringLiteral("Email"),
                                 QStringLiteral("content %1").arg(i).toUtf8());
    return rowids;
}

AlterFace* findAlterFace(const Operations& f)
{
    return f.window()->findChild<AlterFace*>(QStringLiteral("AlterFace"));
}

} // namespace

class TestRecordOperationsGui : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void placeholderRowDoesNothing();
    void missingStoredCopyIsReported();
    void openHandsCopyToDesktop();
    void repeatedOpensShareOneOpener();
    void saveAsOverwritesExactly();
    void sendToDesktopUpwardSelection();
    void deleteKeepsFileHeldOpen_data() { kinds(); }
    void deleteKeepsFileHeldOpen();
    void deleteLastOfFolderRebuildsMenuLater_data() { kinds(); }
    void deleteLastOfFolderRebuildsMenuLater();
    void moveUpAndDownSelectMovedRow_data() { kinds(); }
    void moveUpAndDownSelectMovedRow();
    void batchModifyRowsThreeToSix_data() { kinds(); }
    void batchModifyRowsThreeToSix();
    void singleModifyWritesAllFour_data() { kinds(); }
    void singleModifyWritesAllFour();
    void rightClickSelectsAndPopsUp();

private:
    QTemporaryDir m_home;
    QStringList m_opened;
    bool m_openerResult = true;
};

void TestRecordOperationsGui::initTestCase()
{
    // The desktop is a folder of the test's own, found as the desktop finds it.
    qputenv("HOME", QFile::encodeName(m_home.path()));
    QDir(m_home.path()).mkpath(QStringLiteral(".config"));
    QDir(m_home.path()).mkpath(QStringLiteral("桌面"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.filePath(QStringLiteral(".config"))));
    write(m_home.filePath(QStringLiteral(".config/user-dirs.dirs")),
          "XDG_DESKTOP_DIR=\"$HOME/桌面\"\n");
    DesktopOpener::setOpener([this](const QString& path) {
        m_opened << path;
        return m_openerResult;
    });
}

void TestRecordOperationsGui::init()
{
    SaveDialog::setScripted(true);
    m_opened.clear();
    m_openerResult = true;
    QDir desktop(m_home.filePath(QStringLiteral("桌面")));
    desktop.removeRecursively();
    QDir().mkpath(desktop.path());
}

void TestRecordOperationsGui::cleanup()
{
    SaveDialog::setScripted(false);
}

void TestRecordOperationsGui::placeholderRowDoesNothing()
{
    Operations f;
    MshfGrid* grid = f.grid();
    QCOMPARE(grid->Rows(), 2);
    grid->setRow(1);
    SaveDialog::setNextAnswer(m_home.filePath(QStringLiteral("never")));
    RecordOperationsArea* ops = f.ops;
    for (void (RecordOperationsArea::*command)() :
         {&RecordOperationsArea::openFromCommand, &RecordOperationsArea::saveAs,
          &RecordOperationsArea::sendToDesktop, &RecordOperationsArea::deleteRecord,
          &RecordOperationsArea::moveUp, &RecordOperationsArea::moveDown,
          &RecordOperationsArea::modify})
        (ops->*command)();
    QTest::keyClick(grid, Qt::Key_Return);
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {},
                       grid->visualRect(grid->model()->index(0, 0)).center());
    QCOMPARE(MessageBox::takeLog().size(), 0);
    QVERIFY(m_opened.isEmpty());
    QVERIFY(SaveDialog::takeSuggestions().isEmpty());
    QVERIFY(!findAlterFace(f));
    QVERIFY(QDir(m_home.filePath(QStringLiteral("桌面"))).isEmpty());
}

void TestRecordOperationsGui::missingStoredCopyIsReported()
{
    Operations f(false);
    f.temp().addRecord(1, QStringLiteral("gone.doc"));
    f.start();
    f.grid()->setRow(1);
    f.ops->openFromCommand();
    f.ops->saveAs();
    f.ops->sendToDesktop();
    QTest::keyClick(f.grid(), Qt::Key_Enter);
    const QList<MessageBox::Shown> log = MessageBox::takeLog();
    QCOMPARE(log.size(), 4);
    for (const MessageBox::Shown& shown : log) {
        QCOMPARE(shown.text, notFound);
        QCOMPARE(shown.caption, QStringLiteral("警告"));
        QCOMPARE(shown.kind, MessageBox::Warning);
    }
    QVERIFY(m_opened.isEmpty());
    QVERIFY(SaveDialog::takeSuggestions().isEmpty());
}

void TestRecordOperationsGui::openHandsCopyToDesktop()
{
    Operations f(false);
    addRecords(f.temp(), 3);
    f.start();
    MshfGrid* grid = f.grid();
    grid->selectRows(2, 3);
    QTest::keyClick(grid, Qt::Key_Return);
    QCOMPARE(m_opened, QStringList{f.temp().reg().storedCopyPath(QStringLiteral("f2.txt"))});
    QCOMPARE(grid->RowSel(), 3); // Enter leaves the selection alone

    m_openerResult = false;
    f.ops->openFromCommand();
    QCOMPARE(grid->RowSel(), 2); // the menu item collapses it first
    const QList<MessageBox::Shown> log = MessageBox::takeLog();
    QCOMPARE(log.size(), 1);
    QCOMPARE(log[0].text, QStringLiteral("程序无法直接打开该文件，用使用另存为功能"));
    QCOMPARE(log[0].caption, QStringLiteral("警告"));
}

void TestRecordOperationsGui::repeatedOpensShareOneOpener()
{
    Operations f(false);
    addRecords(f.temp(), 2);
    f.start();
    // A real opener that takes its time and then fails, as xdg-open does
    // for a type no program handles.
    const QString started = m_home.filePath(QStringLiteral("started"));
    DesktopOpener::setOpener({});
    DesktopOpener::setProgram(
        QStringLiteral("/bin/sh"),
        {QStringLiteral("-c"), QStringLiteral("echo x >> '%1'; sleep 0.5; exit 3").arg(started)});
    MessageBox::takeLog();
    f.grid()->setRow(1);
    for (int click = 0; click < 3; ++click)
        f.ops->open();
    QTRY_COMPARE(MessageBox::log().size(), 1);
    QTest::qWait(300);
    QCOMPARE(MessageBox::takeLog().size(), 1);
    QCOMPARE(read(started), QByteArray("x\n"));
    // Once it has ended, the record opens again.
    f.ops->open();
    QTRY_COMPARE(MessageBox::log().size(), 1);
    QCOMPARE(read(started), QByteArray("x\nx\n"));
    DesktopOpener::setProgram(QStringLiteral("xdg-open"));
    initTestCase();
}

void TestRecordOperationsGui::saveAsOverwritesExactly()
{
    Operations f(false);
    addRecords(f.temp(), 2);
    f.start();
    MshfGrid* grid = f.grid();
    grid->selectRows(2, 1);
    const QString target = m_home.filePath(QStringLiteral("typed-name.txt"));
    write(target, QByteArray(5000, 'o'));

    // No: the existing file stays as it was.
    SaveDialog::setNextAnswer(target);
    MessageBox::setNextAnswer(MessageBox::No);
    f.ops->saveAs();
    QCOMPARE(SaveDialog::takeSuggestions(), QStringList{QStringLiteral("f2.txt")});
    QCOMPARE(grid->RowSel(), 2);
    QList<MessageBox::Shown> log = MessageBox::takeLog();
    QCOMPARE(log.size(), 1);
    QCOMPARE(log[0].text, QStringLiteral("文件\r\nf2.txt\r\n已经存在,是否覆盖原文件？"));
    QCOMPARE(log[0].caption, QString());
    QCOMPARE(read(target), QByteArray(5000, 'o'));

    // Yes: an exact copy, no trailing bytes of the longer old file.
    SaveDialog::setNextAnswer(target);
    MessageBox::setNextAnswer(MessageBox::Yes);
    f.ops->saveAs();
    QCOMPARE(MessageBox::takeLog().size(), 1);
    QCOMPARE(read(target), QByteArray("content 2"));

    // Cancel: nothing written, nothing said.
    f.ops->saveAs();
    QVERIFY(MessageBox::takeLog().isEmpty());

    // A target that cannot be written is reported, not passed over.
    SaveDialog::setNextAnswer(m_home.filePath(QStringLiteral("no/such/folder/x.txt")));
    f.ops->saveAs();
    log = MessageBox::takeLog();
    QCOMPARE(log.size(), 1);
    QCOMPARE(log[0].kind, MessageBox::Warning);
}

void TestRecordOperationsGui::sendToDesktopUpwardSelection()
{
    Operations f(false);
    f.temp().addRecord(1, QStringLiteral("other.txt"), {}, {}, QStringLiteral("2020-01-02"), {}, {},
                       "x");
    f.temp().addRecord(2, QStringLiteral("report.doc"), {}, {}, QStringLiteral("2020-01-02"), {},
                       {}, "r2");
    // Same registered name, stored under another name, and this one's copy
    // is missing.
    const qint64 lost = f.temp().addRecord(3, QStringLiteral("lost.doc"));
    const qint64 dup = f.temp().addRecord(4, QStringLiteral("dup"), {}, {},
                                          QStringLiteral("2020-01-02"), {}, {}, "r4");
    QVERIFY(Sql::run(f.temp().reg().database(),
                     QStringLiteral("UPDATE %1 SET %2 = 'report.doc' WHERE rowid = ?")
                         .arg(Sql::identifier(RegisterNames::recordTable),
                              Sql::identifier(RegisterNames::fileName)),
                     {dup})
                .ok());
    Q_UNUSED(lost);
    f.start();
    const QDir desktop(m_home.filePath(QStringLiteral("桌面")));
    write(desktop.filePath(QStringLiteral("report.doc")), "already");

    // Selected from row 4 up to row 2.
    f.grid()->selectRows(4, 2);
    f.ops->sendToDesktop();
    QCOMPARE(read(desktop.filePath(QStringLiteral("report.doc"))), QByteArray("already"));
    QCOMPARE(read(desktop.filePath(QStringLiteral("report(1).doc"))), QByteArray("r2"));
    QCOMPARE(read(desktop.filePath(QStringLiteral("report(2).doc"))), QByteArray("r4"));
    QVERIFY(!desktop.exists(QStringLiteral("other.txt")));
    QVERIFY(!desktop.exists(QStringLiteral("lost.doc")));
    // One report at the end names the file that was not sent.
    const QList<MessageBox::Shown> log = MessageBox::takeLog();
    QCOMPARE(log.size(), 1);
    QVERIFY(log[0].text.contains(QStringLiteral("lost.doc")));
    QVERIFY(!log[0].text.contains(QStringLiteral("report.doc")));
    QCOMPARE(f.grid()->Row(), 4);
    QCOMPARE(f.grid()->RowSel(), 2);
}

void TestRecordOperationsGui::deleteKeepsFileHeldOpen()
{
    FETCH_KIND(kind);
    Operations f(false, kind);
    addRecords(f.temp(), 2);
    f.start();
    const QString path = f.temp().reg().storedCopyPath(QStringLiteral("f2.txt"));
    QProcess holder;
    holder.start(QStringLiteral("/bin/sh"),
                 {QStringLiteral("-c"), QStringLiteral("exec 3<\"$1\"; echo ready; sleep 30"),
                  QStringLiteral("sh"), path});
    QVERIFY(holder.waitForReadyRead(5000));

    f.grid()->selectRows(2, 1);
    MessageBox::setNextAnswer(MessageBox::Yes);
    f.ops->deleteRecord();
    holder.kill();
    holder.waitForFinished();
    const QList<MessageBox::Shown> log = MessageBox::takeLog();
    QCOMPARE(log.size(), 2);
    QCOMPARE(log[0].text, QStringLiteral("你真的要删除此文件吗？"));
    QCOMPARE(log[0].caption, QStringLiteral("警告"));
    QCOMPARE(log[1].text, QStringLiteral("文件处于打开状态，不能删除！"));
    QCOMPARE(f.temp().serials(), (QList<qint64>{1, 2}));
    QCOMPARE(read(path), QByteArray("content 2"));
    QCOMPARE(f.grid()->Rows(), 3);
    QCOMPARE(f.grid()->RowSel(), 2); // reduced to the current row

    // Answering No changes nothing either.
    f.ops->deleteRecord();
    QCOMPARE(f.temp().serials(), (QList<qint64>{1, 2}));
}

void TestRecordOperationsGui::deleteLastOfFolderRebuildsMenuLater()
{
    FETCH_KIND(kind);
    Operations f(false, kind);
    addRecords(f.temp(), 2);
    f.temp().addRecord(3, QStringLiteral("only.txt"), {}, QStringLiteral("独有"),
                       QStringLiteral("2020-01-02"), {}, {}, "only");
    f.start();
    QSignalSpy rebuilt(f.ops, &RecordOperationsArea::foldersChanged);
    f.grid()->setRow(3);
    MessageBox::setNextAnswer(MessageBox::Yes);
    f.ops->deleteRecord();
    QCOMPARE(f.temp().serials(), (QList<qint64>{1, 2}));
    QVERIFY(!QFile::exists(f.temp().reg().storedCopyPath(QStringLiteral("only.txt"))));
    // The grid lost the row in place; the menu follows a moment later.
    QCOMPARE(f.grid()->Rows(), 3);
    QCOMPARE(f.grid()->TextMatrix(2, RegisterRecord::FileNameColumn), QStringLiteral("f2.txt"));
    QCOMPARE(rebuilt.count(), 0);
    QTRY_COMPARE(rebuilt.count(), 1);
    QVERIFY(!LookupLists::folders(f.temp().reg()).value().contains(QStringLiteral("独有")));

    // Deleting every record leaves the empty view's placeholder row.
    for (int i = 0; i < 2; ++i) {
        f.grid()->setRow(1);
        MessageBox::setNextAnswer(MessageBox::Yes);
        f.ops->deleteRecord();
    }
    QVERIFY(f.temp().serials().isEmpty());
    QCOMPARE(f.grid()->Rows(), 2);
    QVERIFY(f.grid()->TextMatrix(1, RegisterRecord::StoredNameColumn).isEmpty());
}

void TestRecordOperationsGui::moveUpAndDownSelectMovedRow()
{
    FETCH_KIND(kind);
    Operations f(false, kind);
    const QList<qint64> rowids = addRecords(f.temp(), 6);
    f.start();
    MshfGrid* grid = f.grid();
    grid->setRow(5);
    f.ops->moveUp();
    QCOMPARE(grid->Row(), 4);
    QCOMPARE(grid->RowSel(), 4);
    QCOMPARE(grid->selectionModel()->selectedIndexes().size(), RegisterRecord::ColumnCount);
    QCOMPARE(grid->TextMatrix(4, RegisterRecord::FileNameColumn), QStringLiteral("f5.txt"));
    QCOMPARE(grid->TextMatrix(5, RegisterRecord::FileNameColumn), QStringLiteral("f4.txt"));
    QCOMPARE(column(f.temp().reg(), rowids[4], RegisterNames::serial), QStringLiteral("4"));
    QCOMPARE(column(f.temp().reg(), rowids[3], RegisterNames::serial), QStringLiteral("5"));

    f.ops->moveDown();
    QCOMPARE(grid->Row(), 5);
    QCOMPARE(grid->TextMatrix(5, RegisterRecord::FileNameColumn), QStringLiteral("f5.txt"));
    QCOMPARE(f.temp().serials(), (QList<qint64>{1, 2, 3, 4, 5, 6}));
    QCOMPARE(column(f.temp().reg(), rowids[4], RegisterNames::serial), QStringLiteral("5"));

    // A multi-row selection moves only the current row; the ends do nothing.
    grid->selectRows(1, 3);
    f.ops->moveUp();
    grid->setRow(6);
    f.ops->moveDown();
    QCOMPARE(column(f.temp().reg(), rowids[0], RegisterNames::serial), QStringLiteral("1"));
    QCOMPARE(column(f.temp().reg(), rowids[5], RegisterNames::serial), QStringLiteral("6"));
    QVERIFY(MessageBox::takeLog().isEmpty());
}

void TestRecordOperationsGui::batchModifyRowsThreeToSix()
{
    FETCH_KIND(kind);
    Operations f(false, kind);
    const QList<qint64> rowids = addRecords(f.temp(), 8, QStringLiteral("旧"));
    f.start();
    MshfGrid* grid = f.grid();
    grid->selectRows(6, 3); // dragged upwards
    f.ops->modify();
    AlterFace* form = findAlterFace(f);
    QVERIFY(form);
    QVERIFY(form->isVisible());
    QVERIFY(form->isModal());
    QCOMPARE(form->windowTitle(), QStringLiteral("修改记录"));
    QCOMPARE(form->mode(), AlterFace::Mode::Batch);
    QCOMPARE(form->findChild<QLabel*>(QStringLiteral("Label1"))->text(),
             QStringLiteral("批量文件修改参数"));
    auto* list = form->findChild<QListWidget*>(QStringLiteral("FileList"));
    QCOMPARE(list->count(), 4);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(list->item(i)->text(), QStringLiteral("f%1.txt").arg(i + 3));
    QVERIFY(!form->findChild<QPushButton*>(QStringLiteral("FixedCommand"))->isEnabled());
    auto* recipient = form->findChild<QComboBox*>(QStringLiteral("Combo1"));
    QVERIFY(recipient->currentText().isEmpty());
    QCOMPARE(recipient->itemText(0), QStringLiteral("自己"));
    QCOMPARE(form->findChild<QComboBox*>(QStringLiteral("Combo2"))->itemText(0), QString());

    // No: nothing changes and the form stays.
    recipient->setEditText(QStringLiteral("自己"));
    auto* button = form->findChild<QPushButton*>(QStringLiteral("AlterCommand1"));
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(column(f.temp().reg(), rowids[2], RegisterNames::recipient), QStringLiteral("张三"));
    QVERIFY(form->isVisible());

    MessageBox::setNextAnswer(MessageBox::Yes);
    QTest::mouseClick(button, Qt::LeftButton);
    const QList<MessageBox::Shown> log = MessageBox::takeLog();
    QCOMPARE(log.size(), 2);
    QCOMPARE(log[1].text,
             QStringLiteral("你正在批量修改多个文件的单项参数，该操作不可撤消！你要修改吗？"));
    QCOMPARE(log[1].caption, QStringLiteral("警告"));
    for (int i = 0; i < 8; ++i) {
        const bool inBatch = i >= 2 && i <= 5;
        QCOMPARE(column(f.temp().reg(), rowids[i], RegisterNames::recipient),
                 inBatch ? QStringLiteral("自己") : QStringLiteral("张三"));
        QCOMPARE(grid->TextMatrix(i + 1, RegisterRecord::RecipientColumn),
                 inBatch ? QStringLiteral("自己") : QStringLiteral("张三"));
        QCOMPARE(column(f.temp().reg(), rowids[i], RegisterNames::remark),
                 QStringLiteral("备注%1").arg(i + 1));
    }
    QPointer<AlterFace> closing = form;
    QTRY_VERIFY(!closing || !closing->isVisible());
    QTRY_VERIFY(!closing);
}

void TestRecordOperationsGui::singleModifyWritesAllFour()
{
    FETCH_KIND(kind);
    Operations f(false, kind);
    const QList<qint64> rowids = addRecords(f.temp(), 3, QStringLiteral("旧"));
    f.start();
    f.grid()->setRow(2);
    f.ops->modify();
    AlterFace* form = findAlterFace(f);
    QVERIFY(form);
    QCOMPARE(form->mode(), AlterFace::Mode::Single);
    QCOMPARE(form->findChild<QLabel*>(QStringLiteral("Label1"))->text(),
             QStringLiteral("单个文件参数修改"));
    auto* remark = form->findChild<QPlainTextEdit*>(QStringLiteral("Text1"));
    QCOMPARE(remark->toPlainText(), QStringLiteral("备注2"));
    QCOMPARE(form->findChild<QComboBox*>(QStringLiteral("Combo1"))->currentText(),
             QStringLiteral("张三"));
    QCOMPARE(form->findChild<QComboBox*>(QStringLiteral("Combo3"))->currentText(),
             QStringLiteral("旧"));
    for (int k = 0; k < 4; ++k)
        QVERIFY(
            !form->findChild<QPushButton*>(QStringLiteral("AlterCommand%1").arg(k))->isEnabled());

    remark->setPlainText(QString(160, QLatin1Char('z')));
    form->findChild<QComboBox*>(QStringLiteral("Combo2"))->setEditText(QString());
    form->findChild<QComboBox*>(QStringLiteral("Combo3"))->setEditText(QStringLiteral("新夹"));
    QTest::mouseClick(form->findChild<QPushButton*>(QStringLiteral("FixedCommand")),
                      Qt::LeftButton);
    QCOMPARE(column(f.temp().reg(), rowids[1], RegisterNames::remark),
             QString(150, QLatin1Char('z')));
    QCOMPARE(column(f.temp().reg(), rowids[1], RegisterNames::method), QString());
    QCOMPARE(column(f.temp().reg(), rowids[1], RegisterNames::folder), QStringLiteral("新夹"));
    QCOMPARE(column(f.temp().reg(), rowids[1], RegisterNames::recipient), QStringLiteral("张三"));
    QCOMPARE(column(f.temp().reg(), rowids[0], RegisterNames::folder), QStringLiteral("旧"));
    QCOMPARE(f.grid()->TextMatrix(2, RegisterRecord::FolderColumn), QStringLiteral("新夹"));
    QPointer<AlterFace> closing = form;
    QTRY_VERIFY(!closing);

    // Closing without saving writes nothing.
    f.ops->modify();
    form = findAlterFace(f);
    QVERIFY(form);
    form->findChild<QComboBox*>(QStringLiteral("Combo3"))->setEditText(QStringLiteral("别的"));
    closing = form;
    QTest::mouseClick(form->findChild<QPushButton*>(QStringLiteral("CancelCommand")),
                      Qt::LeftButton);
    QTRY_VERIFY(!closing);
    QCOMPARE(column(f.temp().reg(), rowids[1], RegisterNames::folder), QStringLiteral("新夹"));
}

void TestRecordOperationsGui::rightClickSelectsAndPopsUp()
{
    Operations f(false);
    addRecords(f.temp(), 10);
    f.start();
    MshfGrid* grid = f.grid();
    QSignalSpy menu(f.ops, &RecordOperationsArea::contextMenuRequested);
    auto rowCentre = [grid](int row) {
        return grid->visualRect(grid->model()->index(row - 1, 0)).center();
    };

    grid->setRow(3);
    // The header row: no change and no menu.
    Q_EMIT grid->rightButtonPressed(0, grid->mapToGlobal(QPoint(5, 5)));
    QVERIFY(menu.isEmpty());
    QCOMPARE(grid->Row(), 3);

    QTest::mouseClick(grid->viewport(), Qt::RightButton, {}, rowCentre(7));
    QCOMPARE(grid->Row(), 7);
    QCOMPARE(grid->RowSel(), 7);
    QCOMPARE(grid->selectionModel()->selectedIndexes().size(), RegisterRecord::ColumnCount);
    QCOMPARE(menu.size(), 1);

    grid->selectRows(3, 6);
    QTest::mouseClick(grid->viewport(), Qt::RightButton, {}, rowCentre(9));
    QCOMPARE(grid->Row(), 3);
    QCOMPARE(grid->RowSel(), 6);
    QCOMPARE(menu.size(), 2);
    QCOMPARE(menu.last().first().toPoint(), grid->viewport()->mapToGlobal(rowCentre(9)));
    f.ops->sendToDesktop();
    const QDir desktop(m_home.filePath(QStringLiteral("桌面")));
    QCOMPARE(desktop.entryList(QDir::Files, QDir::Name),
             (QStringList{QStringLiteral("f3.txt"), QStringLiteral("f4.txt"),
                          QStringLiteral("f5.txt"), QStringLiteral("f6.txt")}));
}

QTEST_MAIN(TestRecordOperationsGui)
#include "test_record_operations_gui.moc"
