#include "browser/gui/MshfGrid.h"
#include "gui_support/GridFixture.h"
#include "intake/gui/IntakeArea.h"
#include "intake/gui/SelectFace.h"
#include "store/RegisterNames.h"
#include "store/sql/Sql.h"
#include "support/TestFiles.h"
#include "support/gui/ClosingSequence.h"
#include "support/gui/MessageBox.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QDir>
#include <QDropEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

// The grid and the intake of what is dropped on it, without a main window.
struct DropFixture : GridFixture {
    explicit DropFixture(bool start = true) : GridFixture(start)
    {
        area = new IntakeArea(temp().reg(), window());
        QObject::connect(grid(), &MshfGrid::filesDropped, area, &IntakeArea::filesDropped);
    }
    SelectFace* form() const { return area->form(); }
    IntakeArea* area = nullptr;
};

class TestAddForm : public QObject {
    Q_OBJECT

    QTemporaryDir m_sources;

    QString source(const QString& name, const QByteArray& content = "content")
    {
        const QString path = m_sources.filePath(name);
        TestFiles::write(path, content);
        return path;
    }

    // A real drop event on the grid, as a file manager sends it.
    static void drop(DropFixture& fixture, QMimeData* data)
    {
        QWidget* viewport = fixture.grid()->viewport();
        // A drop reaches only the widget that accepted the drag's entry.
        QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &enter);
        QDropEvent event(QPointF(20, 20), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &event);
        delete data;
    }

    static void dropFiles(DropFixture& fixture, const QStringList& paths)
    {
        auto* data = new QMimeData;
        QList<QUrl> urls;
        for (const QString& path : paths)
            urls << QUrl::fromLocalFile(path);
        data->setUrls(urls);
        drop(fixture, data);
    }

    static QStringList lines(SelectFace* form)
    {
        QStringList result;
        for (int i = 0; i < form->List1()->count(); ++i)
            result << form->List1()->item(i)->text();
        return result;
    }

    // A form of its own on the fixture's register, listing `paths`.
    static SelectFace* formFor(GridFixture& fixture, const QStringList& paths)
    {
        auto* form = new SelectFace(fixture.temp().reg(), fixture.window());
        form->addFiles(paths);
        form->show();
        return form;
    }

private Q_SLOTS:
    void dropOpensTheFormWithNamesAndToday()
    {
        DropFixture fixture;
        const QStringList paths = {source(QStringLiteral("b.txt")),
                                   source(QStringLiteral("报告.doc")),
                                   source(QStringLiteral("a.txt"))};
        dropFiles(fixture, paths);
        SelectFace* form = fixture.form();
        QVERIFY(form);
        QVERIFY(form->isVisible());
        QCOMPARE(form->windowTitle(), QStringLiteral("添加记录"));
        QVERIFY(!form->isModal());
        QCOMPARE(lines(form), (QStringList{QStringLiteral("b.txt"), QStringLiteral("报告.doc"),
                                           QStringLiteral("a.txt")}));
        QCOMPARE(form->DroppedPaths(), paths);
        QCOMPARE(form->Text1()->text(), QDate::currentDate().toString(QStringLiteral("yyyy-MM-d")));
        QVERIFY(form->RemarksText()->toPlainText().isEmpty());
        for (int i = 0; i < 3; ++i)
            QVERIFY(form->Combo1(i)->currentText().isEmpty());
        QCOMPARE(form->Combo1(0)->count(), 2);
        QCOMPARE(form->Combo1(0)->itemText(0), QStringLiteral("自己"));
        QCOMPARE(form->Combo1(1)->count(), 5);
        QCOMPARE(form->findChild<QPushButton*>(QStringLiteral("FixedCommand"))->text(),
                 QStringLiteral("保存文件"));
        QCOMPARE(form->findChild<QPushButton*>(QStringLiteral("CancelCommand"))->text(),
                 QStringLiteral("关闭窗口"));
        QCOMPARE(form->size(), QSize(425, 363));
        QCOMPARE(form->List1()->geometry(), QRect(16, 24, 185, 184));
        QCOMPARE(form->Combo1(2)->geometry(), QRect(224, 328, 185, 20));
    }

    void dropsWithoutFilesOpenNothing()
    {
        DropFixture fixture;
        auto* text = new QMimeData;
        text->setText(QStringLiteral("just text"));
        drop(fixture, text);
        auto* web = new QMimeData;
        web->setUrls({QUrl(QStringLiteral("https://example.org/a.txt"))});
        drop(fixture, web);
        QVERIFY(!fixture.form());
        QVERIFY(MessageBox::takeLog().isEmpty());

        // A folder is skipped with a note; the files beside it are listed.
        QDir(m_sources.path()).mkpath(QStringLiteral("资料"));
        dropFiles(fixture,
                  {m_sources.filePath(QStringLiteral("资料")), source(QStringLiteral("c.txt"))});
        QTRY_COMPARE(MessageBox::log().size(), 1);
        const QList<MessageBox::Shown> log = MessageBox::takeLog();
        QVERIFY(log[0].text.contains(QStringLiteral("资料")));
        SelectFace* form = fixture.form();
        QVERIFY(form);
        QCOMPARE(lines(form), QStringList{QStringLiteral("c.txt")});
    }

    void secondDropExtendsListAndPaths()
    {
        DropFixture fixture;
        dropFiles(fixture, {source(QStringLiteral("one.txt"), "1")});
        SelectFace* form = fixture.form();
        form->Text1()->setText(QStringLiteral("2001-02-03"));
        dropFiles(fixture, {source(QStringLiteral("two.txt"), "2"),
                            source(QStringLiteral("three.txt"), "3")});
        QCOMPARE(fixture.form(), form);
        QCOMPARE(lines(form), (QStringList{QStringLiteral("one.txt"), QStringLiteral("two.txt"),
                                           QStringLiteral("three.txt")}));
        for (int i = 0; i < 3; ++i)
            QCOMPARE(QFileInfo(form->DroppedPaths().at(i)).fileName(), lines(form).at(i));
        // What the user typed survives the second drop.
        QCOMPARE(form->Text1()->text(), QStringLiteral("2001-02-03"));

        form->FixedCommand_Click();
        QTRY_VERIFY(!fixture.form());
        // Each record holds the content of its own file.
        Result<QSqlQuery> query =
            Sql::run(fixture.temp().reg().database(),
                     QStringLiteral("SELECT 文件名, 路径 FROM %1 ORDER BY 文件序号")
                         .arg(Sql::identifier(RegisterNames::recordTable)));
        QStringList seen;
        while (query && query->next()) {
            const QString copy = fixture.temp().reg().storedCopyPath(query->value(1).toString());
            seen << query->value(0).toString() + QLatin1Char('=') +
                        QString::fromUtf8(TestFiles::read(copy));
        }
        QCOMPARE(seen, (QStringList{QStringLiteral("one.txt=1"), QStringLiteral("two.txt=2"),
                                    QStringLiteral("three.txt=3")}));
    }

    void invalidDateIsRefused()
    {
        GridFixture fixture;
        SelectFace* form = formFor(fixture, {source(QStringLiteral("x.txt"))});
        form->Text1()->setText(QStringLiteral("2006-13-01"));
        QTest::mouseClick(form->findChild<QPushButton*>(QStringLiteral("FixedCommand")),
                          Qt::LeftButton);
        const QList<MessageBox::Shown> log = MessageBox::takeLog();
        QCOMPARE(log.size(), 1);
        QCOMPARE(log[0].text, QStringLiteral("请输入一个有效的日期"));
        QCOMPARE(log[0].caption, QStringLiteral("警告"));
        QTest::qWait(50);
        QVERIFY(form->isVisible());
        QVERIFY(fixture.temp().serials().isEmpty());
        QVERIFY(QDir(fixture.temp().reg().storeFolder()).isEmpty());
    }

    void confirmRegistersReportsAndCloses()
    {
        GridFixture fixture(false);
        for (int serial = 1; serial <= 41; ++serial)
            fixture.temp().addRecord(serial, QStringLiteral("old%1.txt").arg(serial));
        QPointer<SelectFace> form = formFor(fixture, {source(QStringLiteral("a.txt")),
                                                      source(QStringLiteral("empty.txt"), {}),
                                                      source(QStringLiteral("b.txt"))});
        QSignalSpy started(form.data(), &SelectFace::saveStarted);
        QSignalSpy registered(form.data(), &SelectFace::registered);
        QSignalSpy folders(form.data(), &SelectFace::foldersChanged);
        form->RemarksText()->setPlainText(QStringLiteral("说明"));
        form->Combo1(0)->setEditText(QStringLiteral("张三"));
        form->Combo1(2)->setEditText(QStringLiteral("合同"));
        QTest::mouseClick(form->findChild<QPushButton*>(QStringLiteral("FixedCommand")),
                          Qt::LeftButton);
        QCOMPARE(started.size(), 1);
        QTRY_VERIFY(form && form->closingSequence()->isRunning());
        QCOMPARE(registered.size(), 1);
        QCOMPARE(registered.first().first().value<QList<qint64>>(), (QList<qint64>{42, 43}));
        QVERIFY(folders.isEmpty());
        QTRY_VERIFY(!form || form->isHidden());
        QTRY_VERIFY(!form);
        QCOMPARE(folders.size(), 1);

        // The empty file is refused; b.txt has a.txt's content, which is
        // registered anyway with a note naming the earlier record.
        const QList<MessageBox::Shown> log = MessageBox::takeLog();
        QCOMPARE(log.size(), 2);
        QCOMPARE(log[0].text, QStringLiteral("不能保存大小为0的文件"));
        QCOMPARE(log[0].caption, QStringLiteral("警告"));
        QVERIFY2(log[1].text.contains(QStringLiteral("b.txt")) &&
                     log[1].text.contains(QStringLiteral("记录 42“a.txt”相同")),
                 qPrintable(log[1].text));
        QCOMPARE(fixture.temp().serials().mid(41), (QList<qint64>{42, 43}));
    }

    // The lists help, but what is typed is what is stored: no inline
    // completion, and Enter does not swap qq for the stored QQ.
    void typedTextIsStoredAsTyped()
    {
        GridFixture fixture(false);
        fixture.temp().addRecord(1, QStringLiteral("old.txt"), QStringLiteral("Alice"),
                                 QStringLiteral("ProjectA"));
        QPointer<SelectFace> form = formFor(fixture, {source(QStringLiteral("typed.txt"))});
        form->activateWindow();
        const char* typed[] = {"a", "qq", "p"};
        for (int i = 0; i < 3; ++i) {
            form->Combo1(i)->setFocus();
            QTest::keyClicks(form->Combo1(i), QString::fromLatin1(typed[i]));
            QTest::keyClick(form->Combo1(i), Qt::Key_Return);
            QCOMPARE(form->Combo1(i)->currentText(), QString::fromLatin1(typed[i]));
        }
        form->FixedCommand_Click();
        QTRY_VERIFY(!form);
        Result<QSqlQuery> query = Sql::run(
            fixture.temp().reg().database(),
            QStringLiteral("SELECT 接收人, 传送方式, 文件夹 FROM %1 WHERE 文件名 = 'typed.txt'")
                .arg(Sql::identifier(RegisterNames::recordTable)));
        QVERIFY(query && query->next());
        for (int i = 0; i < 3; ++i)
            QCOMPARE(query->value(i).toString(), QString::fromLatin1(typed[i]));
    }

    // A click beside the open list of suggestions closes it and still acts.
    void clickBesideSuggestionsActs()
    {
        GridFixture fixture(false);
        fixture.temp().addRecord(1, QStringLiteral("old.txt"), QStringLiteral("Alice"));
        QPointer<SelectFace> form = formFor(fixture, {source(QStringLiteral("c.txt"))});
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form));
        QWidget* popup = form->Combo1(0)->completer()->popup();
        const auto suggest = [&] {
            form->Combo1(0)->setFocus();
            form->Combo1(0)->clearEditText();
            QTest::keyClicks(form->Combo1(0), QStringLiteral("A"));
            QTRY_VERIFY(popup->isVisible());
        };
        const auto click = [&](QWidget* target) {
            const QPoint at = target->mapTo(form.data(), target->rect().center());
            QTest::mouseClick(form->windowHandle(), Qt::LeftButton, {}, at);
        };
        suggest();
        click(form->Combo1(1));
        QVERIFY(!popup->isVisible());
        QVERIFY(form->Combo1(1)->hasFocus());
        suggest();
        QSignalSpy started(form.data(), &SelectFace::saveStarted);
        click(form->findChild<QPushButton*>(QStringLiteral("FixedCommand")));
        QTRY_COMPARE(started.size(), 1);
        QTRY_VERIFY(!form);
    }

    void closeWindowWritesNothing()
    {
        DropFixture fixture;
        dropFiles(fixture, {source(QStringLiteral("x.txt"))});
        QPointer<SelectFace> form = fixture.form();
        QTest::mouseClick(form->findChild<QPushButton*>(QStringLiteral("CancelCommand")),
                          Qt::LeftButton);
        QTRY_VERIFY(!form);
        QVERIFY(fixture.temp().serials().isEmpty());
        QVERIFY(QDir(fixture.temp().reg().storeFolder()).isEmpty());
        // The next drop gets a fresh form.
        dropFiles(fixture, {source(QStringLiteral("y.txt"))});
        QCOMPARE(lines(fixture.form()), QStringList{QStringLiteral("y.txt")});
    }
};

QTEST_MAIN(TestAddForm)
#include "test_add_form.moc"
