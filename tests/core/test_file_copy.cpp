// The byte copy under the intake, in the kernel and through the buffer: the
// copy and its hash match the source, progress ends at the size, and a
// cancelled copy stops early.

#include "intake/FileCopy.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace {

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator random(size);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char(random.bounded(256));
    return bytes;
}

QString hashOf(const QByteArray& bytes)
{
    ContentHash::Hasher hasher;
    hasher.add(bytes);
    return hasher.hex();
}

QByteArray contentOf(int fd)
{
    QByteArray all;
    char buffer[65536];
    ssize_t got;
    for (off_t at = 0; (got = ::pread(fd, buffer, sizeof buffer, at)) > 0; at += got)
        all.append(buffer, got);
    return all;
}

} // namespace

class TestFileCopy : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void copiesAndHashesWhatTheCopyHolds_data()
    {
        QTest::addColumn<qsizetype>("size");
        QTest::newRow("one byte") << qsizetype(1);
        QTest::newRow("under one buffer") << qsizetype(70'001);
        // More than one kernel step and an uneven tail.
        QTest::newRow("several steps") << qsizetype((40 << 20) + 12'345);
    }

    void copiesAndHashesWhatTheCopyHolds()
    {
        QFETCH(qsizetype, size);
        QTemporaryDir dir;
        const QByteArray content = randomBytes(size);
        QFile source(dir.filePath(QStringLiteral("source")));
        QVERIFY(source.open(QIODevice::WriteOnly));
        source.write(content);
        source.close();
        QVERIFY(source.open(QIODevice::ReadOnly));
        const int target = ::open(QFile::encodeName(dir.filePath(QStringLiteral("copy"))),
                                  O_RDWR | O_CREAT | O_EXCL, 0600);
        QVERIFY(target >= 0);

        ContentHash::Hasher hasher;
        QList<qint64> reports;
        QCOMPARE(FileCopy::copy(source.handle(), target, size, hasher,
                                [&](qint64 done) { reports << done; }),
                 0);
        QCOMPARE(contentOf(target), content);
        QCOMPARE(hasher.size(), qint64(size));
        QCOMPARE(hasher.hex(), hashOf(content));
        QVERIFY(!reports.isEmpty());
        QCOMPARE(reports.last(), qint64(size));
        QVERIFY(std::is_sorted(reports.begin(), reports.end()));
        ::close(target);
    }

    // A pipe cannot be copied in the kernel; the buffer takes over, reads to
    // the end and the hash still matches.
    void fallsBackToTheBufferForAPipe()
    {
        QTemporaryDir dir;
        int pipeEnds[2];
        QVERIFY(::pipe(pipeEnds) == 0);
        const QByteArray content = randomBytes(3 * 1024 * 1024 + 7);
        std::thread writer([&] {
            for (qsizetype done = 0; done < content.size();) {
                const ssize_t n =
                    ::write(pipeEnds[1], content.constData() + done, size_t(content.size() - done));
                if (n <= 0)
                    break;
                done += n;
            }
            ::close(pipeEnds[1]);
        });
        const int target = ::open(QFile::encodeName(dir.filePath(QStringLiteral("copy"))),
                                  O_RDWR | O_CREAT | O_EXCL, 0600);
        ContentHash::Hasher hasher;
        const int result = FileCopy::copy(pipeEnds[0], target, content.size(), hasher);
        writer.join();
        ::close(pipeEnds[0]);
        QCOMPARE(result, 0);
        QCOMPARE(contentOf(target), content);
        QCOMPARE(hasher.hex(), hashOf(content));
        ::close(target);
    }

    void stopsWhenCancelled()
    {
        QTemporaryDir dir;
        const QByteArray content = randomBytes(70 << 20);
        QFile source(dir.filePath(QStringLiteral("source")));
        QVERIFY(source.open(QIODevice::WriteOnly));
        source.write(content);
        source.close();
        QVERIFY(source.open(QIODevice::ReadOnly));
        const int target = ::open(QFile::encodeName(dir.filePath(QStringLiteral("copy"))),
                                  O_RDWR | O_CREAT | O_EXCL, 0600);
        std::atomic_bool cancel = false;
        ContentHash::Hasher hasher;
        const int result = FileCopy::copy(
            source.handle(), target, content.size(), hasher, [&](qint64) { cancel = true; },
            &cancel);
        QCOMPARE(result, ECANCELED);
        QVERIFY(hasher.size() < content.size());
        ::close(target);
    }
};

QTEST_GUILESS_MAIN(TestFileCopy)
#include "test_file_copy.moc"
