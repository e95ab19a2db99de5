#include "paper/RegisterSheet.h"

#include "base/DateText.h"
#include "store/RecordFields.h"

#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextLayout>

#include <array>

namespace RegisterSheet {

namespace {

struct Column {
    RecordField field;
    int share; // thousandths of the printed width
};
// The remark and the name take most room: they are the longest texts.
constexpr std::array<Column, 7> columns = {{
    {RecordField::Serial, 60},
    {RecordField::Date, 90},
    {RecordField::FileName, 200},
    {RecordField::Remark, 270},
    {RecordField::Recipient, 120},
    {RecordField::Method, 100},
    {RecordField::Folder, 160},
}};
using Texts = std::array<QString, columns.size()>;

// Fonts that hold Chinese, so that no text falls back to boxes. WenQuanYi
// first: a PDF's text layer maps each glyph back to the lowest character
// the font gives it, and Noto CJK gives its ideographs to the look-alike
// radicals too, so that copied or searched text would come out wrong.
QFont sheetFont(qreal points, bool bold = false)
{
    QFont font(QStringList{QStringLiteral("WenQuanYi Micro Hei"),
                           QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Noto Sans CJK"),
                           QStringLiteral("Sans Serif")});
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

// A stored text as it is printed: its own line breaks kept, other control
// characters as spaces.
QString printable(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    for (QChar& c : text) {
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            c = QChar::LineSeparator;
        else if (c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    }
    return text;
}

Texts rowTexts(const RegisterRecord& record)
{
    Texts texts;
    for (size_t i = 0; i < columns.size(); ++i) {
        const RecordFields::Field& field = RecordFields::of(columns[i].field);
        texts[i] =
            printable(field.kind == RecordFields::Kind::Serial ? record.serial.toString()
                                                               : record.text(field.gridColumn));
    }
    return texts;
}

Texts headingTexts()
{
    Texts texts;
    for (size_t i = 0; i < columns.size(); ++i)
        texts[i] = RecordFields::of(columns[i].field).label;
    return texts;
}

// A record gone from the register since the view was read has its key only.
bool isGone(const RegisterRecord& record)
{
    return !record.serial.isValid() && record.date.isEmpty() && record.fileName.isEmpty();
}

// Where everything goes on a page, in the device's pixels.
class Page {
public:
    Page(QPagedPaintDevice& device, const QString& title)
        : m_device(device), m_title(printable(title)), m_width(device.width()),
          m_titleFont(sheetFont(14, true)), m_headingFont(sheetFont(9, true)),
          m_bodyFont(sheetFont(9)), m_footFont(sheetFont(8))
    {
        const qreal dpi = device.logicalDpiY();
        m_pad = dpi * 0.8 / 25.4;
        m_line = std::max(1.0, dpi * 0.2 / 25.4);
        qreal x = 0;
        for (size_t i = 0; i < columns.size(); ++i) {
            m_left[i] = x;
            m_widths[i] = m_width * columns[i].share / 1000.0;
            x += m_widths[i];
        }
        QTextLayout layout(m_title, m_titleFont, &m_device);
        m_titleHeight = layOut(layout, m_width, Qt::AlignHCenter);
        Texts headings = headingTexts();
        m_headingHeight = rowHeight(headings, m_headingFont);
        m_footHeight = QFontMetricsF(m_footFont, &m_device).height() + 2 * m_pad;
        m_bodyTop = m_titleHeight + 2 * m_pad + m_headingHeight;
    }

    qreal bodyTop() const { return m_bodyTop; }
    qreal bodyBottom() const { return m_device.height() - m_footHeight; }

    qreal rowHeight(const Texts& texts) const { return rowHeight(texts, m_bodyFont); }

    // The title, the headings, and the page number at the foot.
    void drawFrame(QPainter& painter, int page, int pages) const
    {
        QTextLayout title(m_title, m_titleFont, &m_device);
        layOut(title, m_width, Qt::AlignHCenter);
        title.draw(&painter, QPointF(0, 0));
        const qreal top = m_titleHeight + 2 * m_pad;
        painter.fillRect(QRectF(0, top, m_width, m_headingHeight), QColor(0xe8, 0xe8, 0xe8));
        drawRow(painter, top, headingTexts(), m_headingFont);
        painter.setFont(m_footFont);
        painter.setPen(Qt::black);
        painter.drawText(QRectF(0, bodyBottom(), m_width, m_footHeight), Qt::AlignCenter,
                         QStringLiteral("第 %1 页 共 %2 页").arg(page).arg(pages));
    }

    // The height the record took.
    qreal drawRecord(QPainter& painter, qreal top, const Texts& texts) const
    {
        return drawRow(painter, top, texts, m_bodyFont);
    }

private:
    // Lines of at most `width`, broken between words where a text has them
    // and anywhere in a word too long for one line; the height they take.
    static qreal layOut(QTextLayout& layout, qreal width, Qt::Alignment alignment = {})
    {
        QTextOption option(alignment);
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.setCacheEnabled(true);
        layout.beginLayout();
        qreal y = 0;
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            line.setPosition(QPointF(0, y));
            y += line.height();
        }
        layout.endLayout();
        return y;
    }

    qreal textWidth(size_t column) const { return m_widths[column] - 2 * m_pad; }

    qreal rowHeight(const Texts& texts, const QFont& font) const
    {
        const QFontMetricsF metrics(font, &m_device);
        qreal height = metrics.height();
        for (size_t i = 0; i < columns.size(); ++i) {
            // Most cells hold one short line: no layout needed to know that.
            if (!texts[i].contains(QChar::LineSeparator) &&
                metrics.horizontalAdvance(texts[i]) <= textWidth(i))
                continue;
            QTextLayout layout(texts[i], font, &m_device);
            height = std::max(height, layOut(layout, textWidth(i)));
        }
        return height + 2 * m_pad;
    }

    qreal drawRow(QPainter& painter, qreal top, const Texts& texts, const QFont& font) const
    {
        const qreal height = rowHeight(texts, font);
        painter.setPen(QPen(Qt::black, m_line));
        painter.setFont(font);
        for (size_t i = 0; i < columns.size(); ++i) {
            painter.drawRect(QRectF(m_left[i], top, m_widths[i], height));
            QTextLayout layout(texts[i], font, &m_device);
            layOut(layout, textWidth(i));
            layout.draw(&painter, QPointF(m_left[i] + m_pad, top + m_pad));
        }
        return height;
    }

    QPagedPaintDevice& m_device;
    QString m_title;
    qreal m_width;
    QFont m_titleFont, m_headingFont, m_bodyFont, m_footFont;
    qreal m_pad = 0, m_line = 1;
    std::array<qreal, columns.size()> m_left{}, m_widths{};
    qreal m_titleHeight = 0, m_headingHeight = 0, m_footHeight = 0, m_bodyTop = 0;
};

Error unreadable()
{
    return Error{QStringLiteral("读取登记库中的记录时出错，未能打印。"), {}};
}

} // namespace

QPageLayout defaultPageLayout()
{
    return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF(12, 12, 12, 12),
                       QPageLayout::Millimeter);
}

std::optional<DateSpan> dateSpan(const ViewRst& view, const PaperProgress& progress)
{
    std::optional<DateSpan> span;
    const int count = view.recordCount();
    for (int position = 1; position <= count; ++position) {
        if (progress && !progress(position - 1, count))
            return std::nullopt;
        const std::optional<RegisterRecord> record = view.record(position);
        const std::optional<QDate> date =
            record ? DateText::parse(record->date) : std::optional<QDate>();
        if (!date)
            continue;
        if (!span)
            span = DateSpan{*date, *date};
        span->first = std::min(span->first, *date);
        span->last = std::max(span->last, *date);
    }
    return span;
}

QString defaultTitle(const QString& caption, const std::optional<DateSpan>& span)
{
    QString title = caption.simplified();
    if (span) {
        const QString first = DateText::toDisplay(DateText::toStored(span->first));
        const QString last = DateText::toDisplay(DateText::toStored(span->last));
        title += first == last ? QStringLiteral("（%1）").arg(first)
                               : QStringLiteral("（%1 至 %2）").arg(first, last);
    }
    return title;
}

Result<bool> paint(QPainter& painter, QPagedPaintDevice& device, const ViewRst& view,
                   const QString& title, const PaperProgress& progress)
{
    const Page page(device, title);
    const int count = view.recordCount();
    const qint64 total = 2 * qint64(count);

    // The first pass only measures: the page count heads every page.
    QList<int> starts{1};
    qreal y = page.bodyTop();
    for (int position = 1; position <= count; ++position) {
        if (progress && !progress(position - 1, total))
            return false;
        const std::optional<RegisterRecord> record = view.record(position);
        if (!record)
            return unreadable();
        if (isGone(*record))
            continue;
        const qreal height = page.rowHeight(rowTexts(*record));
        if (y + height > page.bodyBottom() && y > page.bodyTop()) {
            starts << position;
            y = page.bodyTop();
        }
        y += height;
    }

    const int pages = int(starts.size());
    for (int index = 0; index < pages; ++index) {
        if (index > 0 && !device.newPage())
            return Error{QStringLiteral("无法开始新的一页，未能打印。"), {}};
        page.drawFrame(painter, index + 1, pages);
        const int end = index + 1 < pages ? starts.at(index + 1) : count + 1;
        y = page.bodyTop();
        for (int position = starts.at(index); position < end; ++position) {
            if (progress && !progress(count + position - 1, total))
                return false;
            const std::optional<RegisterRecord> record = view.record(position);
            if (!record)
                return unreadable();
            if (isGone(*record))
                continue;
            y += page.drawRecord(painter, y, rowTexts(*record));
        }
    }
    if (progress)
        progress(total, total);
    return true;
}

Result<bool> writePdf(const QString& path, const ViewRst& view, const QString& title,
                      const PaperProgress& progress, const std::optional<QPageLayout>& layout)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Error{QStringLiteral("无法写入文件“%1”。").arg(path), file.errorString()};
    QPdfWriter writer(&file);
    writer.setPageLayout(layout.value_or(defaultPageLayout()));
    writer.setResolution(300);
    writer.setTitle(title);
    writer.setCreator(QStringLiteral("Quorvel"));
    QPainter painter;
    if (!painter.begin(&writer))
        return Error{QStringLiteral("无法写入文件“%1”。").arg(path), {}};
    const Result<bool> painted = paint(painter, writer, view, title, progress);
    painter.end();
    if (!painted || !painted.value()) {
        file.cancelWriting();
        return painted;
    }
    if (!file.commit())
        return Error{QStringLiteral("无法写入文件“%1”。").arg(path), file.errorString()};
    return true;
}

} // namespace RegisterSheet
