#include "inbox/InboxRunner.h"

#include "inbox/InboxWatcher.h"

#include <QThread>

InboxRunner::InboxRunner(QObject* parent) : QObject(parent) {}

InboxRunner::~InboxRunner()
{
    stop();
}

void InboxRunner::restart(const Register& reg)
{
    stop();
    Result<Inbox::Settings> settings = Inbox::settings(reg);
    if (!settings || settings->folder.isEmpty())
        return;
    m_thread = new QThread();
    m_thread->setObjectName(QStringLiteral("inbox"));
    auto* watcher = new InboxWatcher(reg);
    watcher->moveToThread(m_thread);
    m_watcher = watcher;
    connect(m_thread, &QThread::finished, watcher, &QObject::deleteLater);
    connect(watcher, &InboxWatcher::fileRegistered, this,
            [this](const QString&, qint64, qint64 total) { Q_EMIT registered(total); });
    connect(watcher, &InboxWatcher::problem, this, &InboxRunner::problem);
    connect(m_thread, &QThread::started, watcher, [this, watcher] {
        if (Status started = watcher->start(); !started)
            Q_EMIT problem(started.error().fullText());
    });
    m_thread->start();
}

void InboxRunner::stop()
{
    if (!m_thread)
        return;
    if (m_watcher)
        m_watcher->cancel();
    m_thread->quit();
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
}
