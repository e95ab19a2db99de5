#include "reader/ImageReader.h"

#include "reader/Ocr.h"
#include "reader/PngBytes.h"

#include <QImageReader>

namespace ImageReader {

namespace {

QString tooLarge()
{
    return QStringLiteral("图片尺寸过大");
}

// Sides and area beyond any scan or photo a register keeps.
bool reasonable(const QSize& size)
{
    return size.width() <= 20000 && size.height() <= 20000 &&
           qint64(size.width()) * size.height() <= 150'000'000;
}

// Goes to picture `frame` (from 0) and checks its declared size.
ReadText at(QImageReader& reader, int frame)
{
    if (frame > 0 && !reader.jumpToImage(frame))
        return ReadText::failed(Reasons::damaged());
    const QSize size = reader.size();
    if (!size.isValid())
        return ReadText::failed(Reasons::damaged());
    if (!reasonable(size))
        return ReadText::failed(tooLarge());
    return ReadText::of(QString());
}

int frames(QImageReader& reader)
{
    return reader.format() == "tiff" ? qMax(1, reader.imageCount()) : 1;
}

} // namespace

ReadText text(const QString& path, Ocr* ocr)
{
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    if (!reader.canRead())
        return ReadText::failed(Reasons::damaged());
    const int count = frames(reader);
    QString text;
    for (int frame = 0; frame < count; ++frame) {
        if (ReadText checked = at(reader, frame); checked.status != ReadText::Status::Text)
            return checked;
        if (!ocr)
            continue;
        const QImage image = reader.read();
        if (image.isNull())
            return ReadText::failed(Reasons::damaged());
        const std::optional<QString> read = ocr->read(image, 0);
        if (!read)
            return ReadText::failed(Reasons::noOcr());
        text += *read + u'\n';
    }
    return ocr ? ReadText::of(text) : ReadText::needsOcr();
}

int frameCount(const QString& path)
{
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    return reader.canRead() ? frames(reader) : -1;
}

QByteArray render(const QString& path, int frame, int width)
{
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    if (!reader.canRead() || frame < 1 || frame > frames(reader) || width < 1 ||
        at(reader, frame - 1).status != ReadText::Status::Text)
        return QByteArray();
    const QSize size = reader.size();
    if (width < size.width())
        reader.setScaledSize(
            QSize(width, qMax(1, int(qint64(size.height()) * width / size.width()))));
    QImage image = reader.read();
    if (!image.isNull() && image.width() != width)
        image = image.scaledToWidth(width, Qt::SmoothTransformation);
    return pngBytes(image);
}

} // namespace ImageReader
