#include "queries/gui/QueriesArea.h"

#include "browser/gui/TableFace.h"

QueriesArea::QueriesArea(TableFace* face) : QObject(face), m_face(face) {}

void QueriesArea::CxMenu_Click(int) {}
void QueriesArea::RefreshCxCaptions() {}
void QueriesArea::openManager() {}
