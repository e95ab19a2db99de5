#include "support/gui/TrolleyMSHF.h"

#include "browser/gui/MshfGrid.h"

#include <QWheelEvent>

void TrolleyMSHF::Attach(MshfGrid* grid)
{
    if (m_grid)
        m_grid->viewport()->removeEventFilter(this);
    m_grid = grid;
    m_mouseSpeed = 1;
    m_pendingDelta = 0;
    if (m_grid)
        m_grid->viewport()->installEventFilter(this);
}

void TrolleyMSHF::wheelNotch(bool down)
{
    if (!m_grid)
        return;
    m_grid->setFocus(Qt::MouseFocusReason);
    const int lastRow = m_grid->Rows() - 1;
    if (down) {
        const int target = m_grid->TopRow() + m_mouseSpeed;
        m_grid->setTopRow(target > lastRow ? lastRow : target);
    } else {
        const int target = m_grid->TopRow() - m_mouseSpeed;
        m_grid->setTopRow(target < 1 ? 1 : target);
    }
}

bool TrolleyMSHF::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::Wheel || !m_grid || watched != m_grid->viewport())
        return QObject::eventFilter(watched, event);
    // Notifications are taken only while the grid has the keyboard focus;
    // otherwise the wheel does nothing to the grid at all.
    if (m_grid->hasFocus()) {
        const auto* wheel = static_cast<QWheelEvent*>(event);
        m_pendingDelta += wheel->angleDelta().y();
        while (m_pendingDelta >= 120) {
            m_pendingDelta -= 120;
            wheelNotch(false);
        }
        while (m_pendingDelta <= -120) {
            m_pendingDelta += 120;
            wheelNotch(true);
        }
    }
    return true;
}
