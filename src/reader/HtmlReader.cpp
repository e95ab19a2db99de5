#include "reader/HtmlReader.h"

#include "reader/TextDecoding.h"

#include <QHash>
#include <QRegularExpression>

namespace HtmlReader {

namespace {

QString entity(QStringView name)
{
    static const QHash<QString, QString> named = {{QStringLiteral("amp"), QStringLiteral("&")},
                                                  {QStringLiteral("lt"), QStringLiteral("<")},
                                                  {QStringLiteral("gt"), QStringLiteral(">")},
                                                  {QStringLiteral("quot"), QStringLiteral("\"")},
                                                  {QStringLiteral("apos"), QStringLiteral("'")},
                                                  {QStringLiteral("nbsp"), QStringLiteral(" ")},
                                                  {QStringLiteral("copy"), QStringLiteral("©")},
                                                  {QStringLiteral("reg"), QStringLiteral("®")},
                                                  {QStringLiteral("mdash"), QStringLiteral("—")},
                                                  {QStringLiteral("ndash"), QStringLiteral("–")},
                                                  {QStringLiteral("hellip"), QStringLiteral("…")},
                                                  {QStringLiteral("middot"), QStringLiteral("·")},
                                                  {QStringLiteral("ldquo"), QStringLiteral("“")},
                                                  {QStringLiteral("rdquo"), QStringLiteral("”")},
                                                  {QStringLiteral("lsquo"), QStringLiteral("‘")},
                                                  {QStringLiteral("rsquo"), QStringLiteral("’")},
                                                  {QStringLiteral("times"), QStringLiteral("×")},
                                                  {QStringLiteral("yen"), QStringLiteral("¥")},
                                                  {QStringLiteral("euro"), QStringLiteral("€")}};
    if (name.startsWith(u'#')) {
        bool ok = false;
        const uint code = name.size() > 1 && (name.at(1) == u'x' || name.at(1) == u'X')
                              ? name.mid(2).toUInt(&ok, 16)
                              : name.mid(1).toUInt(&ok, 10);
        if (!ok || code == 0 || code > 0x10ffff || (code >= 0xd800 && code < 0xe000))
            return QString();
        const char32_t c = code;
        return QString::fromUcs4(&c, 1);
    }
    return named.value(name.toString());
}

bool isBlock(QStringView tag)
{
    static const QStringList blocks = {
        QStringLiteral("p"),     QStringLiteral("div"),        QStringLiteral("br"),
        QStringLiteral("li"),    QStringLiteral("tr"),         QStringLiteral("table"),
        QStringLiteral("title"), QStringLiteral("h1"),         QStringLiteral("h2"),
        QStringLiteral("h3"),    QStringLiteral("h4"),         QStringLiteral("h5"),
        QStringLiteral("h6"),    QStringLiteral("ul"),         QStringLiteral("ol"),
        QStringLiteral("pre"),   QStringLiteral("section"),    QStringLiteral("article"),
        QStringLiteral("hr"),    QStringLiteral("blockquote"), QStringLiteral("dt"),
        QStringLiteral("dd"),    QStringLiteral("header"),     QStringLiteral("footer")};
    return blocks.contains(tag);
}

// Runs of white space as one space, lines trimmed, no empty lines.
QString tidy(const QString& text)
{
    QStringList lines;
    for (const QString& line : text.split(u'\n')) {
        const QString simple = line.simplified();
        if (!simple.isEmpty())
            lines << simple;
    }
    return lines.join(u'\n');
}

} // namespace

QString plainText(const QString& html)
{
    QString text;
    const qsizetype size = html.size();
    qsizetype i = 0;
    while (i < size) {
        const QChar c = html.at(i);
        if (c == u'<') {
            if (QStringView(html).mid(i, 4) == u"<!--") {
                const qsizetype end = html.indexOf(QStringLiteral("-->"), i + 4);
                i = end < 0 ? size : end + 3;
                continue;
            }
            qsizetype end = i + 1;
            const bool closing = end < size && html.at(end) == u'/';
            if (closing)
                ++end;
            const qsizetype nameStart = end;
            while (end < size && html.at(end).isLetterOrNumber())
                ++end;
            const QString tag = html.mid(nameStart, end - nameStart).toLower();
            if (tag.isEmpty() && !closing && (end >= size || html.at(end) != u'!') &&
                (end >= size || html.at(end) != u'?')) {
                text += c; // a lone '<' in the text
                ++i;
                continue;
            }
            const qsizetype close = html.indexOf(u'>', end);
            i = close < 0 ? size : close + 1;
            if (!closing && (tag == u"script" || tag == u"style")) {
                const qsizetype after =
                    html.indexOf(QStringLiteral("</") + tag, i, Qt::CaseInsensitive);
                const qsizetype stop = after < 0 ? -1 : html.indexOf(u'>', after);
                i = stop < 0 ? size : stop + 1;
            } else if (isBlock(tag)) {
                text += u'\n';
            } else if (tag == u"td" || tag == u"th") {
                text += u'\t';
            }
        } else if (c == u'&') {
            const qsizetype end = html.indexOf(u';', i + 1);
            const QString decoded = end > i + 1 && end - i <= 12
                                        ? entity(QStringView(html).mid(i + 1, end - i - 1))
                                        : QString();
            if (decoded.isEmpty()) {
                text += c;
                ++i;
            } else {
                text += decoded;
                i = end + 1;
            }
        } else {
            text += c;
            ++i;
        }
    }
    return tidy(text);
}

ReadText text(const QByteArray& bytes)
{
    static const QRegularExpression declared(
        QStringLiteral("<meta[^>]+charset\\s*=\\s*[\"']?([A-Za-z0-9_:.-]+)"),
        QRegularExpression::CaseInsensitiveOption);
    const QString head = QString::fromLatin1(bytes.left(4096));
    const QRegularExpressionMatch match = declared.match(head);
    std::optional<QString> html;
    if (match.hasMatch() && !bytes.startsWith("\xFF\xFE") && !bytes.startsWith("\xFE\xFF")) {
        QByteArray charset = match.captured(1).toLatin1().toUpper();
        if (charset == "GB2312" || charset == "GBK")
            charset = "GB18030";
        html = TextDecoding::decodeAs(bytes, charset);
    }
    if (!html)
        html = TextDecoding::decode(bytes);
    if (!html)
        return ReadText::failed(Reasons::unknownEncoding());
    return ReadText::of(plainText(*html));
}

} // namespace HtmlReader
