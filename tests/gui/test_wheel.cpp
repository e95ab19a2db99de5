#include "browser/gui/MshfGrid.h"
#include "browser/gui/TrolleyMSHF.h"
#include "gui_support/FaceFixture.h"

#include <QApplication>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

namespace {

void fill(TempRegister& temp, int count)
{
    for (int serial = 1; serial <= count; ++serial)
        temp.addRecord(serial, QStringLiteral("f%1.txt").arg(serial), QStringLiteral("x"));
}

// One turn of the wheel over the grid, as the mouse delivers it (120 per
// notch; negative is towards the user, i.e. down the list).
void turnWheel(MshfGrid* grid, int angle, bool overScrollBar = false)
{
    QWidget* viewport =
        overScrollBar ? static_cast<QWidget*>(grid->verticalScrollBar()) : grid->viewport();
    const QPointF position(viewport->width() / 2.0, viewport->height() / 2.0);
    QWheelEvent event(position, viewport->mapToGlobal(position), QPoint(), QPoint(0, angle),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(viewport, &event);
}

bool focusGrid(TableFace& face)
{
    face.activateWindow();
    if (!QTest::qWaitForWindowActive(&face))
        return false;
    face.MSHF()->setFocus();
    return QTest::qWaitFor([&] { return face.MSHF()->hasFocus(); }, 2000);
}

} // namespace

class TestWheel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void mainWindowScrollsTwoRowsPerNotch()
    {
        FaceFixture fixture(false);
        fill(fixture.temp(), 80);
        fixture.start();
        TableFace& face = fixture.face();
        MshfGrid* grid = face.MSHF();
        QCOMPARE(face.Tmshf()->MouseSpeed(), 2);
        QVERIFY(focusGrid(face));
        QCOMPARE(grid->TopRow(), 1);
        const int currentRow = grid->Row();
        for (int notch = 0; notch < 3; ++notch)
            turnWheel(grid, -120);
        QCOMPARE(grid->TopRow(), 7);
        // Only the visible part moves.
        QCOMPARE(grid->Row(), currentRow);
        for (int notch = 0; notch < 3; ++notch)
            turnWheel(grid, 120);
        QCOMPARE(grid->TopRow(), 1);

        // A fine-grained wheel sends parts of a notch; they add up to one.
        turnWheel(grid, -60);
        QCOMPARE(grid->TopRow(), 1);
        turnWheel(grid, -60);
        QCOMPARE(grid->TopRow(), 3);
    }

    void staysWithinTheRows()
    {
        FaceFixture fixture(false);
        fill(fixture.temp(), 40);
        fixture.start();
        TableFace& face = fixture.face();
        MshfGrid* grid = face.MSHF();
        TrolleyMSHF* wheel = face.Tmshf();
        grid->setTopRow(2);
        wheel->wheelNotch(false);
        QCOMPARE(grid->TopRow(), 1);
        wheel->wheelNotch(false);
        QCOMPARE(grid->TopRow(), 1);

        int previous = 0;
        for (int notch = 0; notch < 40 && grid->TopRow() != previous; ++notch) {
            previous = grid->TopRow();
            wheel->wheelNotch(true);
            QVERIFY(grid->TopRow() <= grid->Rows() - 1);
            QVERIFY(grid->TopRow() >= previous);
        }
        // At the end the last record is in full view, and the top row is
        // whole: the grid never shows half a row at its top.
        QCOMPARE(grid->TopRow(), previous);
        const auto verifyWholeRowsAtTheEnd = [grid] {
            const QRect lastRow = grid->visualRect(grid->model()->index(grid->Rows() - 2, 0));
            QVERIFY(grid->viewport()->rect().contains(lastRow));
            QCOMPARE(grid->rowViewportPosition(grid->TopRow() - 1), 0);
        };
        verifyWholeRowsAtTheEnd();
        grid->scrollToBottom();
        verifyWholeRowsAtTheEnd();
        // A taller or shorter window keeps it so.
        face.resize(face.width(), face.height() + 37);
        QApplication::processEvents();
        grid->scrollToBottom();
        verifyWholeRowsAtTheEnd();
        face.resize(face.width(), face.height() - 53);
        QApplication::processEvents();
        verifyWholeRowsAtTheEnd();

        // However large the speed, the ends hold.
        wheel->setMouseSpeed(2147483647.0);
        wheel->wheelNotch(true);
        QVERIFY(grid->TopRow() >= 1 && grid->TopRow() <= grid->Rows() - 1);
        wheel->wheelNotch(false);
        QCOMPARE(grid->TopRow(), 1);
    }

    void noScrollWhileFocusIsElsewhere()
    {
        FaceFixture fixture(false);
        fill(fixture.temp(), 80);
        fixture.start();
        TableFace& face = fixture.face();
        MshfGrid* grid = face.MSHF();
        QVERIFY(focusGrid(face));
        turnWheel(grid, -120);
        QCOMPARE(grid->TopRow(), 3);
        QLineEdit* box = face.searchPanel()->box(0);
        box->setFocus();
        QTRY_VERIFY(box->hasFocus());
        turnWheel(grid, -120);
        turnWheel(grid, 120);
        turnWheel(grid, 120);
        // Over the scroll bar the same rule holds.
        turnWheel(grid, -120, true);
        QCOMPARE(grid->TopRow(), 3);
        QVERIFY(box->hasFocus());
        // With the focus back, a notch over the scroll bar moves two rows.
        QVERIFY(focusGrid(face));
        turnWheel(grid, -120, true);
        QCOMPARE(grid->TopRow(), 5);
    }

    void emptyViewStaysAtTheTop()
    {
        FaceFixture fixture;
        TableFace& face = fixture.face();
        MshfGrid* grid = face.MSHF();
        QCOMPARE(grid->Rows(), 2);
        QVERIFY(focusGrid(face));
        turnWheel(grid, -120);
        QCOMPARE(grid->TopRow(), 1);
        turnWheel(grid, 120);
        QCOMPARE(grid->TopRow(), 1);
        face.Tmshf()->wheelNotch(true);
        QCOMPARE(grid->TopRow(), 1);
    }

    void speedIsAWholeNumber_data()
    {
        QTest::addColumn<double>("given");
        QTest::addColumn<int>("stored");
        QTest::newRow("whole") << 3.0 << 3;
        QTest::newRow("rounded up") << 2.7 << 3;
        QTest::newRow("half to even") << 2.5 << 2;
        QTest::newRow("too large") << 1e12 << 2147483647;
    }
    void speedIsAWholeNumber()
    {
        QFETCH(double, given);
        QFETCH(int, stored);
        TrolleyMSHF wheel;
        QCOMPARE(wheel.MouseSpeed(), 1);
        wheel.setMouseSpeed(given);
        QCOMPARE(wheel.MouseSpeed(), stored);
    }
};

QTEST_MAIN(TestWheel)
#include "test_wheel.moc"
