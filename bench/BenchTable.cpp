#include "BenchTable.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <vector>

void printBenchHeader(const char* ours, const char* limit, const char* rule)
{
    std::printf("| %-44s | %9s | %10s | %10s | %6s | %-30s |\n", "work", "records", ours, limit,
                "ratio", rule);
    std::printf("|%s|%s|%s|%s|%s|%s|\n", QByteArray(46, '-').constData(),
                QByteArray(11, '-').constData(), QByteArray(12, '-').constData(),
                QByteArray(12, '-').constData(), QByteArray(8, '-').constData(),
                QByteArray(32, '-').constData());
}

void printBenchRow(const char* work, int count, double ours, double limit, const char* rule)
{
    // Padded by display width, so that Chinese labels keep the columns straight.
    const QString label = QString::fromUtf8(work);
    int width = 0;
    for (const QChar c : label)
        width += c.unicode() >= 0x2E80 ? 2 : 1;
    const QByteArray padded = (label + QString(std::max(0, 44 - width), QLatin1Char(' '))).toUtf8();
    std::printf("| %s | %9d | %10.2f | %10.2f | %6.2f | %-30s |\n", padded.constData(), count, ours,
                limit, limit > 0 ? ours / limit : 0.0, rule);
    std::fflush(stdout);
}

long statusKiB(pid_t pid, const char* field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(std::strlen(field))).trimmed().split(' ').first().toLong();
    }
    return 0;
}

pid_t spawn(const QStringList& command, const posix_spawn_file_actions_t* actions)
{
    QList<QByteArray> bytes;
    for (const QString& part : command)
        bytes << QFile::encodeName(part);
    std::vector<char*> argv;
    for (QByteArray& part : bytes)
        argv.push_back(part.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    return ::posix_spawnp(&child, argv[0], actions, nullptr, argv.data(), environ) == 0 ? child : 0;
}
