#include "trash/gui/BinArea.h"

#include "store/RecordStore.h"
#include "store/RecycleBin.h"
#include "support/gui/MessageBox.h"
#include "trash/Trash.h"
#include "trash/gui/BinTableModel.h"

#include <QAction>
#include <QDropEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QTableView>
#include <QTimer>

namespace {

const QString purgeQuestion =
    QStringLiteral("你真的要彻底删除选中的记录吗？彻底删除后，记录及其文件都不能再恢复。");
const QString emptyQuestion =
    QStringLiteral("你真的要清空回收站吗？回收站中的所有记录及其文件都将被彻底删除，不能再恢复。");

} // namespace

const QString BinArea::dropRefusedText =
    QStringLiteral("回收站中不能登记文件。请先用“查询”菜单回到记录，再把文件拖进来。");

BinArea::BinArea(const Register& reg, QWidget* mainGrid, QList<QAction*> recordActions,
                 QLabel* status, QWidget* parent)
    : QObject(parent), m_register(reg), m_parent(parent), m_mainGrid(mainGrid),
      m_recordActions(std::move(recordActions)), m_status(status)
{
    m_grid = new QTableView(mainGrid->parentWidget());
    m_grid->setObjectName(QStringLiteral("BinGrid"));
    m_grid->setFont(mainGrid->font());
    m_grid->setGeometry(mainGrid->geometry());
    m_model = new BinTableModel(m_grid);
    m_grid->setModel(m_model);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setWordWrap(false);
    m_grid->verticalHeader()->setVisible(false);
    m_grid->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    m_grid->setContextMenuPolicy(Qt::CustomContextMenu);
    m_grid->horizontalHeader()->moveSection(RegisterRecord::SerialColumn, 0);
    // Files dropped here are not refused without a word.
    m_grid->setAcceptDrops(true);
    m_viewport = m_grid->viewport();
    m_viewport->installEventFilter(this);
    m_grid->hide();
    connect(m_grid, &QWidget::customContextMenuRequested, this, &BinArea::popup);

    m_menu = new QMenu(m_grid);
    m_menu->setObjectName(QStringLiteral("BinMenu"));
    m_restore = m_menu->addAction(QStringLiteral("恢复(&R)"));
    m_restore->setObjectName(QStringLiteral("RestoreMenuInterFace"));
    m_purge = m_menu->addAction(QStringLiteral("彻底删除(&D)"));
    m_purge->setObjectName(QStringLiteral("PurgeMenuInterFace"));
    m_menu->addSeparator();
    m_empty = m_menu->addAction(QStringLiteral("清空回收站(&E)"));
    m_empty->setObjectName(QStringLiteral("EmptyBinMenuInterFace"));
    connect(m_restore, &QAction::triggered, this, &BinArea::restoreSelected);
    connect(m_purge, &QAction::triggered, this, &BinArea::purgeSelected);
    connect(m_empty, &QAction::triggered, this, &BinArea::emptyBin);
}

bool BinArea::eventFilter(QObject* watched, QEvent* event)
{
    // Compared by the pointer kept: the grid may be half destroyed when its
    // viewport's last events arrive.
    if (watched != m_viewport)
        return false;
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDropEvent*>(event);
        if (!drag->mimeData()->hasUrls())
            return false;
        drag->acceptProposedAction();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        if (!drop->mimeData()->hasUrls())
            return false;
        drop->setDropAction(Qt::IgnoreAction);
        drop->accept();
        // After the drop has ended, so the file manager is not kept waiting.
        QTimer::singleShot(
            0, m_parent, [parent = m_parent] { MessageBox::information(parent, dropRefusedText); });
        return true;
    }
    default:
        return false;
    }
}

bool BinArea::isShown() const
{
    return !m_grid->isHidden();
}

void BinArea::show()
{
    reload();
    m_grid->setGeometry(m_mainGrid->geometry());
    m_grid->show();
    m_grid->raise();
    m_mainGrid->hide();
    for (QAction* action : std::as_const(m_recordActions))
        action->setEnabled(false);
    m_status->setText(QStringLiteral("当前显示记录为：回收站"));
    m_grid->setFocus();
}

void BinArea::leave()
{
    if (!isShown())
        return;
    m_grid->hide();
    m_mainGrid->show();
    for (QAction* action : std::as_const(m_recordActions))
        action->setEnabled(true);
}

void BinArea::reload()
{
    Result<QList<RecycleBin::Entry>> entries = m_register.records()->binEntries();
    if (!entries) {
        MessageBox::warning(m_parent, entries.error().fullText());
        m_model->setEntries({});
        return;
    }
    m_model->setEntries(std::move(entries).value());
    // The stored name stays hidden, as in the main grid; the serial shows,
    // first, since that is what restoring from the command line takes.
    m_grid->setColumnHidden(RegisterRecord::StoredNameColumn, true);
    m_grid->resizeColumnsToContents();
    if (m_model->rowCount() > 0)
        m_grid->selectRow(0);
}

void BinArea::refresh()
{
    if (!isShown())
        return;
    // Said nothing of: the next change tries again.
    Result<QList<RecycleBin::Entry>> entries = m_register.records()->binEntries();
    if (!entries)
        return;
    const QList<qint64> selected = selectedIdentities();
    const int topRow = m_grid->rowAt(0);
    const qint64 top = topRow >= 0 ? m_model->entries().at(topRow).record.rowid : 0;
    m_model->setEntries(std::move(entries).value());
    m_grid->resizeColumnsToContents();
    QItemSelection keep;
    for (int row = 0; row < m_model->rowCount(); ++row) {
        const qint64 identity = m_model->entries().at(row).record.rowid;
        if (selected.contains(identity))
            keep.select(m_model->index(row, 0), m_model->index(row, m_model->columnCount() - 1));
        if (identity == top)
            m_grid->scrollTo(m_model->index(row, 0), QAbstractItemView::PositionAtTop);
    }
    if (!keep.isEmpty())
        m_grid->selectionModel()->setCurrentIndex(keep.first().topLeft(),
                                                  QItemSelectionModel::NoUpdate);
    m_grid->selectionModel()->select(keep, QItemSelectionModel::ClearAndSelect);
}

void BinArea::popup(const QPoint& viewportPosition)
{
    const QModelIndex under = m_grid->indexAt(viewportPosition);
    if (under.isValid() && !m_grid->selectionModel()->isRowSelected(under.row(), {}))
        m_grid->selectRow(under.row());
    const bool any = !selectedIdentities().isEmpty();
    m_restore->setEnabled(any);
    m_purge->setEnabled(any);
    m_empty->setEnabled(m_model->rowCount() > 0);
    m_menu->popup(m_grid->viewport()->mapToGlobal(viewportPosition));
}

QList<qint64> BinArea::selectedIdentities() const
{
    QList<qint64> identities;
    if (!isShown())
        return identities;
    for (const QModelIndex& row : m_grid->selectionModel()->selectedRows())
        identities << m_model->entries().at(row.row()).record.rowid;
    return identities;
}

void BinArea::restoreSelected()
{
    const QList<qint64> identities = selectedIdentities();
    if (identities.isEmpty())
        return;
    QStringList lines;
    QStringList failures;
    for (const qint64 identity : identities) {
        Result<Trash::Restored> restored = Trash::restore(m_register, identity);
        if (!restored) {
            failures << restored.error().fullText();
            continue;
        }
        QString line = QStringLiteral("“%1”已恢复").arg(restored->fileName);
        if (restored->serialChanged())
            line += QStringLiteral("，原序号 %1 已被占用，改为 %2")
                        .arg(restored->oldSerial.toString(), restored->serial.toString());
        if (restored->storedNameChanged())
            line += QStringLiteral("，原存储名“%1”已被占用，改为“%2”")
                        .arg(restored->oldStoredName, restored->storedName);
        lines << line + QStringLiteral("。");
    }
    reload();
    if (!lines.isEmpty())
        Q_EMIT restored();
    QStringList all = lines + failures;
    QString summary = QStringLiteral("已恢复 %1 条记录。").arg(lines.size());
    if (!failures.isEmpty())
        summary += QStringLiteral("%1 条未能恢复。").arg(failures.size());
    // One record needs no summary above its line.
    if (all.size() == 1)
        summary = all.takeFirst();
    MessageBox::report(m_parent, failures.isEmpty() ? MessageBox::Information : MessageBox::Warning,
                       summary, all);
}

void BinArea::purgeSelected()
{
    const QList<qint64> identities = selectedIdentities();
    if (identities.isEmpty())
        return;
    if (MessageBox::question(m_parent, purgeQuestion) != MessageBox::Yes)
        return;
    QStringList failures;
    for (const qint64 identity : identities) {
        if (Status purged = Trash::purge(m_register, identity); !purged)
            failures << purged.error().fullText();
    }
    reload();
    if (!failures.isEmpty())
        MessageBox::warning(m_parent, failures.join(QLatin1Char('\n')));
}

void BinArea::emptyBin()
{
    if (m_model->rowCount() == 0)
        return;
    if (MessageBox::question(m_parent, emptyQuestion) != MessageBox::Yes)
        return;
    // Read again: what is in the bin now is what the user asked to empty.
    Result<QList<RecycleBin::Entry>> entries = m_register.records()->binEntries();
    QStringList failures;
    if (!entries)
        failures << entries.error().fullText();
    else
        for (const RecycleBin::Entry& entry : entries.value()) {
            if (Status purged = Trash::purge(m_register, entry.record.rowid); !purged)
                failures << purged.error().fullText();
        }
    reload();
    if (!failures.isEmpty())
        MessageBox::warning(m_parent, failures.join(QLatin1Char('\n')));
}
