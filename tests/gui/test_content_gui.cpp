#include "browser/gui/ViewsArea.h"
#include "content/ContentQueue.h"
#include "content/gui/PreviewPane.h"
#include "gui_support/FaceFixture.h"
#include "queries/QuerySlots.h"
#include "queries/gui/ManagementCx.h"
#include "queries/gui/QueriesArea.h"
#include "support/ReadText.h"
#include "support/gui/MessageBox.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QTextBrowser>

namespace {

const QString reportText = QStringLiteral("Quarter report:\nthe ALPHA figures, and alpha again");

// Two records whose copies were read; only the first holds "alpha".
void addReadRecords(TempRegister& temp)
{
    const QString texts[] = {reportText, QStringLiteral("nothing here")};
    const QString names[] = {QStringLiteral("季度报告.txt"), QStringLiteral("备忘.txt")};
    for (int i = 0; i < 2; ++i) {
        const qint64 rowid = temp.addRecord(i + 1, names[i], {}, {}, QStringLiteral("2020-01-02"),
                                            {}, {}, texts[i].toUtf8());
        giveReadText(temp.reg(), rowid, texts[i]);
    }
}

QLineEdit* contentBox(FaceFixture& fixture)
{
    return fixture.face().searchPanel()->box(SearchCriteria::Content);
}

} // namespace

class TestContentGui : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void contentBoxSearchesAndShowsSnippet()
    {
        FaceFixture fixture(false);
        addReadRecords(fixture.temp());
        fixture.start();
        QLineEdit* box = contentBox(fixture);
        QCOMPARE(box->objectName(), QStringLiteral("SearchText7"));
        box->setText(QStringLiteral("alpha"));
        QTest::keyClick(box, Qt::Key_Return);
        QCOMPARE(fixture.face().currentView()->recordCount(), 1);
        QCOMPARE(fixture.face().currentView()->record(1)->fileName, QStringLiteral("季度报告.txt"));

        // The first place the word stands, as it stands, marked.
        QLabel* snippet = fixture.face().contentSnippet();
        QTRY_VERIFY(snippet->text().contains(QStringLiteral(">ALPHA</span>")));
        QVERIFY(snippet->text().startsWith(QStringLiteral("Quarter report: the ")));

        // A view without a content word shows no snippet and empties the box.
        fixture.face().views()->AllFile_Click();
        QCOMPARE(box->text(), QString());
        QCOMPARE(fixture.face().currentView()->recordCount(), 2);
        QTRY_COMPARE(snippet->text(), QString());
    }

    void savedQueryHoldsContentWord()
    {
        FaceFixture fixture(false);
        addReadRecords(fixture.temp());
        fixture.start();
        const Register& reg = fixture.temp().reg();
        auto* form = new ManagementCx(reg, &fixture.face());
        form->setAttribute(Qt::WA_DeleteOnClose);
        form->show();
        QLineEdit* formBox = form->SearchText().at(9);
        form->SearchText().at(7)->setText(QStringLiteral("内容查询"));
        formBox->setText(QStringLiteral("alpha"));
        form->FixedCommand_Click();
        MessageBox::takeLog();
        QCOMPARE(QuerySlots::read(reg, 1)->criteria.content, QStringLiteral("alpha"));
        // Read back when the slot is shown again.
        form->selectSlot(2);
        QCOMPARE(formBox->text(), QString());
        form->selectSlot(1);
        QCOMPARE(formBox->text(), QStringLiteral("alpha"));
        form->close();

        fixture.trigger(QStringLiteral("CxMenu1"));
        QCOMPARE(contentBox(fixture)->text(), QStringLiteral("alpha"));
        QCOMPARE(fixture.face().currentView()->recordCount(), 1);
        QVERIFY(MessageBox::takeLog().isEmpty());
    }

    void previewPaneAndRecognitionFromOptionsMenu()
    {
        FaceFixture fixture(false);
        addReadRecords(fixture.temp());
        fixture.start();
        TableFace& face = fixture.face();
        // The two items come before the inbox's, which closes the options menu.
        const QList<QAction*> options =
            face.findChild<QMenu*>(QStringLiteral("OptionMenuInterFace"))->actions();
        QCOMPARE(options.at(options.size() - 3)->objectName(),
                 QStringLiteral("PreviewMenuInterFace"));
        QCOMPARE(options.at(options.size() - 3)->text(), QStringLiteral("显示预览窗格"));
        QCOMPARE(options.at(options.size() - 2)->text(), QStringLiteral("识别图片中的文字"));

        contentBox(fixture)->setText(QStringLiteral("alpha"));
        face.views()->SearchCommand_Click();
        auto* startPage = face.findChild<QTextBrowser*>(QStringLiteral("WebBrowser1"));
        PreviewPane* pane = face.preview();
        QVERIFY(!pane->isVisible());
        fixture.trigger(QStringLiteral("PreviewMenuInterFace"));
        QVERIFY(pane->isVisible());
        QVERIFY(!startPage->isVisible());
        QTRY_COMPARE(pane->textView()->toPlainText(), reportText);
        // Every place of the word is marked, letters folded.
        const QList<QTextEdit::ExtraSelection> marks = pane->textView()->extraSelections();
        QCOMPARE(marks.size(), 2);
        QCOMPARE(marks.at(0).cursor.selectedText(), QStringLiteral("ALPHA"));
        QCOMPARE(marks.at(1).cursor.selectedText(), QStringLiteral("alpha"));

        fixture.trigger(QStringLiteral("PreviewMenuInterFace"));
        QVERIFY(!pane->isVisible());
        QVERIFY(startPage->isVisible());

        // Recognition is on for a new register; the item switches it off.
        QAction* ocr = options.at(options.size() - 2);
        QVERIFY(ocr->isChecked());
        ocr->trigger();
        QVERIFY(!ocr->isChecked());
        QCOMPARE(ContentQueue::ocrEnabled(fixture.temp().reg()).value(), false);
    }
};

QTEST_MAIN(TestContentGui)
#include "test_content_gui.moc"
