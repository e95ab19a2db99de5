#include "paper/gui/PaperArea.h"

#include "paper/RecordWorkbook.h"
#include "paper/RegisterSheet.h"
#include "support/gui/MessageBox.h"
#include "support/gui/SaveDialog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QInputDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProgressDialog>

namespace {

// A progress dialog over the window while the work runs on its thread: the
// work's progress calls let the window repaint and the cancel button answer.
class CancellableProgress {
public:
    CancellableProgress(QWidget* window, const QString& objectName, const QString& label)
        : m_dialog(label, QStringLiteral("取消"), 0, 1000, window)
    {
        m_dialog.setObjectName(objectName);
        m_dialog.setWindowTitle(QStringLiteral("Quorvel2.0"));
        m_dialog.setWindowModality(Qt::WindowModal);
        m_dialog.setMinimumDuration(300);
        m_dialog.setAutoClose(false);
        m_dialog.setAutoReset(false);
        m_dialog.setValue(0);
        m_shown.start();
    }

    PaperProgress progress()
    {
        return [this](qint64 done, qint64 total) {
            if (m_shown.hasExpired(40)) {
                m_shown.restart();
                m_dialog.setValue(total > 0 ? int(done * 1000 / total) : 0);
                QCoreApplication::processEvents();
            }
            return !m_dialog.wasCanceled();
        };
    }

    bool cancelled() const { return m_dialog.wasCanceled(); }

private:
    QProgressDialog m_dialog;
    QElapsedTimer m_shown;
};

QPrinter* sheetPrinter(QPrinter& printer, const QString& title)
{
    printer.setPageLayout(RegisterSheet::defaultPageLayout());
    printer.setDocName(title);
    printer.setCreator(QStringLiteral("Quorvel"));
    return &printer;
}

} // namespace

PaperArea::PaperArea(std::function<std::shared_ptr<ViewRst>()> view,
                     std::function<QString()> caption, QWidget* window)
    : QObject(window), m_view(std::move(view)), m_caption(std::move(caption)), m_window(window)
{
}

std::shared_ptr<ViewRst> PaperArea::viewCopy() const
{
    const std::shared_ptr<ViewRst> shown = m_view();
    if (!shown)
        return nullptr;
    QList<qint64> keys;
    keys.reserve(shown->recordCount());
    for (int position = 1; position <= shown->recordCount(); ++position)
        keys << shown->keyAt(position);
    return std::make_shared<ViewRst>(shown->registerStore(), shown->condition(), keys);
}

std::optional<QString> PaperArea::askTitle(const ViewRst& view)
{
    std::optional<RegisterSheet::DateSpan> span;
    {
        CancellableProgress work(m_window, QStringLiteral("PaperDatesProgress"),
                                 QStringLiteral("正在读取记录的日期…"));
        span = RegisterSheet::dateSpan(view, work.progress());
        if (work.cancelled())
            return std::nullopt;
    }
    bool ok = false;
    const QString title = QInputDialog::getText(
        m_window, QStringLiteral("打印"), QStringLiteral("标题："), QLineEdit::Normal,
        RegisterSheet::defaultTitle(m_caption(), span), &ok);
    return ok ? std::optional(title) : std::nullopt;
}

void PaperArea::print()
{
    const std::shared_ptr<ViewRst> view = viewCopy();
    if (!view)
        return;
    const std::optional<QString> asked = askTitle(*view);
    if (!asked)
        return;
    const QString& title = *asked;
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(sheetPrinter(printer, title), m_window);
    if (dialog.exec() != QDialog::Accepted)
        return;
    QPainter painter;
    if (!painter.begin(&printer)) {
        MessageBox::warning(m_window, QStringLiteral("无法开始打印，请检查打印机。"));
        return;
    }
    Result<bool> printed = false;
    {
        CancellableProgress work(m_window, QStringLiteral("PrintProgress"),
                                 QStringLiteral("正在打印 %1 条记录…").arg(view->recordCount()));
        printed = RegisterSheet::paint(painter, printer, *view, title, work.progress());
    }
    if (!printed || !printed.value())
        printer.abort();
    painter.end();
    // A file the print went to is complete or gone.
    if ((!printed || !printed.value()) && !printer.outputFileName().isEmpty())
        QFile::remove(printer.outputFileName());
    if (!printed)
        MessageBox::warning(m_window, printed.error().fullText());
}

void PaperArea::preview()
{
    const std::shared_ptr<ViewRst> view = viewCopy();
    if (!view)
        return;
    const std::optional<QString> asked = askTitle(*view);
    if (!asked)
        return;
    const QString& title = *asked;
    QPrinter printer(QPrinter::HighResolution);
    QPrintPreviewDialog dialog(sheetPrinter(printer, title), m_window);
    dialog.setWindowTitle(QStringLiteral("打印预览"));
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, [&](QPrinter* target) {
        QPainter painter(target);
        CancellableProgress work(&dialog, QStringLiteral("PreviewProgress"),
                                 QStringLiteral("正在排版 %1 条记录…").arg(view->recordCount()));
        const Result<bool> painted =
            RegisterSheet::paint(painter, *target, *view, title, work.progress());
        if (!painted)
            MessageBox::warning(&dialog, painted.error().fullText());
    });
    dialog.exec();
}

void PaperArea::exportWorkbook()
{
    const std::shared_ptr<ViewRst> view = viewCopy();
    if (!view)
        return;
    QString path = SaveDialog::getSaveFileName(m_window, QStringLiteral("登记簿.xlsx"));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".xlsx");
    if (QFileInfo::exists(path)) {
        const QString question =
            QStringLiteral("文件“%1”已经存在，是否覆盖？").arg(QFileInfo(path).fileName());
        if (MessageBox::question(m_window, question) != MessageBox::Yes)
            return;
    }
    Result<bool> written = false;
    {
        CancellableProgress work(m_window, QStringLiteral("ExportProgress"),
                                 QStringLiteral("正在导出 %1 条记录…").arg(view->recordCount()));
        written = writeWorkbook(path, *view, work.progress());
    }
    if (!written)
        MessageBox::warning(m_window, written.error().fullText());
}
