#include "queries/gui/ManagementCx.h"

#include "queries/QuerySlots.h"
#include "support/gui/Fonts.h"
#include "support/gui/Icons.h"
#include "support/gui/MessageBox.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTableWidget>

using Fonts::px;

namespace {

struct BoxPlace {
    int box; // SearchText index
    const char16_t* label;
    int labelLeft;
    int labelTop;
    int labelWidth;
    int left;
    int top;
    int width;
};

// Positions in twips within the form's client area.
const BoxPlace boxPlaces[] = {
    {7, u"本查询在菜单中的标题(必填)", 2280, 480, 4815, 2280, 720, 7335},
    {8, u"本查询工具条中的标题(四个字符以下)", 2280, 1200, 5175, 2280, 1440, 7335},
    {0, u"全部或部分文件名", 2280, 1920, 1815, 2280, 2160, 3495},
    {3, u"最早发件日期", 6120, 1920, 1335, 6120, 2160, 3495},
    {1, u"全部或部分接收人名", 2280, 2640, 1815, 2280, 2880, 3495},
    {4, u"最晚发件日期", 6120, 2640, 1335, 6120, 2880, 3495},
    {5, u"传送方式 ", 2280, 3360, 855, 2280, 3600, 3495},
    {2, u"备注中一个词", 6120, 3360, 1095, 6120, 3600, 3495},
    {6, u"全部或部分文件夹名", 2280, 4080, 1815, 2280, 4320, 7335},
    {9, u"文件内容中的词", 2280, 4800, 1815, 2280, 5040, 7335},
};

// The form's criteria boxes in search-box terms: boxes 0..6 list the remark
// word third and the transfer method sixth; box 9, the content word, came
// after the name and the title.
constexpr struct {
    int box;
    SearchCriteria::Box criterion;
} formBoxCriterion[] = {
    {0, SearchCriteria::FileName}, {1, SearchCriteria::Recipient}, {2, SearchCriteria::Remark},
    {3, SearchCriteria::Earliest}, {4, SearchCriteria::Latest},    {5, SearchCriteria::Method},
    {6, SearchCriteria::Folder},   {9, SearchCriteria::Content},
};

// Draws a slot's icon whole and centred in its cell, at its own size.
class SlotIconDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        const QPixmap icon = index.data(Qt::DecorationRole).value<QPixmap>();
        // Inside the cell's grid lines with a margin, shrunk rather than cut
        // where the cell is smaller than the icon.
        const QRect room = option.rect.adjusted(2, 2, -2, -2);
        const QSize logical = icon.deviceIndependentSize().toSize();
        const QSize size = logical.boundedTo(room.size()) == logical
                               ? logical
                               : logical.scaled(room.size(), Qt::KeepAspectRatio);
        painter->save();
        painter->setClipRect(option.rect);
        painter->setRenderHint(QPainter::SmoothPixmapTransform);
        painter->drawPixmap(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size, room),
                            icon);
        painter->restore();
    }
};

constexpr int nameBox = 7;
constexpr int titleBox = 8;
constexpr int rowHeight = 400;
// The content row below the folder box pushed the buttons down by one row.
constexpr int buttonTop = 5520;

} // namespace

ManagementCx::ManagementCx(Register reg, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      m_register(std::move(reg))
{
    setObjectName(QStringLiteral("ManagementCx"));
    setWindowTitle(QStringLiteral("管理自定义查询"));
    setFixedSize(px(9675), px(buttonTop + 570));
    setFont(Fonts::ui(9));

    m_grid = new QTableWidget(QuerySlots::slotCount, 2, this);
    m_grid->setObjectName(QStringLiteral("MSHFlexGrid1"));
    m_grid->setGeometry(px(120), px(240), px(2055), px(5055));
    m_grid->horizontalHeader()->hide();
    m_grid->verticalHeader()->hide();
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The selected slot is marked by its colours, not by Qt's selection.
    m_grid->setSelectionMode(QAbstractItemView::NoSelection);
    m_grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_grid->setIconSize(QSize(26, 26));
    // The icon column is a little wider than 400 twips so the 26-pixel icon
    // is not clipped by the cell's margins; the name column takes the rest of
    // the list's width, so no horizontal scroll bar appears.
    const int iconWidth = std::max(px(400), 26 + 4);
    m_grid->setItemDelegateForColumn(0, new SlotIconDelegate(m_grid));
    m_grid->setColumnWidth(0, iconWidth);
    m_grid->setColumnWidth(1, px(2055) - iconWidth - 2 * m_grid->frameWidth());
    for (int row = 0; row < QuerySlots::slotCount; ++row) {
        // A little taller than 400 twips, so the grid line does not cut the icon.
        m_grid->setRowHeight(row, std::max(px(rowHeight), 26 + 3));
        auto* icon = new QTableWidgetItem;
        icon->setData(Qt::DecorationRole, Icons::querySlot(row + 1));
        icon->setFlags(Qt::ItemIsEnabled);
        m_grid->setItem(row, 0, icon);
        auto* name = new QTableWidgetItem;
        name->setFlags(Qt::ItemIsEnabled);
        m_grid->setItem(row, 1, name);
    }

    m_title = new QLabel(QStringLiteral("管理自定义查询1"), this);
    m_title->setObjectName(QStringLiteral("Label1"));
    QFont titleFont = Fonts::song(14.25);
    titleFont.setBold(true);
    m_title->setFont(titleFont);
    m_title->setGeometry(px(4800), px(120), px(2295), px(375));

    for (int i = 0; i < 10; ++i) {
        auto* box = new QLineEdit(this);
        box->setObjectName(QStringLiteral("SearchText%1").arg(i));
        m_boxes.append(box);
    }
    for (const BoxPlace& place : boxPlaces) {
        auto* label = new QLabel(QString::fromUtf16(place.label), this);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        // The label sits in the strip above its box and may be wider than the
        // original width when the font needs it.
        const int height = px(place.top - place.labelTop);
        label->setGeometry(px(place.labelLeft), px(place.labelTop) - 2,
                           std::max(px(place.labelWidth), label->sizeHint().width()), height + 1);
        m_boxes.at(place.box)->setGeometry(px(place.left), px(place.top), px(place.width), px(375));
    }
    // Tab order follows the layout, row by row.
    for (size_t i = 1; i < std::size(boxPlaces); ++i)
        setTabOrder(m_boxes.at(boxPlaces[i - 1].box), m_boxes.at(boxPlaces[i].box));

    auto button = [this](const QString& objectName, const QString& caption, int left) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(objectName);
        b->setAutoDefault(false);
        b->setGeometry(px(left), px(buttonTop), px(1215), px(495));
        return b;
    };
    m_save = button(QStringLiteral("FixedCommand"), QStringLiteral("保存查询"), 3480);
    m_clear = button(QStringLiteral("Command1"), QStringLiteral("清除设置"), 5400);
    m_cancel = button(QStringLiteral("CancelCommand"), QStringLiteral("关闭"), 7320);
    setTabOrder(m_boxes.at(boxPlaces[std::size(boxPlaces) - 1].box), m_save);
    setTabOrder(m_save, m_clear);
    setTabOrder(m_clear, m_cancel);

    connect(m_save, &QPushButton::clicked, this, &ManagementCx::FixedCommand_Click);
    connect(m_clear, &QPushButton::clicked, this, &ManagementCx::Command1_Click);
    // Esc rejects the dialog, which closes it as the close button does.
    connect(m_cancel, &QPushButton::clicked, this, &ManagementCx::CancelCommand_Click);
    connect(m_grid, &QTableWidget::currentCellChanged, this,
            [this] { MSHFlexGrid1_RowColChange(); });

    Form_Load();
}

int ManagementCx::selectedSlot() const
{
    return std::max(0, m_grid->currentRow()) + 1;
}

void ManagementCx::selectSlot(int slot)
{
    m_grid->setCurrentCell(slot - 1, 1);
}

void ManagementCx::Form_Load()
{
    Result<QList<QuerySlot>> slots = QuerySlots::readAll(m_register);
    if (!slots) {
        MessageBox::warning(this, QStringLiteral("无法读取自定义查询：") + slots.error().message);
    } else {
        for (const QuerySlot& slot : slots.value())
            setSlotName(slot.number - 1, slot.name);
    }
    const QSignalBlocker blocker(m_grid);
    m_grid->setCurrentCell(0, 1);
    MSHFlexGrid1_RowColChange();
}

void ManagementCx::setSlotName(int row, const QString& name)
{
    if (QTableWidgetItem* item = m_grid->item(row, 1))
        item->setText(name);
}

void ManagementCx::MSHFlexGrid1_RowColChange()
{
    const int row = std::max(0, m_grid->currentRow());
    // Making a name current scrolls it fully into view, which moved the
    // icons a few pixels out of their cells: the list never scrolls sideways.
    m_grid->horizontalScrollBar()->setValue(0);
    if (m_grid->currentColumn() != 1) {
        // The icon cell selects its row; the name cell becomes current.
        m_grid->setCurrentCell(row, 1);
        return;
    }
    const QPalette colours = palette();
    for (int r = 0; r < QuerySlots::slotCount; ++r) {
        QTableWidgetItem* item = m_grid->item(r, 1);
        const bool selected = r == row;
        item->setBackground(colours.brush(selected ? QPalette::Highlight : QPalette::Button));
        item->setForeground(
            colours.brush(selected ? QPalette::HighlightedText : QPalette::ButtonText));
    }
    m_title->setText(QStringLiteral("管理自定义查询") + QString::number(row + 1));
    if (row == m_shownRow)
        return;
    m_shownRow = row;

    Result<QuerySlot> slot = QuerySlots::read(m_register, row + 1);
    if (!slot) {
        for (QLineEdit* box : m_boxes)
            box->clear();
        m_save->setEnabled(false);
        m_clear->setEnabled(false);
        MessageBox::warning(
            this,
            QStringLiteral("无法读取自定义查询%1：%2").arg(row + 1).arg(slot.error().message));
        return;
    }
    m_save->setEnabled(true);
    m_clear->setEnabled(true);
    for (const auto& [box, criterion] : formBoxCriterion)
        m_boxes.at(box)->setText(slot->criteria.box(criterion));
    m_boxes.at(nameBox)->setText(slot->name);
    // A stored single space stands for no title and shows as an empty box.
    m_boxes.at(titleBox)->setText(slot->title.trimmed());
}

void ManagementCx::FixedCommand_Click()
{
    const int row = selectedSlot() - 1;
    QueryDefinition definition;
    definition.name = m_boxes.at(nameBox)->text();
    if (definition.name.isEmpty()) {
        MessageBox::warning(this, QStringLiteral("名称不能为空"));
        return;
    }
    definition.title = m_boxes.at(titleBox)->text();
    for (const auto& [box, criterion] : formBoxCriterion)
        definition.criteria.box(criterion) = m_boxes.at(box)->text();

    if (Status written = QuerySlots::save(m_register, row + 1, definition); !written) {
        // The typing stays in the boxes so nothing is lost.
        MessageBox::warning(
            this,
            QStringLiteral("自定义查询%1保存失败：%2").arg(row + 1).arg(written.error().message));
        return;
    }
    afterWrite(row);
}

void ManagementCx::Command1_Click()
{
    if (MessageBox::question(this, QStringLiteral("清空该查询项目？")) != MessageBox::Yes)
        return;
    const int row = selectedSlot() - 1;
    if (Status cleared = QuerySlots::clear(m_register, row + 1); !cleared) {
        MessageBox::warning(
            this,
            QStringLiteral("自定义查询%1清除失败：%2").arg(row + 1).arg(cleared.error().message));
        return;
    }
    afterWrite(row);
}

void ManagementCx::afterWrite(int row)
{
    if (Result<QuerySlot> slot = QuerySlots::read(m_register, row + 1))
        setSlotName(row, slot->name);
    Q_EMIT saved();
    // Reload the boxes from the table: the title box shows the stored, cut title.
    m_shownRow = -1;
    MSHFlexGrid1_RowColChange();
    MessageBox::information(this, QStringLiteral("自定义查询") + QString::number(row + 1) +
                                      QStringLiteral("修改成功!"));
}

void ManagementCx::CancelCommand_Click()
{
    close();
}
