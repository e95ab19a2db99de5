#include "operations/gui/RecordOperationsArea.h"

#include "browser/gui/TableFace.h"

RecordOperationsArea::RecordOperationsArea(TableFace* face) : QObject(face), m_face(face) {}

void RecordOperationsArea::openFromCommand() {}
void RecordOperationsArea::open() {}
void RecordOperationsArea::saveAs() {}
void RecordOperationsArea::sendToDesktop() {}
void RecordOperationsArea::deleteRecord() {}
void RecordOperationsArea::moveUp() {}
void RecordOperationsArea::moveDown() {}
void RecordOperationsArea::modify() {}
void RecordOperationsArea::gridRightButton(int, const QPoint&) {}
