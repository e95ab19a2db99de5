#include "reader/TextDecoding.h"

#include <QStringDecoder>

#include <uchardet.h>

#include <iconv.h>

#include <cerrno>

namespace TextDecoding {

namespace {

std::optional<QString> decodeQt(const QByteArray& bytes, QStringConverter::Encoding encoding)
{
    QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

// Zero bytes only at odd offsets are UTF-16 little-endian ASCII, only at even
// offsets big-endian; 0 when there are none or both.
int utf16Side(const QByteArray& bytes)
{
    qsizetype even = 0;
    qsizetype odd = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes.at(i) == '\0')
            ++(i % 2 ? odd : even);
    }
    if (odd > 0 && even == 0)
        return 1;
    if (even > 0 && odd == 0)
        return 2;
    return 0;
}

// UTF-16 without a byte-order mark and without one ASCII character has no
// zero bytes. Read so, Chinese bytes of GB18030 or Big5 give surrogates,
// Hangul and private-use characters; only UTF-16 gives Chinese characters.
std::optional<QString> chineseUtf16(const QByteArray& bytes)
{
    if (bytes.size() % 2 != 0 || bytes.size() < 16)
        return std::nullopt;
    for (const QStringConverter::Encoding encoding :
         {QStringConverter::Utf16LE, QStringConverter::Utf16BE}) {
        std::optional<QString> text = decodeQt(bytes, encoding);
        if (!text)
            continue;
        qsizetype chinese = 0;
        for (const QChar c : *text) {
            const char16_t u = c.unicode();
            chinese += (u >= 0x4e00 && u <= 0x9fff) || (u >= 0x3000 && u <= 0x303f) ||
                       (u >= 0xff00 && u <= 0xffef) || u == '\n' || u == '\r';
        }
        if (chinese * 100 >= text->size() * 95)
            return text;
    }
    return std::nullopt;
}

} // namespace

std::optional<QString> decodeAs(const QByteArray& bytes, const QByteArray& charset)
{
    const QByteArray name = charset.toUpper();
    if (name == "UTF-8" || name == "ASCII" || name == "US-ASCII")
        return decodeQt(bytes, QStringConverter::Utf8);
    iconv_t converter = iconv_open("UTF-8", charset.constData());
    if (converter == iconv_t(-1))
        return std::nullopt;
    QByteArray out(bytes.size() * 2 + 16, Qt::Uninitialized);
    char* in = const_cast<char*>(bytes.constData());
    size_t inLeft = size_t(bytes.size());
    qsizetype written = 0;
    bool ok = true;
    while (inLeft > 0) {
        char* to = out.data() + written;
        size_t outLeft = size_t(out.size() - written);
        const size_t done = iconv(converter, &in, &inLeft, &to, &outLeft);
        written = to - out.data();
        if (done != size_t(-1))
            break;
        if (errno != E2BIG) {
            ok = false; // EILSEQ or a sequence cut at the end
            break;
        }
        out.resize(out.size() * 2);
    }
    iconv_close(converter);
    if (!ok)
        return std::nullopt;
    out.truncate(written);
    return QString::fromUtf8(out);
}

bool looksLikeText(const QString& text)
{
    qsizetype odd = 0;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != '\t' && u != '\n' && u != '\r' && u != '\f' && u != 0x1a) ||
            (u >= 0x7f && u < 0xa0) || u == 0xfffd || c.category() == QChar::Other_NotAssigned)
            ++odd;
    }
    return odd * 200 <= text.size();
}

bool hasBinaryZeros(const QByteArray& bytes)
{
    return bytes.contains('\0') && utf16Side(bytes) == 0;
}

std::optional<QString> decode(const QByteArray& bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return decodeQt(bytes.mid(3), QStringConverter::Utf8);
    if (bytes.startsWith("\xFF\xFE"))
        return decodeQt(bytes.mid(2), QStringConverter::Utf16LE);
    if (bytes.startsWith("\xFE\xFF"))
        return decodeQt(bytes.mid(2), QStringConverter::Utf16BE);
    if (const int side = utf16Side(bytes); side != 0 && bytes.size() % 2 == 0) {
        std::optional<QString> text =
            decodeQt(bytes, side == 1 ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
        if (text && looksLikeText(*text))
            return text;
        return std::nullopt;
    }
    if (bytes.contains('\0'))
        return std::nullopt;
    if (std::optional<QString> text = decodeQt(bytes, QStringConverter::Utf8))
        return text;
    if (std::optional<QString> text = chineseUtf16(bytes))
        return text;

    uchardet_t detector = uchardet_new();
    QByteArray charset;
    if (uchardet_handle_data(detector, bytes.constData(), size_t(bytes.size())) == 0) {
        uchardet_data_end(detector);
        charset = uchardet_get_charset(detector);
    }
    uchardet_delete(detector);
    if (charset.isEmpty())
        return std::nullopt;
    // GB2312 and GBK are subsets: the superset decodes their files the same.
    if (charset.toUpper() == "GB2312" || charset.toUpper() == "GBK")
        charset = "GB18030";
    std::optional<QString> text = decodeAs(bytes, charset);
    if (text && looksLikeText(*text))
        return text;
    return std::nullopt;
}

} // namespace TextDecoding
