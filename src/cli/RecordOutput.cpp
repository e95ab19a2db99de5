#include "cli/RecordOutput.h"

#include "store/DateText.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <clocale>
#include <wchar.h>

namespace RecordOutput {

namespace {

// The columns scripts and people see: serial first, the stored name last.
const int columns[] = {
    RegisterRecord::SerialColumn, RegisterRecord::DateColumn,       RegisterRecord::FileNameColumn,
    RegisterRecord::RemarkColumn, RegisterRecord::RecipientColumn,  RegisterRecord::MethodColumn,
    RegisterRecord::FolderColumn, RegisterRecord::StoredNameColumn,
};

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

void addFormatOption(QCommandLineParser& parser)
{
    parser.addOption({QStringLiteral("format"),
                      QStringLiteral("输出格式: table（默认）、tsv、csv、json 或 jsonl"),
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
    : m_format(format), m_out(out), m_keys(keys), m_jsonKeys(jsonKeys.isEmpty() ? keys : jsonKeys)
{
    switch (m_format) {
    case Format::Table:
        m_table << keys;
        break;
    case Format::Tsv:
        m_out << keys.join(QLatin1Char('\t')) << '\n';
        break;
    case Format::Csv: {
        // The byte order mark tells spreadsheet programs the text is UTF-8.
        QStringList fields;
        for (const QString& key : keys)
            fields << csvField(key);
        m_out << QChar(0xFEFF) << fields.join(QLatin1Char(',')) << "\r\n";
        break;
    }
    case Format::Json:
        m_out << '[';
        break;
    case Format::Jsonl:
        break;
    }
}

void Writer::row(const QVariantList& fields)
{
    ++m_rows;
    if (m_format == Format::Json || m_format == Format::Jsonl) {
        QJsonObject object;
        for (qsizetype i = 0; i < fields.size() && i < m_jsonKeys.size(); ++i)
            object.insert(m_jsonKeys.at(i), QJsonValue::fromVariant(fields.at(i)));
        const QString line =
            QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
        if (m_format == Format::Json)
            m_out << (m_rows > 1 ? ",\n" : "\n") << line;
        else
            m_out << line << Qt::endl;
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
    if (m_format == Format::Tsv)
        m_out << texts.join(QLatin1Char('\t')) << '\n';
    else if (m_format == Format::Csv)
        m_out << texts.join(QLatin1Char(',')) << "\r\n";
    else
        m_table << texts;
}

void Writer::finish(const QString& count)
{
    if (m_format == Format::Json)
        m_out << (m_rows > 0 ? "\n]\n" : "]\n");
    if (m_format == Format::Table) {
        QList<int> widths(m_keys.size(), 0);
        for (const QStringList& row : m_table) {
            for (qsizetype i = 0; i < row.size() && i < widths.size(); ++i)
                widths[i] = std::max(widths[i], displayWidth(row[i]));
        }
        for (const QStringList& row : m_table) {
            QString line;
            for (qsizetype i = 0; i < row.size(); ++i)
                line +=
                    i + 1 < row.size() ? padded(row[i], widths[i]) + QStringLiteral("  ") : row[i];
            m_out << line << '\n';
        }
        if (!count.isEmpty())
            m_out << count << '\n';
    }
    m_out.flush();
}

QStringList recordKeys()
{
    QStringList keys;
    for (int column : columns)
        keys << RegisterRecord::columnName(column);
    return keys;
}

QVariantList recordFields(const RegisterRecord& record, Format format)
{
    QVariantList fields;
    for (int column : columns) {
        if (column == RegisterRecord::SerialColumn)
            fields << record.serial;
        else if (column == RegisterRecord::DateColumn && format != Format::Table)
            fields << isoDate(record.date);
        else
            fields << record.text(column);
    }
    return fields;
}

void print(const ViewRst& view, Format format, QTextStream& out)
{
    Writer writer(format, out, recordKeys());
    int printed = 0;
    for (int position = 1; position <= view.recordCount(); ++position) {
        const std::optional<RegisterRecord> record = view.record(position);
        if (!record)
            continue;
        writer.row(recordFields(*record, format));
        ++printed;
    }
    writer.finish(QStringLiteral("（%1 条记录）").arg(printed));
}

} // namespace RecordOutput
