#include "reader/ContentReader.h"

#include "reader/HtmlReader.h"
#include "reader/ImageReader.h"
#include "reader/MailReader.h"
#include "reader/Ocr.h"
#include "reader/OfficeXmlReader.h"
#include "reader/PdfReader.h"
#include "reader/TextDecoding.h"
#include "reader/ToolReader.h"

#include <QFile>
#include <QFileInfo>

namespace ContentReader {

namespace {

// Text files larger than this are read up to here: enough for a search.
constexpr qint64 textLimit = qint64(32) << 20;

QByteArray head(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(1 << 16) : QByteArray();
}

// The stream names an OLE compound file lists (in UTF-16) tell which
// program wrote it.
Format oleFormat(const QString& path, const QString& extension)
{
    QFile file(path);
    const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.read(8 << 20) : QByteArray();
    const auto names = [&bytes](const char* name) {
        QByteArray wide;
        for (const char* c = name; *c; ++c)
            wide += QByteArray(1, *c) + '\0';
        return bytes.contains(wide);
    };
    if (names("WordDocument"))
        return Format::Doc;
    if (names("Workbook") || names("Book"))
        return Format::Xls;
    if (names("PowerPoint Document"))
        return Format::Ppt;
    if (extension == u"doc" || extension == u"dot" || extension == u"wps")
        return Format::Doc;
    if (extension == u"xls" || extension == u"xlt" || extension == u"et")
        return Format::Xls;
    if (extension == u"ppt" || extension == u"pps" || extension == u"dps")
        return Format::Ppt;
    return Format::Unknown;
}

Format byExtension(const QString& extension)
{
    static const QStringList text = {
        QStringLiteral("txt"),  QStringLiteral("text"), QStringLiteral("log"),
        QStringLiteral("csv"),  QStringLiteral("tsv"),  QStringLiteral("md"),
        QStringLiteral("ini"),  QStringLiteral("conf"), QStringLiteral("cfg"),
        QStringLiteral("json"), QStringLiteral("xml"),  QStringLiteral("yaml"),
        QStringLiteral("yml"),  QStringLiteral("sql"),  QStringLiteral("srt"),
        QStringLiteral("tex"),  QStringLiteral("c"),    QStringLiteral("h"),
        QStringLiteral("cpp"),  QStringLiteral("py"),   QStringLiteral("java"),
        QStringLiteral("js"),   QStringLiteral("sh"),   QStringLiteral("bat")};
    if (extension == u"html" || extension == u"htm" || extension == u"xhtml")
        return Format::Html;
    if (extension == u"eml")
        return Format::Mail;
    if (extension == u"rtf")
        return Format::Rtf;
    static const QStringList images = {QStringLiteral("png"),  QStringLiteral("jpg"),
                                       QStringLiteral("jpeg"), QStringLiteral("tif"),
                                       QStringLiteral("tiff"), QStringLiteral("bmp"),
                                       QStringLiteral("gif"),  QStringLiteral("webp")};
    if (images.contains(extension))
        return Format::Image;
    return text.contains(extension) ? Format::Text : Format::Unknown;
}

ReadText textFile(const QString& path, bool named)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return ReadText::failed(QStringLiteral("无法打开文件"));
    QByteArray bytes = file.read(textLimit);
    if (!file.atEnd()) {
        // Cut at a line's end: no character of these encodings holds '\n'.
        const qsizetype line = bytes.lastIndexOf('\n');
        if (line > 0)
            bytes.truncate(line + 1);
    }
    std::optional<QString> text = TextDecoding::decode(bytes);
    if (text && (named || TextDecoding::looksLikeText(*text)))
        return ReadText::of(*text);
    return named ? ReadText::failed(Reasons::unknownEncoding()) : ReadText::notRead();
}

QByteArray wholeFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(textLimit) : QByteArray();
}

} // namespace

Format formatOf(const QString& path, const QString& name)
{
    const QByteArray start = head(path);
    const QString extension = QFileInfo(name.isEmpty() ? path : name).suffix().toLower();
    if (start.left(1024).contains("%PDF-"))
        return Format::Pdf;
    if (start.startsWith("PK\x03\x04"))
        return Format::Zip;
    if (start.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"))
        return oleFormat(path, extension);
    if (start.startsWith("{\\rtf"))
        return Format::Rtf;
    if (start.startsWith("\x89PNG\r\n\x1A\n") || start.startsWith("\xFF\xD8\xFF") ||
        start.startsWith(QByteArrayView("II*\0", 4)) ||
        start.startsWith(QByteArrayView("MM\0*", 4)) || start.startsWith("GIF8") ||
        (start.startsWith("RIFF") && start.mid(8, 4) == "WEBP"))
        return Format::Image;
    if (MailReader::looksLikeMail(start))
        return Format::Mail;
    // Markup from its first character (after a byte-order mark), naming itself HTML.
    const QByteArray lower = start.left(1024).toLower();
    const QByteArray opening = (lower.startsWith("\xef\xbb\xbf") ? lower.mid(3) : lower).trimmed();
    if (opening.startsWith('<') && (lower.contains("<!doctype html") || lower.contains("<html")))
        return Format::Html;
    if (const Format known = byExtension(extension); known != Format::Unknown)
        return known;
    if (start.isEmpty() || TextDecoding::hasBinaryZeros(start))
        return Format::Unknown;
    return Format::Text;
}

ReadText text(const QString& path, const QString& name, bool ocr)
{
    if (QFile file(path); !file.open(QIODevice::ReadOnly))
        return ReadText::failed(QStringLiteral("无法打开文件"));
    const QString extension = QFileInfo(name.isEmpty() ? path : name).suffix().toLower();
    const Format format = formatOf(path, name);
    Ocr recogniser;
    Ocr* withOcr = ocr ? &recogniser : nullptr;
    switch (format) {
    case Format::Pdf:
        return PdfReader::text(path, withOcr);
    case Format::Zip:
        return OfficeXmlReader::text(path);
    case Format::Doc:
        return ToolReader::text(path, ToolReader::Kind::Doc);
    case Format::Xls:
        return ToolReader::text(path, ToolReader::Kind::Xls);
    case Format::Ppt:
        return ToolReader::text(path, ToolReader::Kind::Ppt);
    case Format::Rtf:
        return ToolReader::text(path, ToolReader::Kind::Rtf);
    case Format::Html:
        return HtmlReader::text(wholeFile(path));
    case Format::Mail:
        return MailReader::text(wholeFile(path));
    case Format::Image:
        return ImageReader::text(path, withOcr);
    case Format::Text:
        return textFile(path, byExtension(extension) == Format::Text);
    case Format::Unknown:
        break;
    }
    return ReadText::notRead();
}

int pageCount(const QString& path, const QString& name)
{
    switch (formatOf(path, name)) {
    case Format::Pdf:
        return PdfReader::pageCount(path);
    case Format::Image:
        return ImageReader::frameCount(path);
    default:
        return QFileInfo(path).isReadable() ? 1 : -1;
    }
}

QByteArray render(const QString& path, const QString& name, int page, int width)
{
    switch (formatOf(path, name)) {
    case Format::Pdf:
        return PdfReader::render(path, page, width);
    case Format::Image:
        return ImageReader::render(path, page, width);
    default:
        return QByteArray();
    }
}

} // namespace ContentReader
