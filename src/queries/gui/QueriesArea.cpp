#include "queries/gui/QueriesArea.h"

#include "support/gui/MessageBox.h"

QueriesArea::QueriesArea(Register reg, QWidget* window)
    : QObject(window), m_register(std::move(reg)), m_window(window)
{
}

void QueriesArea::CxMenu_Click(int n)
{
    Result<QueryRun> run = QuerySlots::prepareRun(m_register, n);
    if (!run) {
        MessageBox::warning(
            m_window, QStringLiteral("无法运行自定义查询%1：%2").arg(n).arg(run.error().message));
        return;
    }
    if (run->emptySlot &&
        // Nothing is lost by saying yes here: Enter opens the manager.
        MessageBox::question(m_window, QStringLiteral("你还未设置该自定义查询，是否现在设置？"),
                             MessageBox::warningCaption, MessageBox::Yes) == MessageBox::Yes) {
        openManagerModeless();
        return;
    }

    // A search that fails tells the user and leaves the old view and caption.
    Q_EMIT searchRequested(run->criteria, run->caption);
}

void QueriesArea::repairOnce()
{
    if (m_repairChecked)
        return;
    m_repairChecked = true;
    const Register& reg = m_register;
    Result<bool> needed = QuerySlots::needsRepair(reg);
    if (needed && !*needed)
        return;
    Status repaired = needed ? QuerySlots::repair(reg) : Status(needed.error());
    if (!repaired) {
        MessageBox::warning(
            m_window, QStringLiteral("自定义查询表不完整，无法修复：%1\n缺少的查询将无法使用。")
                          .arg(repaired.error().message));
    }
}

void QueriesArea::RefreshCxCaptions()
{
    repairOnce();
    Result<QList<QuerySlot>> slots = QuerySlots::readAll(m_register);
    if (!slots)
        return;
    Q_EMIT captionsRead(slots.value());
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
    m_manager = new ManagementCx(m_register, m_window);
    m_manager->setAttribute(Qt::WA_DeleteOnClose);
    m_manager->setWindowModality(modality);
    connect(m_manager, &ManagementCx::saved, this, &QueriesArea::RefreshCxCaptions);
    m_manager->show();
}
