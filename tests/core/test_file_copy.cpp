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

// A source holding `content`, open for reading, and an empty copy beside it
// open for reading and writing.
struct CopyPair {
    QTemporaryDir dir;
    QFile source;
    int target = -1;

    explicit CopyPair(const QByteArray& content)
    {
        source.setFileName(dir.filePath(QStringLiteral("source")));
        if (!source.open(QIODevice::WriteOnly) || source.write(content) != content.size())
            qFatal("cannot write the source");
        source.close();
        if (!source.open(QIODevice::ReadOnly))
            qFatal("cannot read the source");
        target = ::open(QFile::encodeName(dir.filePath(QStringLiteral("copy"))),
                        O_RDWR | O_CREAT | O_EXCL, 0600);
        if (target < 0)
            qFatal("cannot create the copy");
    }
    ~CopyPair() { ::close(target); }
};

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
        const QByteArray content = randomBytes(size);
        CopyPair pair(content);

        ContentHash::Hasher hasher;
        QList<qint64> reports;
        QCOMPARE(FileCopy::copy(pair.source.handle(), pair.target, size, hasher,
                                [&](qint64 done) { reports << done; }),
                 0);
        QCOMPARE(contentOf(pair.target), content);
        QCOMPARE(hasher.size(), qint64(size));
        QCOMPARE(hasher.hex(), hashOf(content));
        QVERIFY(!reports.isEmpty());
        QCOMPARE(reports.last(), qint64(size));
        QVERIFY(std::is_sorted(reports.begin(), reports.end()));
    }

    // A pipe cannot be copied in the kernel; the buffer takes over, reads to
    // the end and the hash still matches.
    void fallsBackToTheBufferForAPipe()
    {
        CopyPair pair({}); // only its copy is used
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
        ContentHash::Hasher hasher;
        const int result = FileCopy::copy(pipeEnds[0], pair.target, content.size(), hasher);
        writer.join();
        ::close(pipeEnds[0]);
        QCOMPARE(result, 0);
        QCOMPARE(contentOf(pair.target), content);
        QCOMPARE(hasher.hex(), hashOf(content));
    }

    void stopsWhenCancelled()
    {
        const QByteArray content = randomBytes(70 << 20);
        CopyPair pair(content);
        std::atomic_bool cancel = false;
        ContentHash::Hasher hasher;
        const int result = FileCopy::copy(
            pair.source.handle(), pair.target, content.size(), hasher,
            [&](qint64) { cancel = true; }, &cancel);
        QCOMPARE(result, ECANCELED);
        QVERIFY(hasher.size() < content.size());
    }
};

QTEST_GUILESS_MAIN(TestFileCopy)
#include "test_file_copy.moc"
