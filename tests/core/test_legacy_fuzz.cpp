// Damaged old registers, made by chance from a good one: flipped bits, cuts
// at page boundaries and elsewhere, zeroed runs, pages of the wrong type.
// Whatever the damage, a conversion either fails and leaves the old file as
// it was, or succeeds with every record of the old file and no other.

#include "legacy/LegacyConversion.h"
#include "store/RegisterNames.h"
#include "store/sql/Sql.h"
#include "support/LegacyFixture.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTest>

namespace {

constexpr int page = 4096;
constexpr int records = 60; // in typical/

QByteArray damaged(const QByteArray& good, QRandomGenerator& random, QString& what)
{
    QByteArray bytes = good;
    const auto below = [&](qsizetype n) {
        return qsizetype(random.bounded(qint64(n)));
    };
    switch (random.bounded(5)) {
    case 0: {
        const int bits = 1 + random.bounded(16);
        for (int i = 0; i < bits; ++i) {
            const qsizetype at = below(bytes.size());
            bytes[at] = char(bytes.at(at) ^ (1 << random.bounded(8)));
        }
        what = QStringLiteral("%1 bits flipped").arg(bits);
        break;
    }
    case 1:
        bytes.truncate(page * (1 + below(bytes.size() / page - 1)));
        what = QStringLiteral("cut to %1 bytes").arg(bytes.size());
        break;
    case 2:
        bytes.truncate(below(bytes.size()));
        what = QStringLiteral("cut to %1 bytes").arg(bytes.size());
        break;
    case 3: {
        const qsizetype at = below(bytes.size());
        const qsizetype length = qMin(qsizetype(1 + random.bounded(page)), bytes.size() - at);
        bytes.replace(at, length, QByteArray(length, 0));
        what = QStringLiteral("%1 bytes zeroed at %2").arg(length).arg(at);
        break;
    }
    default: {
        const qsizetype at = page * (1 + below(bytes.size() / page - 1));
        bytes[at] = char(random.bounded(9));
        what = QStringLiteral("page %1 made type %2").arg(at / page).arg(int(bytes.at(at)));
        break;
    }
    }
    return bytes;
}

} // namespace

class TestLegacyFuzz : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void noDamageLosesOrInventsRecords()
    {
        QTemporaryDir dir;
        // The store folder is never changed by a conversion: one serves all.
        const QString folder = LegacyFixture::copy(dir, QStringLiteral("typical"));
        const QDir at(folder);
        const QString database = at.filePath(RegisterNames::databaseFile);
        const QByteArray good = TestFiles::read(database);
        QRandomGenerator random(20061210);
        QElapsedTimer clock;
        clock.start();
        int cases = 0;
        int refused = 0;
        int readerDown = 0;
        for (; cases < 400 && clock.elapsed() < 25000; ++cases) {
            QString what;
            const QByteArray bytes = damaged(good, random, what);
            for (const char* suffix : {"", "-wal", "-shm", "-journal"})
                QFile::remove(database + QLatin1String(suffix));
            QFile::remove(at.filePath(LegacyConversion::asideFile));
            TestFiles::write(database, bytes);
            const QString label = QStringLiteral("case %1, %2").arg(cases).arg(what);

            Result<Legacy::Report> report = LegacyConversion::convert(folder, false);
            if (!report) {
                ++refused;
                // The reader program crashed, hung or ran out of memory.
                if (report.error().message.contains(QStringLiteral("读取时")))
                    ++readerDown;
                QVERIFY2(TestFiles::read(database) == bytes, qPrintable(label));
                QVERIFY2(!QFile::exists(at.filePath(LegacyConversion::asideFile)),
                         qPrintable(label));
                continue;
            }
            QVERIFY2(report->records == records,
                     qPrintable(label + QStringLiteral(": ") + report->text()));
            Result<Register> reg = Register::open(folder, Register::Mode::MustExist);
            QVERIFY2(reg, qPrintable(label));
            QCOMPARE(Sql::scalar(reg->database(), QStringLiteral("SELECT count(*) FROM 文件管理"))
                         ->toInt(),
                     records);
            reg->closeConnection();
        }
        qInfo("%d damaged files, %d refused, %d of them ended the reader", cases, refused,
              readerDown);
        QVERIFY(cases >= 20);
        QVERIFY(refused > 0);
    }
};

QTEST_GUILESS_MAIN(TestLegacyFuzz)
#include "test_legacy_fuzz.moc"
