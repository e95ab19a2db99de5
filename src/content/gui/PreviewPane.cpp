#include "content/gui/PreviewPane.h"

#include "content/ContentText.h"
#include "content/ReaderProcess.h"
#include "support/gui/Fonts.h"

#include <QFileInfo>
#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTextBrowser>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtConcurrent>

namespace {

// A preview shows the beginning of a long text; the search finds the rest.
constexpr qsizetype shownCharacters = qsizetype(1) << 20;
constexpr int markLimit = 2000;

// The formats the reader draws; everything else is shown as text.
bool isDrawn(const QString& fileName)
{
    static const QStringList drawn = {
        QStringLiteral("pdf"),  QStringLiteral("png"),  QStringLiteral("jpg"),
        QStringLiteral("jpeg"), QStringLiteral("gif"),  QStringLiteral("bmp"),
        QStringLiteral("tif"),  QStringLiteral("tiff"), QStringLiteral("webp")};
    return drawn.contains(QFileInfo(fileName).suffix().toLower());
}

QString asciiFolded(QString text)
{
    for (QChar& c : text) {
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + ('a' - 'A'));
    }
    return text;
}

// Where `term` stands in `text`, letters folded as searches fold them.
QList<std::pair<int, int>> marksOf(const QString& text, const QString& term)
{
    QList<std::pair<int, int>> marks;
    if (term.isEmpty())
        return marks;
    const QString folded = asciiFolded(text);
    const QString foldedTerm = asciiFolded(term);
    for (qsizetype at = folded.indexOf(foldedTerm); at >= 0 && marks.size() < markLimit;
         at = folded.indexOf(foldedTerm, at + foldedTerm.size()))
        marks.append({int(at), int(foldedTerm.size())});
    return marks;
}

PreviewPane::Shown asText(QString text, const QString& term)
{
    // One character per line end, as the text view counts them.
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (text.size() > shownCharacters) {
        qsizetype cut = shownCharacters;
        if (text.at(cut).isLowSurrogate())
            --cut;
        text.truncate(cut);
        text += QStringLiteral("\n…");
    }
    PreviewPane::Shown shown;
    shown.marks = marksOf(text, term);
    shown.text = std::move(text);
    return shown;
}

PreviewPane::Shown message(const QString& text)
{
    PreviewPane::Shown shown;
    shown.text = text;
    return shown;
}

// The text kept when the copy was read, or read now for the preview.
PreviewPane::Shown textOf(const Register& reg, const PreviewPane::Item& item)
{
    Result<std::optional<QString>> kept = ContentText::ofRecord(reg, item.identity);
    if (kept && kept->has_value())
        return asText(**kept, item.term);
    if (item.path.isEmpty())
        return message(QStringLiteral("找不到文件的存储副本。"));
    ReaderLimits limits;
    limits.seconds = 30;
    limits.outputBytes = qint64(16) << 20;
    const ReadOutcome outcome = readContent(item.path, item.fileName, false, limits);
    switch (outcome.kind) {
    case ReadOutcome::Kind::Text:
        return asText(outcome.text, item.term);
    case ReadOutcome::Kind::NotRead:
        return message(QStringLiteral("此类文件无法预览。"));
    case ReadOutcome::Kind::NeedsOcr:
        return message(QStringLiteral("此文件的文字只在图片中，尚未识别。"));
    case ReadOutcome::Kind::Skipped:
        break;
    }
    return message(QStringLiteral("无法读取此文件：") + outcome.reason);
}

PreviewPane::Shown prepare(const Register& reg, const PreviewPane::Item& item, int page, int width)
{
    if (item.path.isEmpty() || !isDrawn(item.fileName))
        return textOf(reg, item);
    PreviewPane::Shown shown;
    Result<int> pages = pageCount(item.path, item.fileName);
    if (pages) {
        shown.pages = std::max(1, pages.value());
        shown.page = std::clamp(page, 1, shown.pages);
        Result<QByteArray> png = renderPage(item.path, item.fileName, shown.page, width);
        if (png)
            shown.picture = QImage::fromData(png.value(), "PNG");
        if (!shown.picture.isNull())
            return shown;
    }
    // Not drawn: the text, where there is one, says more than nothing.
    shown = textOf(reg, item);
    if (!pages)
        shown.text = QStringLiteral("无法显示此页：") + pages.error().message +
                     QStringLiteral("\n\n") + shown.text;
    return shown;
}

} // namespace

PreviewPane::PreviewPane(Register reg, QWidget* parent)
    : QWidget(parent), m_register(std::move(reg))
{
    setObjectName(QStringLiteral("PreviewPane"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(Fonts::scaled(2));

    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("PreviewTitle"));
    m_title->setTextFormat(Qt::PlainText);
    layout->addWidget(m_title);

    m_stack = new QStackedWidget(this);
    m_text = new QTextBrowser(m_stack);
    m_text->setObjectName(QStringLiteral("PreviewText"));
    // Links in a file's text lead nowhere from here.
    m_text->setOpenLinks(false);
    m_text->setLineWrapMode(QTextEdit::WidgetWidth);
    m_stack->addWidget(m_text);
    m_scroll = new QScrollArea(m_stack);
    m_scroll->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_picture = new QLabel(m_scroll);
    m_picture->setObjectName(QStringLiteral("PreviewPicture"));
    m_scroll->setWidget(m_picture);
    m_stack->addWidget(m_scroll);
    layout->addWidget(m_stack, 1);

    auto* pages = new QHBoxLayout;
    // Tool buttons: the column is narrow.
    m_previous = new QToolButton(this);
    m_previous->setText(QStringLiteral("上一页"));
    m_previous->setObjectName(QStringLiteral("PreviewPrevious"));
    m_next = new QToolButton(this);
    m_next->setText(QStringLiteral("下一页"));
    m_next->setObjectName(QStringLiteral("PreviewNext"));
    m_pageLabel = new QLabel(this);
    m_pageLabel->setObjectName(QStringLiteral("PreviewPage"));
    m_pageLabel->setAlignment(Qt::AlignCenter);
    pages->addWidget(m_previous);
    pages->addWidget(m_pageLabel, 1);
    pages->addWidget(m_next);
    layout->addLayout(pages);
    connect(m_previous, &QToolButton::clicked, this, &PreviewPane::previousPage);
    connect(m_next, &QToolButton::clicked, this, &PreviewPane::nextPage);
    display(Shown{});
}

PreviewPane::~PreviewPane()
{
    // A result still on its way finds no pane: its watcher goes with this one.
    ++m_generation;
}

bool PreviewPane::isShowingPicture() const
{
    return m_stack->currentWidget() == m_scroll;
}

void PreviewPane::showItem(const std::optional<Item>& item)
{
    if (item == m_item)
        return;
    m_item = item;
    m_page = 1;
    m_pages = 1;
    m_title->setText(item ? item->fileName : QString());
    if (!item) {
        m_pending.reset();
        ++m_generation;
        m_running = false;
        display(Shown{});
        return;
    }
    request(*item, 1);
}

void PreviewPane::nextPage()
{
    if (m_item && m_page < m_pages)
        request(*m_item, m_page + 1);
}

void PreviewPane::previousPage()
{
    if (m_item && m_page > 1)
        request(*m_item, m_page - 1);
}

void PreviewPane::request(const Item& item, int page)
{
    m_pending = std::pair(item, page);
    if (!m_running)
        startNext();
}

void PreviewPane::startNext()
{
    if (!m_pending)
        return;
    const auto [item, page] = *m_pending;
    m_pending.reset();
    m_running = true;
    const quint64 generation = ++m_generation;
    // The page fills the column, beside a scroll bar for its length; the
    // scroll area's own width is not known before it was first shown.
    const int width = int((m_stack->width() - m_scroll->verticalScrollBar()->sizeHint().width() -
                           2 * m_scroll->frameWidth() - 2) *
                          devicePixelRatioF());
    auto* watcher = new QFutureWatcher<Shown>(this);
    connect(watcher, &QFutureWatcher<Shown>::finished, this, [this, watcher, generation] {
        watcher->deleteLater();
        if (generation != m_generation)
            return;
        m_running = false;
        // A newer row or page asked meanwhile: this one is already old.
        if (m_pending) {
            startNext();
            return;
        }
        display(watcher->result());
    });
    watcher->setFuture(QtConcurrent::run([reg = m_register, item, page, width] {
        return prepare(reg, item, page, std::max(width, 64));
    }));
}

void PreviewPane::display(const Shown& result)
{
    m_page = result.page;
    m_pages = result.pages;
    if (!result.picture.isNull()) {
        QPixmap pixmap = QPixmap::fromImage(result.picture);
        pixmap.setDevicePixelRatio(devicePixelRatioF());
        m_picture->setPixmap(pixmap);
        m_picture->adjustSize();
        m_scroll->verticalScrollBar()->setValue(0);
        m_stack->setCurrentWidget(m_scroll);
    } else {
        m_text->setPlainText(result.text);
        QList<QTextEdit::ExtraSelection> marked;
        QTextCharFormat mark;
        mark.setBackground(QColor(255, 230, 0));
        mark.setForeground(Qt::black);
        for (const auto& [start, length] : result.marks) {
            QTextCursor cursor(m_text->document());
            cursor.setPosition(start);
            cursor.setPosition(start + length, QTextCursor::KeepAnchor);
            marked.append({cursor, mark});
        }
        m_text->setExtraSelections(marked);
        if (!marked.isEmpty()) {
            QTextCursor first = marked.first().cursor;
            first.clearSelection();
            m_text->setTextCursor(first);
            m_text->ensureCursorVisible();
        }
        m_stack->setCurrentWidget(m_text);
    }
    const bool paged = !result.picture.isNull() && m_pages > 1;
    m_previous->setVisible(paged);
    m_next->setVisible(paged);
    m_pageLabel->setVisible(paged);
    m_previous->setEnabled(m_page > 1);
    m_next->setEnabled(m_page < m_pages);
    m_pageLabel->setText(QStringLiteral("%1/%2").arg(m_page).arg(m_pages));
    Q_EMIT shown();
}
