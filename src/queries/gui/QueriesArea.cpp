#include "queries/gui/QueriesArea.h"

#include "browser/gui/TableFace.h"
#include "browser/gui/ViewsArea.h"
#include "queries/QuerySlots.h"
#include "queries/gui/ManagementCx.h"
#include "support/gui/MessageBox.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>

QueriesArea::QueriesArea(TableFace* face) : QObject(face), m_face(face) {}

void QueriesArea::CxMenu_Click(int n)
{
    Result<QuerySlot> slot = QuerySlots::read(m_face->registerStore(), n);
    if (!slot) {
        MessageBox::warning(
            m_face, QStringLiteral("无法运行自定义查询%1：%2").arg(n).arg(slot.error().message));
        return;
    }
    if (slot->isEmptySlot() &&
        // Nothing is lost by saying yes here: Enter opens the manager.
        MessageBox::question(m_face, QStringLiteral("你还未设置该自定义查询，是否现在设置？"),
                             MessageBox::warningCaption, MessageBox::Yes) == MessageBox::Yes) {
        openManagerModeless();
        return;
    }

    // Every box is written, so nothing of an earlier search survives.
    const QList<QLineEdit*>& boxes = m_face->SearchText();
    for (int i = 0; i < SearchCriteria::BoxCount; ++i)
        boxes.at(i)->setText(slot->criteria.box(i));
    // A search that fails tells the user and leaves the old view and caption.
    m_face->views()->Search(m_face->views()->SqlMade(), QStringLiteral("自定义查询") +
                                                            QString::number(n) +
                                                            QStringLiteral("：") + slot->name);
}

void QueriesArea::repairOnce()
{
    if (m_repairChecked)
        return;
    m_repairChecked = true;
    const Register& reg = m_face->registerStore();
    Result<bool> needed = QuerySlots::needsRepair(reg);
    if (needed && !*needed)
        return;
    Status repaired = needed ? QuerySlots::repair(reg) : Status(needed.error());
    if (!repaired) {
        MessageBox::warning(
            m_face, QStringLiteral("自定义查询表不完整，无法修复：%1\n缺少的查询将无法使用。")
                        .arg(repaired.error().message));
    }
}

void QueriesArea::RefreshCxCaptions()
{
    repairOnce();
    Result<QList<QuerySlot>> slots = QuerySlots::readAll(m_face->registerStore());
    if (!slots)
        return;
    const QList<QAction*> buttons = m_face->toolbarButtons();
    for (const QuerySlot& slot : slots.value()) {
        if (QAction* item = m_face->action(QStringLiteral("CxMenu%1").arg(slot.number)))
            item->setText(slot.name);
        if (QAction* button = buttons.value(slot.number + 4)) {
            button->setToolTip(slot.name);
            button->setText(slot.title);
        }
    }
}

void QueriesArea::openManager()
{
    showManager(Qt::ApplicationModal);
}

void QueriesArea::openManagerModeless()
{
    showManager(Qt::NonModal);
}

void QueriesArea::showManager(Qt::WindowModality modality)
{
    // One form at a time: asking again brings the open one to the front.
    if (m_manager) {
        m_manager->show();
        m_manager->raise();
        m_manager->activateWindow();
        return;
    }
    m_manager = new ManagementCx(m_face->registerStore(), m_face);
    m_manager->setAttribute(Qt::WA_DeleteOnClose);
    m_manager->setWindowModality(modality);
    connect(m_manager, &ManagementCx::saved, this, &QueriesArea::RefreshCxCaptions);
    m_manager->show();
}
