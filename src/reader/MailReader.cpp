#include "reader/MailReader.h"

#include "reader/HtmlReader.h"
#include "reader/TextDecoding.h"

#include <QList>
#include <QRegularExpression>

namespace MailReader {

namespace {

struct Part {
    QList<std::pair<QByteArray, QByteArray>> headers; // lower-case name, unfolded value
    QByteArray body;

    QByteArray header(const QByteArray& name) const
    {
        for (const auto& [key, value] : headers) {
            if (key == name)
                return value;
        }
        return QByteArray();
    }
};

Part parse(const QByteArray& bytes)
{
    Part part;
    qsizetype at = 0;
    while (at < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', at);
        if (end < 0)
            end = bytes.size();
        QByteArray line = bytes.mid(at, end - at);
        if (line.endsWith('\r'))
            line.chop(1);
        at = end + 1;
        if (line.isEmpty())
            break;
        if ((line.startsWith(' ') || line.startsWith('\t')) && !part.headers.isEmpty()) {
            part.headers.back().second += ' ' + line.trimmed();
            continue;
        }
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            part.headers.append(
                {line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed()});
    }
    part.body = at < bytes.size() ? bytes.mid(at) : QByteArray();
    return part;
}

QByteArray normalCharset(QByteArray charset)
{
    charset = charset.trimmed().toUpper();
    if (charset == "GB2312" || charset == "GBK" || charset.isEmpty())
        return charset.isEmpty() ? QByteArray() : QByteArray("GB18030");
    return charset;
}

// Bytes in a named charset; when it is missing or wrong, told from the bytes.
QString decoded(const QByteArray& bytes, const QByteArray& charset)
{
    if (!charset.isEmpty()) {
        if (std::optional<QString> text = TextDecoding::decodeAs(bytes, normalCharset(charset)))
            return *text;
    }
    return TextDecoding::decode(bytes).value_or(QString::fromUtf8(bytes));
}

QByteArray quotedPrintable(const QByteArray& bytes, bool header)
{
    QByteArray out;
    out.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes.at(i);
        if (c == '_' && header) {
            out += ' ';
        } else if (c == '=' && i + 2 < bytes.size() && bytes.at(i + 1) == '\r' &&
                   bytes.at(i + 2) == '\n') {
            i += 2;
        } else if (c == '=' && i + 1 < bytes.size() && bytes.at(i + 1) == '\n') {
            i += 1;
        } else if (c == '=' && i + 2 < bytes.size()) {
            bool ok = false;
            const int value = bytes.mid(i + 1, 2).toInt(&ok, 16);
            if (ok) {
                out += char(value);
                i += 2;
            } else {
                out += c;
            }
        } else {
            out += c;
        }
    }
    return out;
}

// A header's words, RFC 2047 encoded-words decoded.
QString headerText(const QByteArray& value)
{
    static const QRegularExpression word(
        QStringLiteral("=\\?([^?]+)\\?([BbQq])\\?([^?]*)\\?=(?:\\s+(?==\\?))?"));
    const QString raw = decoded(value, QByteArray());
    QString text;
    qsizetype last = 0;
    for (QRegularExpressionMatchIterator it = word.globalMatch(raw); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        text += QStringView(raw).mid(last, match.capturedStart() - last);
        const QByteArray payload = match.captured(3).toLatin1();
        const QByteArray bytes = match.captured(2).toUpper() == u"B"
                                     ? QByteArray::fromBase64(payload)
                                     : quotedPrintable(payload, true);
        text += decoded(bytes, match.captured(1).section(u'*', 0, 0).toLatin1());
        last = match.capturedEnd();
    }
    return text + QStringView(raw).mid(last);
}

// A parameter of a structured header (Content-Type, Content-Disposition),
// RFC 2231's charset'language'percent-encoded form included.
QString parameter(const QByteArray& header, const QByteArray& name)
{
    const QList<QByteArray> pieces = header.split(';');
    for (const QByteArray& piece : pieces) {
        const qsizetype equals = piece.indexOf('=');
        if (equals < 0)
            continue;
        const QByteArray key = piece.left(equals).trimmed().toLower();
        QByteArray value = piece.mid(equals + 1).trimmed();
        if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
            value = value.mid(1, value.size() - 2);
        if (key == name)
            return headerText(value);
        if (key == name + '*') {
            const QList<QByteArray> parts = value.split('\'');
            if (parts.size() == 3)
                return decoded(QByteArray::fromPercentEncoding(parts.at(2)), parts.at(0));
        }
    }
    return QString();
}

QByteArray bodyBytes(const Part& part)
{
    const QByteArray encoding = part.header("content-transfer-encoding").trimmed().toLower();
    if (encoding == "base64")
        return QByteArray::fromBase64(part.body);
    if (encoding == "quoted-printable")
        return quotedPrintable(part.body, false);
    return part.body;
}

QList<QByteArray> subparts(const QByteArray& body, const QByteArray& boundary)
{
    QList<QByteArray> parts;
    const QByteArray marker = QByteArray("--") + boundary;
    const QByteArray lineMarker = QByteArray("\n") + marker;
    qsizetype at = body.indexOf(marker);
    while (at >= 0) {
        qsizetype start = body.indexOf('\n', at);
        if (start < 0 || body.mid(at + marker.size(), 2) == "--")
            break;
        ++start;
        const qsizetype next = body.indexOf(lineMarker, start);
        parts << body.mid(start, (next < 0 ? body.size() : next) - start);
        at = next < 0 ? -1 : next + 1;
    }
    return parts;
}

void collect(const Part& part, QString& text, QStringList& attachments, int depth)
{
    const QByteArray type = part.header("content-type");
    const QByteArray mime = type.split(';').first().trimmed().toLower();
    const QByteArray disposition = part.header("content-disposition");
    QString name = parameter(disposition, "filename");
    if (name.isEmpty())
        name = parameter(type, "name");
    const bool attached = disposition.trimmed().toLower().startsWith("attachment");
    if (mime.startsWith("multipart/") && depth < 20) {
        const QByteArray boundary = parameter(type, "boundary").toUtf8();
        if (boundary.isEmpty())
            return;
        QList<Part> parts;
        for (const QByteArray& bytes : subparts(part.body, boundary))
            parts << parse(bytes);
        if (mime == "multipart/alternative") {
            // The same words twice; the plain form is the one to keep.
            for (const Part& one : parts) {
                if (one.header("content-type").toLower().contains("text/plain"))
                    return collect(one, text, attachments, depth + 1);
            }
        }
        for (const Part& one : parts)
            collect(one, text, attachments, depth + 1);
    } else if (mime == "message/rfc822" && !attached && depth < 20) {
        collect(parse(bodyBytes(part)), text, attachments, depth + 1);
    } else if (!attached && name.isEmpty() && (mime.isEmpty() || mime.startsWith("text/"))) {
        const QString body = decoded(bodyBytes(part), parameter(type, "charset").toLatin1());
        text += (mime == "text/html" ? HtmlReader::plainText(body) : body) + u'\n';
    } else if (!name.isEmpty()) {
        attachments << name;
    }
}

} // namespace

bool looksLikeMail(const QByteArray& head)
{
    static const QRegularExpression field(QStringLiteral("^[A-Za-z][A-Za-z0-9-]*:"));
    const Part part = parse(head);
    if (part.headers.isEmpty() || !field.match(QString::fromLatin1(head.left(80))).hasMatch())
        return false;
    bool from = false;
    bool other = false;
    for (const auto& [key, value] : part.headers) {
        from = from || key == "from";
        other = other || key == "subject" || key == "date" || key == "message-id" ||
                key == "mime-version" || key == "received";
    }
    return from && other;
}

ReadText text(const QByteArray& bytes)
{
    const Part message = parse(bytes);
    QString text;
    for (const QByteArray& header :
         {QByteArray("subject"), QByteArray("from"), QByteArray("to"), QByteArray("cc")}) {
        const QByteArray value = message.header(header);
        if (!value.isEmpty()) {
            const QString name = QString::fromLatin1(header);
            text += name.left(1).toUpper() + name.mid(1) + QStringLiteral(": ") +
                    headerText(value) + u'\n';
        }
    }
    text += u'\n';
    QStringList attachments;
    collect(message, text, attachments, 0);
    for (const QString& name : attachments)
        text += QStringLiteral("附件：") + name + u'\n';
    return ReadText::of(text);
}

} // namespace MailReader
