#pragma once

#include <QObject>

class MshfGrid;

// Scrolls one grid by MouseSpeed rows per wheel notch, and only while that
// grid has the keyboard focus; the header row is never made the top row.
class TrolleyMSHF : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    void Attach(MshfGrid* grid);
    int MouseSpeed() const { return m_mouseSpeed; }
    // Any number; rounded to a whole number of rows (halves to even) and kept
    // within the range of a 32-bit integer.
    void setMouseSpeed(double speed);

    // One wheel notification: down is towards later rows.
    void wheelNotch(bool down);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    MshfGrid* m_grid = nullptr;
    qint32 m_mouseSpeed = 1;
    int m_pendingDelta = 0;
};
