#include "browser/gui/TrolleyMSHF.h"

#include "browser/gui/MshfGrid.h"

#include <QScrollBar>
#include <QWheelEvent>

#include <cmath>
#include <limits>

void TrolleyMSHF::Attach(MshfGrid* grid)
{
    if (m_grid) {
        m_grid->viewport()->removeEventFilter(this);
        m_grid->verticalScrollBar()->removeEventFilter(this);
    }
    m_grid = grid;
    m_mouseSpeed = 1;
    m_pendingDelta = 0;
    if (m_grid) {
        // The scroll bar too: the wheel over it must follow the same rules.
        m_grid->viewport()->installEventFilter(this);
        m_grid->verticalScrollBar()->installEventFilter(this);
    }
}

void TrolleyMSHF::setMouseSpeed(double speed)
{
    if (std::isnan(speed))
        return;
    const double rounded = std::nearbyint(speed);
    m_mouseSpeed =
        static_cast<qint32>(std::clamp(rounded, double(std::numeric_limits<qint32>::min()),
                                       double(std::numeric_limits<qint32>::max())));
}

void TrolleyMSHF::wheelNotch(bool down)
{
    if (!m_grid)
        return;
    m_grid->setFocus(Qt::MouseFocusReason);
    // 64-bit sums: a huge speed must not overflow past the ends.
    const qint64 lastRow = m_grid->Rows() - 1;
    const qint64 top = m_grid->TopRow();
    if (down) {
        const qint64 target = top + m_mouseSpeed;
        m_grid->setTopRow(
            static_cast<int>(target > lastRow ? lastRow : std::max<qint64>(target, 1)));
    } else {
        const qint64 target = top - m_mouseSpeed;
        m_grid->setTopRow(static_cast<int>(target < 1 ? 1 : std::min(target, lastRow)));
    }
}

bool TrolleyMSHF::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::Wheel || !m_grid ||
        (watched != m_grid->viewport() && watched != m_grid->verticalScrollBar()))
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
