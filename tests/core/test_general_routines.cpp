#include "base/GeneralRoutines.h"

#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using namespace GeneralRoutines;

class TestGeneralRoutines : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void randomNameIsTenAlphanumerics()
    {
        static const QRegularExpression shape(QStringLiteral("^[0-9A-Za-z]{10}$"));
        QSet<QString> seen;
        for (int i = 0; i < 2000; ++i) {
            const QString name = RandomName();
            QVERIFY2(shape.match(name).hasMatch(), qPrintable(name));
            seen.insert(name);
        }
        // Calls within one clock tick must still differ.
        QCOMPARE(seen.size(), 2000);
    }

    void extensionAndBaseName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("base");
        QTest::newRow("plain") << "报告.doc"
                               << "doc"
                               << "报告";
        QTest::newRow("two dots") << "a.b.c"
                                  << "c"
                                  << "a.b";
        QTest::newRow("no dot") << "README"
                                << ""
                                << "README";
        QTest::newRow("empty") << ""
                               << ""
                               << "";
        QTest::newRow("trailing dot") << "name."
                                      << ""
                                      << "name";
        QTest::newRow("leading dot") << ".profile"
                                     << "profile"
                                     << "";
    }

    void extensionAndBaseName()
    {
        QFETCH(QString, name);
        QFETCH(QString, extension);
        QFETCH(QString, base);
        QCOMPARE(FileExtension(name), extension);
        QCOMPARE(FileBaseName(name), base);
    }

    void maxAndMin()
    {
        QCOMPARE(MaxValue(3, 7), 7);
        QCOMPARE(MaxValue(7, 3), 7);
        QCOMPARE(MinValue(3, 7), 3);
        QCOMPARE(MinValue(7, 3), 3);
        QCOMPARE(MaxValue(5, 5), 5);
        QCOMPARE(MinValue(5, 5), 5);
    }

    void lockedFileIsDetectedAndMissingFileIsNotCreated()
    {
        QTemporaryDir dir;
        const QString missing = dir.filePath(QStringLiteral("nothing-here.doc"));
        QVERIFY(!IsFileLocked(missing));
        QVERIFY(!QFile::exists(missing));

        const QString path = dir.filePath(QStringLiteral("held open.txt"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("x");
        file.close();
        QVERIFY(!IsFileLocked(path));

        // Another process keeps the file open for a while.
        QProcess holder;
        holder.start(QStringLiteral("sh"),
                     {QStringLiteral("-c"),
                      QStringLiteral("exec 3<\"$1\"; echo ready; exec sleep 30"),
                      QStringLiteral("sh"), path});
        QVERIFY(holder.waitForReadyRead(5000));
        QVERIFY(IsFileLocked(path));
        holder.kill();
        holder.waitForFinished();
        QVERIFY(!IsFileLocked(path));

        // Our own open handle does not count as another program's.
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(!IsFileLocked(path));
    }
};

QTEST_GUILESS_MAIN(TestGeneralRoutines)
#include "test_general_routines.moc"
