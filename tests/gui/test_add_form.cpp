#include "browser/gui/MshfGrid.h"
#include "gui_support/FaceFixture.h"
#include "intake/gui/IntakeArea.h"
#include "intake/gui/SelectFace.h"
#include "store/Sql.h"
#include "support/gui/ClosingSequence.h"
#include "support/gui/MessageBox.h"

#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

class TestAddForm : public QObject {
    Q_OBJECT

    QTemporaryDir m_sources;

    QString source(const QString& name, const QByteArray& content = "content")
    {
        const QString path = m_sources.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            qFatal("cannot write test source");
        file.write(content);
        return path;
    }

    // A real drop event on the grid, as a file manager sends it.
    static void drop(FaceFixture& fixture, QMimeData* data)
    {
        QWidget* viewport = fixture.face().MSHF()->viewport();
        // A drop reaches only the widget that accepted the drag's entry.
        QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &enter);
        QDropEvent event(QPointF(20, 20), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &event);
        delete data;
    }

    static void dropFiles(FaceFixture& fixture, const QStringList& paths)
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

    static int recordCount(FaceFixture& fixture)
    {
        return Sql::scalar(fixture.temp().reg().database(),
                           QStringLiteral("SELECT count(*) FROM 文件管理"))
            ->toInt();
    }

private Q_SLOTS:
    void dropOpensTheFormWithNamesAndToday()
    {
        FaceFixture fixture;
        const QStringList paths = {source(QStringLiteral("b.txt")),
                                   source(QStringLiteral("报告.doc")),
                                   source(QStringLiteral("a.txt"))};
        dropFiles(fixture, paths);
        SelectFace* form = fixture.face().intake()->form();
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
        FaceFixture fixture;
        auto* text = new QMimeData;
        text->setText(QStringLiteral("just text"));
        drop(fixture, text);
        auto* web = new QMimeData;
        web->setUrls({QUrl(QStringLiteral("https://example.org/a.txt"))});
        drop(fixture, web);
        QVERIFY(!fixture.face().intake()->form());
        QVERIFY(MessageBox::takeLog().isEmpty());

        // A folder is skipped with a note; the files beside it are listed.
        QDir(m_sources.path()).mkpath(QStringLiteral("资料"));
        dropFiles(fixture,
                  {m_sources.filePath(QStringLiteral("资料")), source(QStringLiteral("c.txt"))});
        QTRY_COMPARE(MessageBox::log().size(), 1);
        const QList<MessageBox::Shown> log = MessageBox::takeLog();
        QVERIFY(log[0].text.contains(QStringLiteral("资料")));
        SelectFace* form = fixture.face().intake()->form();
        QVERIFY(form);
        QCOMPARE(lines(form), QStringList{QStringLiteral("c.txt")});
    }

    void secondDropExtendsListAndPaths()
    {
        FaceFixture fixture;
        dropFiles(fixture, {source(QStringLiteral("one.txt"), "1")});
        SelectFace* form = fixture.face().intake()->form();
        form->Text1()->setText(QStringLiteral("2001-02-03"));
        dropFiles(fixture, {source(QStringLiteral("two.txt"), "2"),
                            source(QStringLiteral("three.txt"), "3")});
        QCOMPARE(fixture.face().intake()->form(), form);
        QCOMPARE(lines(form), (QStringList{QStringLiteral("one.txt"), QStringLiteral("two.txt"),
                                           QStringLiteral("three.txt")}));
        for (int i = 0; i < 3; ++i)
            QCOMPARE(QFileInfo(form->DroppedPaths().at(i)).fileName(), lines(form).at(i));
        // What the user typed survives the second drop.
        QCOMPARE(form->Text1()->text(), QStringLiteral("2001-02-03"));

        form->FixedCommand_Click();
        QTRY_VERIFY(!fixture.face().intake()->form());
        // Each record holds the content of its own file.
        Result<QSqlQuery> query =
            Sql::run(fixture.temp().reg().database(),
                     QStringLiteral("SELECT 文件名, 路径 FROM 文件管理 ORDER BY 文件序号"));
        QStringList seen;
        while (query && query->next()) {
            QFile copy(fixture.temp().reg().storedCopyPath(query->value(1).toString()));
            QVERIFY(copy.open(QIODevice::ReadOnly));
            seen << query->value(0).toString() + QLatin1Char('=') +
                        QString::fromUtf8(copy.readAll());
        }
        QCOMPARE(seen, (QStringList{QStringLiteral("one.txt=1"), QStringLiteral("two.txt=2"),
                                    QStringLiteral("three.txt=3")}));
    }

    void invalidDateIsRefused()
    {
        FaceFixture fixture;
        dropFiles(fixture, {source(QStringLiteral("x.txt"))});
        SelectFace* form = fixture.face().intake()->form();
        form->Text1()->setText(QStringLiteral("2006-13-01"));
        QTest::mouseClick(form->findChild<QPushButton*>(QStringLiteral("FixedCommand")),
                          Qt::LeftButton);
        const QList<MessageBox::Shown> log = MessageBox::takeLog();
        QCOMPARE(log.size(), 1);
        QCOMPARE(log[0].text, QStringLiteral("请输入一个有效的日期"));
        QCOMPARE(log[0].caption, QStringLiteral("警告"));
        QTest::qWait(50);
        QVERIFY(form->isVisible());
        QCOMPARE(recordCount(fixture), 0);
        QVERIFY(QDir(fixture.temp().reg().storeFolder()).isEmpty());
    }

    void confirmRegistersShowsLastRowAndCloses()
    {
        FaceFixture fixture(false);
        for (int serial = 1; serial <= 41; ++serial)
            fixture.temp().addRecord(serial, QStringLiteral("old%1.txt").arg(serial));
        fixture.start();
        dropFiles(fixture,
                  {source(QStringLiteral("a.txt")), source(QStringLiteral("empty.txt"), {}),
                   source(QStringLiteral("b.txt"))});
        QPointer<SelectFace> form = fixture.face().intake()->form();
        form->RemarksText()->setPlainText(QStringLiteral("说明"));
        form->Combo1(0)->setEditText(QStringLiteral("张三"));
        form->Combo1(2)->setEditText(QStringLiteral("合同"));
        QTest::mouseClick(form->findChild<QPushButton*>(QStringLiteral("FixedCommand")),
                          Qt::LeftButton);
        QTRY_VERIFY(form && form->closingSequence()->isRunning());
        QTRY_VERIFY(!form || form->isHidden());
        QTRY_VERIFY(!form);

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
        MshfGrid* grid = fixture.face().MSHF();
        QCOMPARE(grid->Rows(), 44);
        QCOMPARE(grid->Row(), 43);
        QCOMPARE(grid->TextMatrix(43, 1), QStringLiteral("b.txt"));
        QCOMPARE(grid->TextMatrix(43, 3), QStringLiteral("说明"));
        QCOMPARE(grid->TextMatrix(43, 4), QStringLiteral("张三"));
        QCOMPARE(grid->TextMatrix(43, 7), QStringLiteral("合同"));
        // Scrolled as far down as the grid goes: the last row is in view.
        QVERIFY(grid->TopRow() > 1);
        QVERIFY(grid->visualRect(grid->model()->index(42, 1)).intersects(grid->viewport()->rect()));
    }

    // The lists help, but what is typed is what is stored: no inline
    // completion, and Enter does not swap qq for the stored QQ.
    void typedTextIsStoredAsTyped()
    {
        FaceFixture fixture(false);
        fixture.temp().addRecord(1, QStringLiteral("old.txt"), QStringLiteral("Alice"),
                                 QStringLiteral("ProjectA"));
        fixture.start();
        dropFiles(fixture, {source(QStringLiteral("typed.txt"))});
        QPointer<SelectFace> form = fixture.face().intake()->form();
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
            QStringLiteral(
                "SELECT 接收人, 传送方式, 文件夹 FROM 文件管理 WHERE 文件名 = 'typed.txt'"));
        QVERIFY(query && query->next());
        for (int i = 0; i < 3; ++i)
            QCOMPARE(query->value(i).toString(), QString::fromLatin1(typed[i]));
    }

    void closeWindowWritesNothing()
    {
        FaceFixture fixture;
        dropFiles(fixture, {source(QStringLiteral("x.txt"))});
        QPointer<SelectFace> form = fixture.face().intake()->form();
        QTest::mouseClick(form->findChild<QPushButton*>(QStringLiteral("CancelCommand")),
                          Qt::LeftButton);
        QTRY_VERIFY(!form);
        QCOMPARE(recordCount(fixture), 0);
        QVERIFY(QDir(fixture.temp().reg().storeFolder()).isEmpty());
        // The next drop gets a fresh form.
        dropFiles(fixture, {source(QStringLiteral("y.txt"))});
        QCOMPARE(lines(fixture.face().intake()->form()), QStringList{QStringLiteral("y.txt")});
    }
};

QTEST_MAIN(TestAddForm)
#include "test_add_form.moc"
