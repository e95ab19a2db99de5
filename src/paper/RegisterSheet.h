#pragma once

#include "base/Result.h"
#include "paper/PaperProgress.h"
#include "store/view/ViewRst.h"

#include <QDate>
#include <QPageLayout>
#include <QString>

#include <optional>

class QPagedPaintDevice;
class QPainter;

// The register as a printed sheet: one row per record of a view (serial,
// date, name, remark, recipient, method, folder), the title and the column
// headings on every page, long texts wrapped within their column, and
// "第 N 页 共 M 页" at the foot. The rows are laid out once to count the
// pages, then painted; a printer, the preview and a PDF file all take this
// one way. Records are read through the view's record set a page at a time.
namespace RegisterSheet {

// A4 landscape with margins of 12 mm: what a sheet is printed on unless the
// printer dialog says otherwise.
QPageLayout defaultPageLayout();

// The earliest and latest valid date of the view's records; nullopt for a
// view without one, or when `progress` stopped the scan.
struct DateSpan {
    QDate first;
    QDate last;
};
std::optional<DateSpan> dateSpan(const ViewRst& view, const PaperProgress& progress = {});

// The title a sheet starts with: the view's caption and its dates.
QString defaultTitle(const QString& caption, const std::optional<DateSpan>& span);

// Paints every page on `device`, through `painter` already begun on it.
// True when done, false when `progress` stopped it (the pages painted stay:
// the caller drops them, as a printer's abort or a file not kept does).
Result<bool> paint(QPainter& painter, QPagedPaintDevice& device, const ViewRst& view,
                   const QString& title, const PaperProgress& progress = {});

// The sheet as a PDF file on `layout` (the default one when not given),
// written whole or not at all: a failure or a stop leaves no file.
Result<bool> writePdf(const QString& path, const ViewRst& view, const QString& title,
                      const PaperProgress& progress = {},
                      const std::optional<QPageLayout>& layout = std::nullopt);

} // namespace RegisterSheet
