#include "support/gui/ClosingSequence.h"

#include <QCoreApplication>
#include <QWidget>

ClosingSequence::ClosingSequence(QWidget* form, std::function<void()> rebuildFolderMenu)
    : QObject(form), m_form(form), m_rebuildFolderMenu(std::move(rebuildFolderMenu))
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &ClosingSequence::tick);
}

void ClosingSequence::start()
{
    m_timer.start(10);
}

void ClosingSequence::tick()
{
    switch (m_timer.interval()) {
    case 10:
        if (m_form)
            m_form->hide();
        QCoreApplication::processEvents();
        m_timer.start(600);
        break;
    case 600:
        m_timer.start(20);
        break;
    default:
        if (m_rebuildFolderMenu)
            m_rebuildFolderMenu();
        Q_EMIT finished();
        if (m_form)
            m_form->close();
        break;
    }
}
