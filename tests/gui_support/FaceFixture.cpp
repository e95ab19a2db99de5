#include "gui_support/FaceFixture.h"

#include "support/gui/MessageBox.h"

#include <QAction>
#include <QTest>

FaceFixture::FaceFixture(bool startNow, Register::Kind kind) : m_temp(kind)
{
    MessageBox::setScripted(true);
    if (startNow)
        start();
}

FaceFixture::~FaceFixture()
{
    m_face.reset();
    MessageBox::setScripted(false);
}

void FaceFixture::start()
{
    m_face = std::make_unique<TableFace>(m_temp.reg());
    m_face->startUp();
}

void FaceFixture::trigger(const QString& objectName)
{
    QAction* action = m_face->findChild<QAction*>(objectName);
    if (!action)
        QFAIL(qPrintable(QStringLiteral("no action named ") + objectName));
    action->trigger();
}
