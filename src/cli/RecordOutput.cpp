#include "cli/RecordOutput.h"

#include "base/DateText.h"
#include "cli/Command.h"
#include "store/view/ViewCursor.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <array>
#include <charconv>
#include <clocale>
#include <cstring>
#include <type_traits>
#include <wchar.h>

namespace RecordOutput {

namespace {

// The columns scripts and people see: serial first, the stored name last.
const QList<RecordFields::Field>& columns()
{
    return RecordFields::inOutputOrder();
}
constexpr int columnCount = RecordFields::count;

// The same fields as a plain array, for the loop that runs for every record.
const std::array<RecordField, columnCount>& fieldOrder()
{
    static const std::array<RecordField, columnCount> order = [] {
        std::array<RecordField, columnCount> fields{};
        for (int i = 0; i < columnCount; ++i)
            fields[i] = columns()[i].field;
        return fields;
    }();
    return order;
}

// The table's first block: rows held back to measure the columns, at most
// this many or for this long.
constexpr int tableBlockRows = 1000;
constexpr int tableBlockMs = 50;

struct FormatName {
    const char* name;
    Format format;
};
const FormatName formatNames[] = {
    {"table", Format::Table}, {"tsv", Format::Tsv},     {"csv", Format::Csv},
    {"json", Format::Json},   {"jsonl", Format::Jsonl},
};

// A table line may not be broken by a value: control characters show as spaces.
QString oneLine(QString text)
{
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    }
    return text;
}

QString padded(const QString& text, int width)
{
    return text + QString(std::max(0, width - displayWidth(text)), QLatin1Char(' '));
}

// The terminal's own widths, whatever locale the program was started in.
locale_t utf8Locale()
{
    static const locale_t locale = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(nullptr));
    return locale;
}

QString isoDate(const QString& shown)
{
    const std::optional<QDate> date = DateText::parse(shown);
    return date ? DateText::toStored(*date) : shown;
}

// The bytes of a stored date that isoDate(DateText::toDisplay(…)) gives back
// unchanged: a valid yyyy-MM-dd, or nothing.
bool isPlainDate(QByteArrayView text)
{
    if (text.isEmpty())
        return true;
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return false;
    int parts[3] = {};
    const std::pair<int, int> spans[] = {{0, 4}, {5, 2}, {8, 2}};
    for (int i = 0; i < 3; ++i) {
        for (int at = spans[i].first; at < spans[i].first + spans[i].second; ++at) {
            if (text[at] < '0' || text[at] > '9')
                return false;
            parts[i] = parts[i] * 10 + (text[at] - '0');
        }
    }
    return QDate(parts[0], parts[1], parts[2]).isValid();
}

// tsvEscaped, csvField and JSON's string escaping, done on the stored
// UTF-8 bytes into room made beforehand (each byte takes at most six).
enum class Escaping { Tsv, Csv, Json };
constexpr qsizetype widestEscape = 6;

// The length of the valid UTF-8 sequence at `p` (a byte >= 0x80), 0 when it
// is not one: what Qt would not read back unchanged takes the way through
// texts.
inline int sequenceLength(const unsigned char* p, const unsigned char* end)
{
    const unsigned char lead = p[0];
    int length = 0;
    unsigned char low = 0x80, high = 0xBF; // the second byte's range
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;  // no overlong forms
        high = lead == 0xED ? 0x9F : 0xBF; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF; // nothing past U+10FFFF
    } else {
        return 0;
    }
    if (end - p < length || p[1] < low || p[1] > high)
        return 0;
    for (int i = 2; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
    }
    return length;
}

// Copies `text` escaped to `to`; the end of the copy, or null for text that
// is not valid UTF-8.
template <Escaping escaping> char* copyEscaped(char* to, QByteArrayView text)
{
    static const char hex[] = "0123456789abcdef";
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* const end = p + text.size();
    char* const start = to;
    bool quoted = false;
    if constexpr (escaping != Escaping::Tsv)
        *to++ = '"';
    while (p < end) {
        const unsigned char c = *p;
        if (c >= 0x80) {
            const int length = sequenceLength(p, end);
            if (length == 0)
                return nullptr;
            for (int i = 0; i < length; ++i)
                *to++ = char(*p++);
            continue;
        }
        ++p;
        if constexpr (escaping == Escaping::Tsv) {
            const char letter = c == '\\'   ? '\\'
                                : c == '\t' ? 't'
                                : c == '\n' ? 'n'
                                : c == '\r' ? 'r'
                                            : 0;
            if (letter) {
                *to++ = '\\';
                *to++ = letter;
                continue;
            }
        } else if constexpr (escaping == Escaping::Csv) {
            if (c == ',' || c == '"' || c == '\r' || c == '\n') {
                quoted = true;
                if (c == '"')
                    *to++ = '"';
            }
        } else {
            if (c < 0x20 || c == '"' || c == '\\') {
                *to++ = '\\';
                const char letter = c == '"'    ? '"'
                                    : c == '\\' ? '\\'
                                    : c == '\b' ? 'b'
                                    : c == '\f' ? 'f'
                                    : c == '\n' ? 'n'
                                    : c == '\r' ? 'r'
                                    : c == '\t' ? 't'
                                                : 0;
                if (letter) {
                    *to++ = letter;
                } else {
                    std::memcpy(to, "u00", 3);
                    to[3] = hex[c >> 4];
                    to[4] = hex[c & 0xf];
                    to += 5;
                }
                continue;
            }
        }
        *to++ = char(c);
    }
    if constexpr (escaping == Escaping::Csv) {
        // Only a field that needs them gets the quotes.
        if (!quoted) {
            std::memmove(start, start + 1, size_t(to - start - 1));
            return to - 1;
        }
    }
    if constexpr (escaping != Escaping::Tsv)
        *to++ = '"';
    return to;
}

char* copyNumber(char* to, qint64 number)
{
    return std::to_chars(to, to + 24, number).ptr;
}

char* copyBytes(char* to, QByteArrayView bytes)
{
    std::memcpy(to, bytes.data(), size_t(bytes.size()));
    return to + bytes.size();
}

void appendJson(QByteArray& out, QByteArrayView text)
{
    const qsizetype at = out.size();
    out.resize(at + 2 + text.size() * widestEscape);
    char* end = copyEscaped<Escaping::Json>(out.data() + at, text);
    if (!end) {
        // Our own texts (keys) are valid UTF-8; keep the size sane anyway.
        out.resize(at);
        return;
    }
    out.resize(end - out.constData());
}

} // namespace

int displayWidth(const QString& text)
{
    const locale_t previous = utf8Locale() ? ::uselocale(utf8Locale()) : locale_t(nullptr);
    int width = 0;
    for (const char32_t c : text.toUcs4()) {
        const int columns = ::wcwidth(static_cast<wchar_t>(c));
        width += columns < 0 ? 1 : columns;
    }
    if (previous)
        ::uselocale(previous);
    return width;
}

QString tsvEscaped(const QString& text)
{
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '\\':
            escaped += QLatin1String("\\\\");
            break;
        case '\t':
            escaped += QLatin1String("\\t");
            break;
        case '\n':
            escaped += QLatin1String("\\n");
            break;
        case '\r':
            escaped += QLatin1String("\\r");
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

QString csvField(const QString& text)
{
    static const QString special = QStringLiteral(",\"\r\n");
    if (std::none_of(text.begin(), text.end(), [](QChar c) { return special.contains(c); }))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

void addFormatOption(QCommandLineParser& parser, bool workbook)
{
    parser.addOption({QStringLiteral("format"),
                      workbook ? QStringLiteral("输出格式: table（默认）、tsv、csv、json、jsonl "
                                                "或 xlsx（Excel 表格，写入 --output FILE）")
                               : QStringLiteral("输出格式: table（默认）、tsv、csv、json 或 jsonl"),
                      QStringLiteral("FORMAT"), QStringLiteral("table")});
}

std::optional<Format> formatFrom(const QCommandLineParser& parser, QTextStream& err,
                                 const QString& command)
{
    const QString value = parser.value(QStringLiteral("format"));
    for (const FormatName& name : formatNames) {
        if (value == QLatin1String(name.name))
            return name.format;
    }
    err << "quorvel-cli " << command << ": 未知的输出格式“" << value
        << "”（可用 table、tsv、csv、json、jsonl）" << Qt::endl;
    return std::nullopt;
}

void addNullOption(QCommandLineParser& parser)
{
    parser.addOption({{QStringLiteral("0"), QStringLiteral("null")},
                      QStringLiteral("每项以 NUL 字符结束（代替换行，名称原样输出）")});
}

QString lineEnd(const QCommandLineParser& parser)
{
    return parser.isSet(QStringLiteral("null")) ? QString(QChar(0)) : QStringLiteral("\n");
}

Writer::Writer(Format format, QTextStream& out, const QStringList& keys,
               const QStringList& jsonKeys)
    : m_format(format), m_output(out), m_keys(keys),
      m_jsonKeys(jsonKeys.isEmpty() ? keys : jsonKeys)
{
    m_started.start();
    QByteArray& bytes = m_output.buffer();
    switch (m_format) {
    case Format::Table:
        m_table << keys;
        return;
    case Format::Tsv:
        bytes += keys.join(QLatin1Char('\t')).toUtf8() + '\n';
        break;
    case Format::Csv: {
        // The byte order mark tells spreadsheet programs the text is UTF-8.
        QStringList fields;
        for (const QString& key : keys)
            fields << csvField(key);
        bytes += (QChar(0xFEFF) + fields.join(QLatin1Char(',')) + QStringLiteral("\r\n")).toUtf8();
        break;
    }
    case Format::Json:
        bytes += '[';
        Q_FALLTHROUGH();
    case Format::Jsonl: {
        QJsonObject order;
        for (qsizetype i = 0; i < m_jsonKeys.size(); ++i)
            order.insert(m_jsonKeys.at(i), int(i));
        for (auto key = order.constBegin(); key != order.constEnd(); ++key) {
            m_jsonOrder << key.value().toInt();
            QByteArray name;
            appendJson(name, key.key().toUtf8());
            m_jsonNames << name + ':';
        }
        return;
    }
    }
    m_output.lineDone();
}

void Writer::row(const QVariantList& fields)
{
    ++m_rows;
    QByteArray& bytes = m_output.buffer();
    if (m_format == Format::Json || m_format == Format::Jsonl) {
        QJsonObject object;
        for (qsizetype i = 0; i < fields.size() && i < m_jsonKeys.size(); ++i)
            object.insert(m_jsonKeys.at(i), QJsonValue::fromVariant(fields.at(i)));
        if (m_format == Format::Json)
            bytes += m_rows > 1 ? ",\n" : "\n";
        bytes += QJsonDocument(object).toJson(QJsonDocument::Compact);
        if (m_format == Format::Jsonl)
            bytes += '\n';
        m_output.lineDone();
        return;
    }
    QStringList texts;
    for (const QVariant& field : fields) {
        const QString text = field.toString();
        switch (m_format) {
        case Format::Tsv:
            texts << tsvEscaped(text);
            break;
        case Format::Csv:
            texts << csvField(text);
            break;
        default:
            texts << oneLine(text);
        }
    }
    if (m_format == Format::Table) {
        if (m_tableReleased) {
            tableLine(texts);
            return;
        }
        m_table << texts;
        if (m_table.size() > tableBlockRows || m_started.hasExpired(tableBlockMs))
            releaseTable();
        return;
    }
    if (m_format == Format::Tsv)
        bytes += (texts.join(QLatin1Char('\t')) + QLatin1Char('\n')).toUtf8();
    else
        bytes += (texts.join(QLatin1Char(',')) + QStringLiteral("\r\n")).toUtf8();
    m_output.lineDone();
}

void Writer::record(const ViewCursor& cursor)
{
    if (m_format == Format::Table || !recordBytes(cursor))
        row(recordFields(cursor.record(), m_format));
}

// The usual record straight from its stored bytes. A serial that is not a
// whole number, a date not in the stored form and text that is not valid
// UTF-8 take the way through texts, which reads them as QSqlQuery does.
bool Writer::recordBytes(const ViewCursor& cursor)
{
    const std::optional<qint64> serial = cursor.integerSerial();
    if (!serial)
        return false;
    const std::array<RecordField, columnCount>& fields = fieldOrder();
    QByteArrayView texts[columnCount];
    for (int i = 0; i < columnCount; ++i) {
        if (fields[i] == RecordField::Serial)
            continue;
        texts[i] = cursor.utf8(fields[i]);
        if (fields[i] == RecordField::Date && !isPlainDate(texts[i]))
            return false;
    }
    QByteArray& bytes = m_output.buffer();
    qsizetype room = 64;
    for (const QByteArrayView& text : texts)
        room += 2 + text.size() * widestEscape + 32;
    for (const QByteArray& name : std::as_const(m_jsonNames))
        room += name.size() + 1;
    const qsizetype at = bytes.size();
    bytes.resize(at + room);
    char* to = bytes.data() + at;
    const auto copyField = [&](int i, auto escaping) -> bool {
        if (fields[i] == RecordField::Serial)
            to = copyNumber(to, *serial);
        else
            to = copyEscaped<decltype(escaping)::value>(to, texts[i]);
        return to != nullptr;
    };
    using Tsv = std::integral_constant<Escaping, Escaping::Tsv>;
    using Csv = std::integral_constant<Escaping, Escaping::Csv>;
    using Json = std::integral_constant<Escaping, Escaping::Json>;
    bool copied = true;
    switch (m_format) {
    case Format::Tsv:
    case Format::Csv: {
        const bool tsv = m_format == Format::Tsv;
        for (int i = 0; i < columnCount && copied; ++i) {
            if (i > 0)
                *to++ = tsv ? '\t' : ',';
            copied = tsv ? copyField(i, Tsv()) : copyField(i, Csv());
        }
        if (copied)
            to = copyBytes(to, tsv ? "\n" : "\r\n");
        break;
    }
    case Format::Json:
    case Format::Jsonl:
        if (m_format == Format::Json)
            to = copyBytes(to, m_rows > 0 ? ",\n" : "\n");
        *to++ = '{';
        for (qsizetype k = 0; k < m_jsonOrder.size() && copied; ++k) {
            if (k > 0)
                *to++ = ',';
            to = copyBytes(to, m_jsonNames.at(k));
            copied = copyField(m_jsonOrder.at(k), Json());
        }
        if (copied)
            to = copyBytes(to, m_format == Format::Json ? "}" : "}\n");
        break;
    case Format::Table:
        copied = false;
    }
    if (!copied) {
        bytes.resize(at);
        return false;
    }
    bytes.resize(to - bytes.constData());
    ++m_rows;
    m_output.lineDone();
    return true;
}

void Writer::tableLine(const QStringList& texts)
{
    if (m_widths.size() < texts.size())
        m_widths.resize(texts.size());
    QString line;
    for (qsizetype i = 0; i < texts.size(); ++i) {
        if (i + 1 == texts.size()) {
            line += texts[i];
            break;
        }
        m_widths[i] = std::max(m_widths[i], displayWidth(texts[i]));
        line += padded(texts[i], m_widths[i]) + QStringLiteral("  ");
    }
    m_output.buffer() += (line + QLatin1Char('\n')).toUtf8();
    m_output.lineDone();
}

void Writer::releaseTable()
{
    m_tableReleased = true;
    m_widths.fill(0, m_keys.size());
    for (const QStringList& row : std::as_const(m_table)) {
        for (qsizetype i = 0; i < row.size() && i < m_widths.size(); ++i)
            m_widths[i] = std::max(m_widths[i], displayWidth(row[i]));
    }
    for (const QStringList& row : std::as_const(m_table))
        tableLine(row);
    m_table.clear();
}

void Writer::finish(const QString& count)
{
    if (m_format == Format::Json)
        m_output.buffer() += m_rows > 0 ? "\n]\n" : "]\n";
    if (m_format == Format::Table) {
        if (!m_tableReleased)
            releaseTable();
        if (!count.isEmpty())
            m_output.buffer() += (count + QLatin1Char('\n')).toUtf8();
    }
    m_output.flush();
}

QStringList recordKeys()
{
    QStringList keys;
    for (const RecordFields::Field& column : columns())
        keys << column.column;
    return keys;
}

QVariantList recordFields(const RegisterRecord& record, Format format)
{
    QVariantList fields;
    for (const RecordFields::Field& column : columns()) {
        if (column.kind == RecordFields::Kind::Serial)
            fields << record.serial;
        else if (column.kind == RecordFields::Kind::Date && format != Format::Table)
            fields << isoDate(record.date);
        else
            fields << record.text(column.gridColumn);
    }
    return fields;
}

int list(const Register& reg, const ViewCondition& condition, Format format, CliContext& context)
{
    ViewCursor cursor(reg, condition);
    // The first step before any output: a register that cannot be read
    // prints the reason only.
    bool more = cursor.next();
    if (cursor.failed()) {
        context.fail(cursor.error());
        return ExitFailed;
    }
    Writer writer(format, context.out, recordKeys());
    int printed = 0;
    for (; more && !writer.output().stopped(); more = cursor.next()) {
        writer.record(cursor);
        ++printed;
    }
    // A listing cut short keeps no closing line, so that it does not read
    // as complete.
    if (cursor.failed()) {
        context.fail(cursor.error());
        return ExitFailed;
    }
    writer.finish(QStringLiteral("（%1 条记录）").arg(printed));
    if (!writer.output().failure().isEmpty()) {
        context.error() << "写入输出时出错：" << writer.output().failure() << Qt::endl;
        return ExitFailed;
    }
    return writer.output().readerGone() ? ExitFailed : ExitDone;
}

} // namespace RecordOutput
