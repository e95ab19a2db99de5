#include "content/gui/ContentArea.h"

#include "content/ContentQueue.h"
#include "content/ContentReading.h"
#include "content/ContentText.h"

#include <QFutureWatcher>
#include <QLabel>
#include <QThread>
#include <QTimer>
#include <QtConcurrent>

#include <atomic>

// What the reading thread tells; the window looks at it on a timer.
struct ContentArea::Run {
    std::atomic<bool> stop = false;
    std::atomic<qint64> done = 0;
    std::atomic<qint64> total = 0;
};

ContentArea::ContentArea(Register reg, Parts parts, QObject* parent)
    : QObject(parent), m_register(std::move(reg)), m_snippet(parts.snippet), m_status(parts.status)
{
    m_progressTimer = new QTimer(this);
    m_progressTimer->setInterval(250);
    connect(m_progressTimer, &QTimer::timeout, this, &ContentArea::showProgress);
}

ContentArea::~ContentArea()
{
    stopReading();
}

void ContentArea::setBackgroundReading(bool on)
{
    m_background = on;
}

void ContentArea::readQueue()
{
    if (!m_background)
        return;
    if (m_thread) {
        m_again = true;
        return;
    }
    startRun();
}

void ContentArea::startRun()
{
    m_again = false;
    m_run = std::make_shared<Run>();
    m_thread = QThread::create([run = m_run, reg = m_register] {
        const auto told = [&run](const ContentReading::Progress& progress) {
            run->done = progress.done;
            run->total = progress.total;
        };
        // A failure (a lock held too long, say) waits for the next run.
        static_cast<void>(ContentReading::run(reg, {}, told, &run->stop));
        reg.closeConnection();
    });
    m_thread->setObjectName(QStringLiteral("ContentReading"));
    connect(m_thread, &QThread::finished, this, &ContentArea::runEnded);
    m_thread->start(QThread::LowPriority);
    m_progressTimer->start();
}

void ContentArea::runEnded()
{
    m_thread->deleteLater();
    m_thread = nullptr;
    m_run.reset();
    m_progressTimer->stop();
    if (m_status)
        m_status->clear();
    Q_EMIT readingEnded();
    if (m_again)
        startRun();
}

bool ContentArea::stopReading(int timeoutMs)
{
    m_again = false;
    if (!m_thread)
        return true;
    m_run->stop = true;
    disconnect(m_thread, nullptr, this, nullptr);
    const bool stopped = m_thread->wait(timeoutMs);
    if (stopped) {
        delete m_thread;
    } else {
        // Still waiting for a reader: left to end with the program, which
        // takes the reader with it. It holds nothing of this area.
        connect(m_thread, &QThread::finished, m_thread, &QObject::deleteLater);
    }
    m_thread = nullptr;
    m_run.reset();
    m_progressTimer->stop();
    if (m_status)
        m_status->clear();
    return stopped;
}

void ContentArea::showProgress()
{
    if (!m_run || m_run->total == 0 || !m_status)
        return;
    // A copy found to be a scan is counted again in the recognition pass.
    const qint64 done = m_run->done;
    m_status->setText(QStringLiteral("正在读取文件内容 … %1/%2")
                          .arg(done)
                          .arg(std::max(done, m_run->total.load())));
}

void ContentArea::showSnippet(qint64 identity, const QString& term)
{
    const quint64 generation = ++m_snippetGeneration;
    if (identity == 0 || term.isEmpty()) {
        if (m_snippet)
            m_snippet->clear();
        Q_EMIT snippetShown();
        return;
    }
    auto* watcher = new QFutureWatcher<QString>(this);
    connect(watcher, &QFutureWatcher<QString>::finished, this, [this, watcher, generation] {
        watcher->deleteLater();
        if (generation != m_snippetGeneration || !m_snippet)
            return;
        m_snippet->setText(watcher->result());
        Q_EMIT snippetShown();
    });
    watcher->setFuture(QtConcurrent::run([reg = m_register, identity, term] {
        Result<std::optional<QString>> text = ContentText::ofRecord(reg, identity);
        if (!text || !text->has_value())
            return QStringLiteral("<span style=\"color:gray\">%1</span>")
                .arg(text ? QStringLiteral("文件内容尚未读取")
                          : text.error().message.toHtmlEscaped());
        const std::optional<ContentText::Snippet> piece = ContentText::snippet(**text, term);
        if (!piece)
            return QString();
        return QString(piece->before.toHtmlEscaped() +
                       QStringLiteral("<span style=\"background-color:#ffe600;color:black\">") +
                       piece->match.toHtmlEscaped() + QStringLiteral("</span>") +
                       piece->after.toHtmlEscaped());
    }));
}

Result<bool> ContentArea::ocrEnabled() const
{
    return ContentQueue::ocrEnabled(m_register);
}

Status ContentArea::setOcrEnabled(bool on)
{
    Status set = ContentQueue::setOcrEnabled(m_register, on);
    // Scans waiting for recognition are read now.
    if (set && on)
        readQueue();
    return set;
}
