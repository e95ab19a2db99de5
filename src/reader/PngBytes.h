#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QImage>

// `image` as PNG bytes; empty for a null image.
inline QByteArray pngBytes(const QImage& image)
{
    QByteArray bytes;
    if (image.isNull())
        return bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}
