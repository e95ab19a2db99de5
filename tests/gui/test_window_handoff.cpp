#include "app/WindowHandoff.h"
#include "gui_support/FaceFixture.h"
#include "intake/gui/IntakeArea.h"
#include "intake/gui/SelectFace.h"
#include "support/TestFiles.h"
#include "support/gui/MessageBox.h"

#include <QDialog>

#include <QFile>
#include <QLocalServer>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// One window per register, with the real window program as the later launch.
class TestWindowHandoff : public QObject {
    Q_OBJECT

    static void start(QProcess& process, const QString& folder, const QStringList& files,
                      const QString& workingDir = {})
    {
        process.setWorkingDirectory(workingDir);
        process.start(QStringLiteral(QUORVEL_GUI),
                      QStringList{QStringLiteral("--register"), folder} + files);
        QVERIFY(process.waitForStarted());
    }

private Q_SLOTS:
    void secondLaunchHandsItsFilesToTheWindow()
    {
        FaceFixture fixture;
        WindowHandoff handoff(fixture.temp().folder());
        QCOMPARE(handoff.claim({}), WindowHandoff::Claim::Serving);
        handoff.deliverTo(&fixture.face());
        fixture.face().showMinimized();

        QTemporaryDir sources;
        QFile file(sources.filePath(QStringLiteral("报告 1.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("x") == 1);
        file.close();
        QProcess second;
        // A relative name, as a shell gives it, reaches the window whole; a
        // mistyped one is named in a notice instead of joining the form.
        MessageBox::takeLog();
        start(second, fixture.temp().folder(),
              {QStringLiteral("报告 1.txt"), QStringLiteral("没有这个.txt")}, sources.path());
        QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, 20000);
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QTRY_VERIFY(fixture.face().intake()->form());
        QCOMPARE(fixture.face().intake()->form()->DroppedPaths(), QStringList{file.fileName()});
        QVERIFY(!fixture.face().isMinimized());
        QTRY_COMPARE(MessageBox::log().size(), 1);
        QVERIFY(MessageBox::log().first().text.contains(
            sources.filePath(QStringLiteral("没有这个.txt"))));
    }

    // Behind a modal window the form could take no input: it waits for it.
    void filesWaitForAnOpenModalWindow()
    {
        FaceFixture fixture;
        WindowHandoff first(fixture.temp().folder());
        QCOMPARE(first.claim({}), WindowHandoff::Claim::Serving);
        first.deliverTo(&fixture.face());
        auto* modal = new QDialog(&fixture.face());
        modal->setModal(true);
        modal->show();
        QTemporaryDir sources;
        const QString file = sources.filePath(QStringLiteral("a.txt"));
        TestFiles::write(file, "x");
        WindowHandoff second(fixture.temp().folder());
        QCOMPARE(second.claim({file}), WindowHandoff::Claim::HandedOver);
        QTest::qWait(200);
        QVERIFY(!fixture.face().intake()->form());
        modal->close();
        QTRY_VERIFY(fixture.face().intake()->form());
        QCOMPARE(fixture.face().intake()->form()->DroppedPaths(), QStringList{file});
        QVERIFY(fixture.face().intake()->form()->isVisible());
        delete modal;
    }

    void anotherRegisterOpensItsOwnWindow()
    {
        FaceFixture fixture;
        WindowHandoff handoff(fixture.temp().folder());
        QCOMPARE(handoff.claim({}), WindowHandoff::Claim::Serving);
        QTemporaryDir other;
        QProcess second;
        start(second, other.path(), {});
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(WindowHandoff::socketPath(other.path())), 20000);
        QCOMPARE(second.state(), QProcess::Running);
        second.terminate();
        QVERIFY(second.waitForFinished(10000));
        QLocalServer::removeServer(WindowHandoff::socketPath(other.path()));
    }

    void leftoverOfAnEndedWindowIsTakenOver()
    {
        QTemporaryDir folder;
        // What a killed program leaves: its socket's name, nobody listening.
        QFile leftover(WindowHandoff::socketPath(folder.path()));
        QVERIFY(leftover.open(QIODevice::WriteOnly));
        leftover.close();
        WindowHandoff first(folder.path());
        QCOMPARE(first.claim({}), WindowHandoff::Claim::Serving);

        QSignalSpy received(&first, &WindowHandoff::handedOver);
        WindowHandoff second(folder.path());
        QCOMPARE(second.claim({QStringLiteral("/a/b")}), WindowHandoff::Claim::HandedOver);
        QTRY_COMPARE(received.size(), 1);
        QCOMPARE(received.first().first().toStringList(), QStringList{QStringLiteral("/a/b")});
    }
};

QTEST_MAIN(TestWindowHandoff)
#include "test_window_handoff.moc"
