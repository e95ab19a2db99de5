#pragma once

#include "store/view/ViewRst.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QWidget;

// 打印…, 打印预览… and 导出为 Excel 表格… of the main window: the view the
// window shows, on paper (through the printer dialog or the preview) or in a
// workbook. Long work runs behind a progress dialog with a cancel button that
// keeps the window alive; a stopped print is aborted, a stopped export
// leaves no file.
class PaperArea : public QObject {
    Q_OBJECT
public:
    // `view` and `caption` tell what the window shows when asked.
    PaperArea(std::function<std::shared_ptr<ViewRst>()> view, std::function<QString()> caption,
              QWidget* window);

    void print();
    void preview();
    void exportWorkbook();

private:
    // The records the window shows, in a record set of their own: the
    // window's may change while the work keeps it alive.
    std::shared_ptr<ViewRst> viewCopy() const;
    // The title the user settles on; nullopt when cancelled.
    std::optional<QString> askTitle(const ViewRst& view);

    std::function<std::shared_ptr<ViewRst>()> m_view;
    std::function<QString()> m_caption;
    QWidget* m_window;
};
