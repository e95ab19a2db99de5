#include "reader/OfficeXmlReader.h"

#include "reader/ZipEntries.h"

#include <QRegularExpression>
#include <QXmlStreamReader>

#include <algorithm>

namespace OfficeXmlReader {

namespace {

// Unpacked bytes beyond which a document is taken for a zip bomb.
constexpr qint64 unpackLimit = qint64(256) << 20;

const QRegularExpression& numbered()
{
    static const QRegularExpression pattern(QStringLiteral(
        "^(xl/worksheets/sheet|ppt/slides/slide|ppt/notesSlides/notesSlide)(\\d+)\\.xml$"));
    return pattern;
}

bool wanted(const QString& name)
{
    static const QStringList whole = {
        QStringLiteral("word/document.xml"),  QStringLiteral("word/footnotes.xml"),
        QStringLiteral("word/endnotes.xml"),  QStringLiteral("xl/sharedStrings.xml"),
        QStringLiteral("content.xml"),        QStringLiteral("mimetype"),
        QStringLiteral("[Content_Types].xml")};
    return whole.contains(name) || numbered().match(name).hasMatch() ||
           (name.startsWith(QStringLiteral("word/header")) && name.endsWith(u".xml")) ||
           (name.startsWith(QStringLiteral("word/footer")) && name.endsWith(u".xml"));
}

// Names in the order of their numbers (slide2 before slide10).
QStringList inOrder(QStringList names)
{
    const auto key = [](const QString& name) {
        const QRegularExpressionMatch match = numbered().match(name);
        return match.hasMatch() ? std::pair(match.captured(1), match.captured(2).toInt())
                                : std::pair(name, 0);
    };
    std::sort(names.begin(), names.end(),
              [&key](const QString& a, const QString& b) { return key(a) < key(b); });
    return names;
}

bool endsLine(QStringView name)
{
    return name == u"p" || name == u"h" || name == u"table-row" || name == u"row" ||
           name == u"tr" || name == u"si";
}

// The shared strings of a workbook, in order.
QStringList sharedStrings(const QByteArray& xml)
{
    QStringList strings;
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement() && reader.name() == u"si")
            strings << QString();
        else if (reader.isStartElement() && reader.name() == u"t" && !strings.isEmpty())
            strings.back() += reader.readElementText(QXmlStreamReader::IncludeChildElements);
    }
    return strings;
}

// One worksheet: rows on lines, cells tab-separated, shared strings looked up.
QString sheetText(const QByteArray& xml, const QStringList& strings)
{
    QString text;
    QXmlStreamReader reader(xml);
    bool shared = false;
    bool firstCell = true;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            if (reader.name() == u"row") {
                firstCell = true;
            } else if (reader.name() == u"c") {
                shared = reader.attributes().value(QLatin1StringView("t")) == u"s";
                if (!firstCell)
                    text += u'\t';
                firstCell = false;
            } else if (reader.name() == u"v" || reader.name() == u"t") {
                const QString value = reader.readElementText();
                const int index = shared ? value.toInt() : -1;
                text += shared
                            ? (index >= 0 && index < strings.size() ? strings.at(index) : QString())
                            : value;
            }
        } else if (reader.isEndElement() && reader.name() == u"row") {
            text += u'\n';
        }
    }
    return text;
}

} // namespace

QString partText(const QByteArray& xml)
{
    QString text;
    QXmlStreamReader reader(xml);
    // Office Open XML keeps text in <t> runs; OpenDocument in paragraphs'
    // character data, with elements for tabs, spaces and breaks.
    int inText = 0;
    while (!reader.atEnd()) {
        reader.readNext();
        const QStringView name = reader.name();
        if (reader.isStartElement()) {
            if (name == u"t" || name == u"p" || name == u"h")
                ++inText;
            if (name == u"tab")
                text += u'\t';
            else if (name == u"br" || name == u"line-break" || name == u"cr")
                text += u'\n';
            else if (name == u"s")
                text += QString(
                    qMax(1, reader.attributes().value(QLatin1StringView("text:c")).toInt()), u' ');
        } else if (reader.isEndElement()) {
            if (name == u"t" || name == u"p" || name == u"h")
                --inText;
            // A cell's last paragraph ends the cell, not the line; a row's
            // last cell ends the line.
            const bool cell = name == u"table-cell" || name == u"tc";
            const bool row = name == u"table-row" || name == u"tr";
            if ((cell && text.endsWith(u'\n')) || (row && text.endsWith(u'\t')))
                text.chop(1);
            if (cell)
                text += u'\t';
            else if (endsLine(name))
                text += u'\n';
        } else if (reader.isCharacters() && inText > 0) {
            text += reader.text();
        }
    }
    return text;
}

ReadText text(const QString& path)
{
    std::optional<ZipEntries::Entries> entries = ZipEntries::read(path, wanted, unpackLimit);
    if (!entries)
        return ReadText::failed(Reasons::damaged());
    if (entries->tooLarge)
        return ReadText::failed(QStringLiteral("文件解压后过大"));
    const QMap<QString, QByteArray>& parts = entries->wanted;
    QString text;
    if (parts.contains(QStringLiteral("content.xml")) &&
        parts.value(QStringLiteral("mimetype")).startsWith("application/vnd.oasis.opendocument")) {
        text = partText(parts.value(QStringLiteral("content.xml")));
    } else if (parts.contains(QStringLiteral("[Content_Types].xml"))) {
        const QStringList strings =
            sharedStrings(parts.value(QStringLiteral("xl/sharedStrings.xml")));
        bool any = false;
        for (const QString& name : inOrder(parts.keys())) {
            if (name.startsWith(u"xl/worksheets/")) {
                text += sheetText(parts.value(name), strings) + u'\n';
                any = true;
            } else if (name.startsWith(u"word/") || name.startsWith(u"ppt/")) {
                text += partText(parts.value(name)) + u'\n';
                any = true;
            }
        }
        if (!any)
            return ReadText::notRead();
    } else {
        return ReadText::notRead();
    }
    return ReadText::of(text);
}

} // namespace OfficeXmlReader
