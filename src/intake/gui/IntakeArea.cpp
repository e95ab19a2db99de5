#include "intake/gui/IntakeArea.h"

#include "browser/gui/TableFace.h"

IntakeArea::IntakeArea(TableFace* face) : QObject(face), m_face(face) {}

void IntakeArea::filesDropped(const QList<QUrl>&) {}
