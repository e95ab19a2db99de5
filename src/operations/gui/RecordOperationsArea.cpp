#include "operations/gui/RecordOperationsArea.h"

#include "base/GeneralRoutines.h"
#include "browser/gui/MshfGrid.h"
#include "browser/gui/RecordTableModel.h"
#include "operations/RecordDelete.h"
#include "operations/RecordExport.h"
#include "operations/RecordHistory.h"
#include "operations/RecordReorder.h"
#include "operations/gui/DesktopOpener.h"
#include "operations/gui/HistoryFace.h"
#include "support/gui/MessageBox.h"
#include "support/gui/SaveDialog.h"

#include <QCoreApplication>
#include <QPointer>
#include <QProgressDialog>
#include <QTimer>

using GeneralRoutines::MaxValue;
using GeneralRoutines::MinValue;

namespace {

const QString cannotOpenText = QStringLiteral("程序无法直接打开该文件，用使用另存为功能");
const QString deleteQuestion = QStringLiteral("你真的要删除此文件吗？");

} // namespace

RecordOperationsArea::RecordOperationsArea(Register reg, MshfGrid* grid, QWidget* window)
    : QObject(window), m_register(std::move(reg)), m_grid(grid), m_window(window)
{
}

MshfGrid* RecordOperationsArea::grid() const
{
    return m_grid;
}

RecordTableModel* RecordOperationsArea::model() const
{
    return grid()->recordModel();
}

int RecordOperationsArea::currentRecordRow() const
{
    const int row = grid()->Row();
    if (row < 1 || model()->isPlaceholder())
        return 0;
    return grid()->TextMatrix(row, RegisterRecord::StoredNameColumn).isEmpty() ? 0 : row;
}

QString RecordOperationsArea::storedCopyOrWarn(int row) const
{
    Result<QString> path = RecordExport::existingStoredCopy(
        m_register, grid()->TextMatrix(row, RegisterRecord::StoredNameColumn));
    if (!path) {
        MessageBox::warning(m_window, RecordExport::notFoundText);
        return QString();
    }
    return path.value();
}

void RecordOperationsArea::selectWholeRow(int row)
{
    grid()->selectRows(row, row);
    grid()->scrollTo(model()->index(row - 1, 0));
}

void RecordOperationsArea::openFromCommand()
{
    if (grid()->Row() >= 1)
        grid()->selectRows(grid()->Row(), grid()->Row());
    open();
}

void RecordOperationsArea::open()
{
    const int row = currentRecordRow();
    if (row == 0)
        return;
    const QString path = storedCopyOrWarn(row);
    if (path.isEmpty())
        return;
    QPointer<RecordOperationsArea> self(this);
    const auto cannotOpen = [self] {
        if (!self || self->m_tellingCannotOpen)
            return;
        self->m_tellingCannotOpen = true;
        MessageBox::warning(self->m_window, cannotOpenText);
        if (self)
            self->m_tellingCannotOpen = false;
    };
    if (!DesktopOpener::open(path, cannotOpen))
        cannotOpen();
}

void RecordOperationsArea::saveAs()
{
    const int row = currentRecordRow();
    if (row == 0)
        return;
    if (storedCopyOrWarn(row).isEmpty())
        return;
    grid()->selectRows(row, row);
    const QString fileName = grid()->TextMatrix(row, RegisterRecord::FileNameColumn);
    const std::shared_ptr<ViewRst> view = model()->view();
    if (!view || row > view->recordCount())
        return;
    const qint64 identity = view->keyAt(row);
    const QString target = SaveDialog::getSaveFileName(m_window, RecordExport::plainName(fileName));
    if (target.isEmpty())
        return;
    if (RecordExport::isTaken(target)) {
        // The question names the registered file, whatever name was typed.
        const QString question =
            QStringLiteral("文件\r\n") + fileName + QStringLiteral("\r\n已经存在,是否覆盖原文件？");
        if (MessageBox::question(m_window, question, QString()) != MessageBox::Yes)
            return;
    }
    if (Status saved = RecordExport::saveRecordAs(m_register, identity, target); !saved)
        MessageBox::warning(m_window, saved.error().fullText());
}

void RecordOperationsArea::sendToDesktop()
{
    const int row = currentRecordRow();
    if (row == 0)
        return;
    if (storedCopyOrWarn(row).isEmpty())
        return;
    const int first = MinValue(row, grid()->RowSel());
    const int last = MaxValue(row, grid()->RowSel());
    const QString desktop = RecordExport::desktopFolder();

    // Many rows take a while: show progress and let the user stop.
    QProgressDialog progress(QStringLiteral("正在发送至桌面…"), QStringLiteral("取消"), 0,
                             last - first + 1, m_window);
    progress.setWindowTitle(QStringLiteral("发送至桌面"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(800);

    const std::shared_ptr<ViewRst> view = model()->view();
    QStringList notSent;
    for (int i = first; view && i <= last && i <= view->recordCount(); ++i) {
        progress.setValue(i - first);
        if (progress.wasCanceled()) {
            notSent << QStringLiteral("（已取消，其余 %1 个文件未发送）").arg(last - i + 1);
            break;
        }
        const QString fileName = grid()->TextMatrix(i, RegisterRecord::FileNameColumn);
        Result<QString> sent =
            RecordExport::sendRecordToDesktop(m_register, view->keyAt(i), desktop);
        // A record removed by another program since the view was shown is passed over.
        if (!sent && sent.error().code != ErrorCode::NotFound)
            notSent << fileName + QStringLiteral("：") + sent.error().message;
    }
    progress.setValue(last - first + 1);
    if (!notSent.isEmpty())
        MessageBox::warning(m_window, QStringLiteral("以下文件未能发送至桌面：\n") +
                                          notSent.join(QLatin1Char('\n')));
}

void RecordOperationsArea::deleteRecord()
{
    const int row = currentRecordRow();
    if (row == 0)
        return;
    const std::shared_ptr<ViewRst> asked = model()->view();
    const std::optional<RegisterRecord> shown =
        asked && row <= asked->recordCount() ? asked->record(row) : std::nullopt;
    if (!shown)
        return;
    // The record asked about is the one deleted, wherever the view has put
    // it by the time the person answers.
    const SeenRecord seen = SeenRecord::of(*shown);
    grid()->selectRows(row, row);
    // The selection is painted before the question covers the window.
    QCoreApplication::processEvents();
    if (MessageBox::question(m_window, deleteQuestion) != MessageBox::Yes)
        return;
    const Status deleted = RecordDelete::deleteRecord(m_register, seen);
    if (!deleted) {
        MessageBox::warning(m_window, deleted.error().fullText());
        return;
    }
    const std::shared_ptr<ViewRst> view = model()->view();
    const int position = view ? view->positionOf(seen.rowid) : 0;
    if (position == 0)
        return;
    model()->recordRemoved(position);
    if (!model()->isPlaceholder())
        selectWholeRow(std::min(position, view->recordCount()));

    // A folder whose last record went leaves the menu a moment later.
    QTimer::singleShot(folderMenuDelay, this, &RecordOperationsArea::foldersChanged);
}

void RecordOperationsArea::moveUp()
{
    const int row = currentRecordRow();
    if (row <= 1)
        return;
    const std::shared_ptr<ViewRst> view = model()->view();
    if (!view)
        return;
    if (Status moved = RecordReorder::moveUp(*view, row); !moved) {
        MessageBox::warning(m_window, moved.error().fullText());
        return;
    }
    model()->recordsChanged(row - 1, row);
    selectWholeRow(row - 1);
}

void RecordOperationsArea::moveDown()
{
    const int row = currentRecordRow();
    if (row == 0)
        return;
    const std::shared_ptr<ViewRst> view = model()->view();
    if (!view || row >= view->recordCount())
        return;
    if (Status moved = RecordReorder::moveDown(*view, row); !moved) {
        MessageBox::warning(m_window, moved.error().fullText());
        return;
    }
    model()->recordsChanged(row, row + 1);
    selectWholeRow(row + 1);
}

void RecordOperationsArea::modify()
{
    const int row = currentRecordRow();
    if (row == 0)
        return;
    const std::shared_ptr<ViewRst> view = model()->view();
    if (!view)
        return;
    const int first = MinValue(row, grid()->RowSel());
    const int last = MaxValue(row, grid()->RowSel());
    QList<SeenRecord> records;
    for (int i = first; i <= last; ++i) {
        if (const std::optional<RegisterRecord> shown = view->record(i))
            records << SeenRecord::of(*shown);
    }
    if (records.isEmpty())
        return;
    Q_EMIT modifyRequested(records);
}

void RecordOperationsArea::showHistory()
{
    const int row = currentRecordRow();
    if (row == 0)
        return;
    const std::shared_ptr<ViewRst> view = model()->view();
    if (!view || row > view->recordCount())
        return;
    grid()->selectRows(row, row);
    const qint64 identity = view->keyAt(row);
    Result<QList<Audit::Entry>> entries = RecordHistory::ofRecord(m_register, identity);
    if (!entries) {
        MessageBox::warning(m_window, entries.error().fullText());
        return;
    }
    auto* window = new HistoryFace(grid()->TextMatrix(row, RegisterRecord::FileNameColumn),
                                   entries.value(), m_window);
    window->show();
}

void RecordOperationsArea::showChanged(const QList<qint64>& rowids)
{
    const std::shared_ptr<ViewRst>& view = model()->view();
    if (!view)
        return;
    for (const qint64 rowid : rowids) {
        if (const int position = view->positionOf(rowid); position > 0)
            model()->recordsChanged(position, position);
    }
}

void RecordOperationsArea::gridRightButton(int rowUnderPointer, const QPoint& globalPosition)
{
    if (rowUnderPointer <= 0)
        return;
    // A multi-row selection stays for the commands that use it.
    if (grid()->Row() == grid()->RowSel())
        grid()->selectRows(rowUnderPointer, rowUnderPointer);
    Q_EMIT contextMenuRequested(globalPosition);
}
