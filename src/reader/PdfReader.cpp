#include "reader/PdfReader.h"

#include "reader/Ocr.h"
#include "reader/PngBytes.h"

#include <poppler-qt6.h>

#include <QFile>

#include <memory>

namespace PdfReader {

namespace {

// Poppler tells every fault of a damaged file on standard error; what
// matters is whether pages could be read.
void quiet(const QString&, const QVariant&) {}

std::unique_ptr<Poppler::Document> open(const QString& path)
{
    Poppler::setDebugErrorFunction(quiet, QVariant());
    std::unique_ptr<Poppler::Document> document = Poppler::Document::load(path);
    if (document && document->isLocked())
        return nullptr;
    return document;
}

// A file cut short ends without its end marker.
bool endsWhole(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    file.seek(qMax<qint64>(0, file.size() - 1024));
    return file.read(1024).contains("%%EOF");
}

// Pixels per inch that fit `page` within a bitmap a recogniser can hold.
double fittingDpi(const QSizeF& points, double wanted)
{
    const double limit = 8000.0; // pixels along either side
    const double side = qMax(points.width(), points.height()) / 72.0;
    return side <= 0 ? wanted : qMin(wanted, limit / side);
}

} // namespace

ReadText text(const QString& path, Ocr* ocr)
{
    std::unique_ptr<Poppler::Document> document = open(path);
    if (!document)
        return ReadText::failed(Reasons::damaged());
    const int pages = document->numPages();
    QString text;
    QList<int> pictures;
    int found = 0;
    for (int i = 0; i < pages; ++i) {
        std::unique_ptr<Poppler::Page> page(document->page(i));
        if (!page)
            continue;
        ++found;
        const QString pageText = page->text(QRectF());
        if (pageText.trimmed().isEmpty())
            pictures << i;
        else
            text += pageText + u'\n';
    }
    if (found == 0 || (text.isEmpty() && !endsWhole(path)))
        return ReadText::failed(Reasons::damaged());
    if (!ocr)
        return text.isEmpty() ? ReadText::needsOcr() : ReadText::of(text);
    for (const int i : pictures) {
        std::unique_ptr<Poppler::Page> page(document->page(i));
        const double dpi = fittingDpi(page->pageSizeF(), 300);
        const QImage image = page->renderToImage(dpi, dpi);
        if (image.isNull())
            continue;
        const std::optional<QString> read = ocr->read(image, int(dpi));
        if (!read)
            return ReadText::failed(Reasons::noOcr());
        text += *read + u'\n';
    }
    return ReadText::of(text);
}

int pageCount(const QString& path)
{
    std::unique_ptr<Poppler::Document> document = open(path);
    return document ? document->numPages() : -1;
}

QByteArray render(const QString& path, int page, int width)
{
    std::unique_ptr<Poppler::Document> document = open(path);
    if (!document || page < 1 || page > document->numPages() || width < 1)
        return QByteArray();
    std::unique_ptr<Poppler::Page> one(document->page(page - 1));
    if (!one || one->pageSizeF().width() <= 0)
        return QByteArray();
    const double dpi = fittingDpi(one->pageSizeF(), width * 72.0 / one->pageSizeF().width());
    document->setRenderHint(Poppler::Document::Antialiasing);
    document->setRenderHint(Poppler::Document::TextAntialiasing);
    return pngBytes(one->renderToImage(dpi, dpi));
}

} // namespace PdfReader
