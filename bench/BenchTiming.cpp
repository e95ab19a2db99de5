#include "BenchTiming.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>
#include <vector>

double medianMs(const std::function<void()>& work, int runs)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    return medianOf(std::move(times));
}

double medianOf(std::vector<double> times)
{
    if (times.empty())
        return 0;
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

std::pair<double, double> medianMsInTurns(const std::function<void()>& ours,
                                          const std::function<void()>& limit, int runs,
                                          const std::function<void()>& tidy)
{
    std::vector<double> oursTimes, limitTimes;
    for (int i = 0; i < runs; ++i) {
        if (i % 2 == 0) {
            oursTimes.push_back(medianMs(ours, 1));
            limitTimes.push_back(medianMs(limit, 1));
        } else {
            limitTimes.push_back(medianMs(limit, 1));
            oursTimes.push_back(medianMs(ours, 1));
        }
        if (tidy)
            tidy();
    }
    std::sort(oursTimes.begin(), oursTimes.end());
    std::sort(limitTimes.begin(), limitTimes.end());
    return {oursTimes[oursTimes.size() / 2], limitTimes[limitTimes.size() / 2]};
}

void writeFile(const QString& path, qint64 size)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    QByteArray block(1 << 20, 'q');
    QRandomGenerator random(size);
    for (qint64 done = 0; done < size; done += block.size()) {
        block[0] = char(random.bounded(256));
        file.write(block.constData(), std::min<qint64>(block.size(), size - done));
    }
}

void bareIntake(const QStringList& sources, const QString& target,
                const std::function<void()>& insertOne)
{
    std::vector<char> buffer(1 << 20);
    int i = 0;
    for (const QString& source : sources) {
        const QByteArray to = QFile::encodeName(target + QStringLiteral("/%1").arg(i++));
        const QByteArray temporary = to + ".part";
        const int in = ::open(QFile::encodeName(source).constData(), O_RDONLY);
        const int out = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ssize_t got;
        while ((got = ::read(in, buffer.data(), buffer.size())) > 0)
            (void)!::write(out, buffer.data(), size_t(got));
        ::fsync(out);
        ::close(out);
        ::close(in);
        ::rename(temporary.constData(), to.constData());
        insertOne();
    }
}

void bareSqliteIntake(const QStringList& sources, const QString& target)
{
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(target + QStringLiteral("/bare.db")).constData(), &db);
    sqlite3_exec(db,
                 "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; CREATE TABLE IF NOT EXISTS "
                 "t (n TEXT)",
                 nullptr, nullptr, nullptr);
    bareIntake(sources, target, [db] {
        sqlite3_exec(db, "BEGIN IMMEDIATE; INSERT INTO t VALUES ('x'); COMMIT", nullptr, nullptr,
                     nullptr);
    });
    sqlite3_close(db);
}
