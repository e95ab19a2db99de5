#include "base/TestPause.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

namespace TestPause {

void at(const char* point)
{
    static const QByteArray wanted = qgetenv("QUORVEL_PAUSE_AT");
    if (wanted.isEmpty() || wanted != point)
        return;
    const QString base = QString::fromLocal8Bit(qgetenv("QUORVEL_PAUSE_DIR")) + QLatin1Char('/') +
                         QString::fromLatin1(point);
    QFile reached(base + QStringLiteral(".reached"));
    if (!reached.open(QIODevice::WriteOnly))
        return;
    reached.close();
    const QDeadlineTimer deadline(120000);
    while (!QFile::exists(base + QStringLiteral(".go")) && !deadline.hasExpired())
        QThread::msleep(5);
}

} // namespace TestPause
