#include "cli/RecordOutput.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace RecordOutput {

namespace {

// The columns scripts and people see: serial first, the stored name last.
const int columns[] = {
    RegisterRecord::SerialColumn, RegisterRecord::DateColumn,       RegisterRecord::FileNameColumn,
    RegisterRecord::RemarkColumn, RegisterRecord::RecipientColumn,  RegisterRecord::MethodColumn,
    RegisterRecord::FolderColumn, RegisterRecord::StoredNameColumn,
};

bool isWide(char32_t c)
{
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
           (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

// Tabs and line breaks inside a value would break the lines of tsv output.
QString oneLine(QString text)
{
    text.replace(QLatin1Char('\t'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return text;
}

QString padded(const QString& text, int width)
{
    return text + QString(std::max(0, width - displayWidth(text)), QLatin1Char(' '));
}

} // namespace

QString escaped(const QString& text)
{
    QString line;
    line.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '\\':
            line += QLatin1String("\\\\");
            break;
        case '\n':
            line += QLatin1String("\\n");
            break;
        case '\r':
            line += QLatin1String("\\r");
            break;
        case '\t':
            line += QLatin1String("\\t");
            break;
        default:
            line += c;
        }
    }
    return line;
}

int displayWidth(const QString& text)
{
    int width = 0;
    for (const char32_t c : text.toUcs4())
        width += isWide(c) ? 2 : 1;
    return width;
}

void addFormatOption(QCommandLineParser& parser)
{
    parser.addOption({QStringLiteral("format"),
                      QStringLiteral("输出格式: table（默认）、tsv 或 json"),
                      QStringLiteral("FORMAT"), QStringLiteral("table")});
}

std::optional<Format> formatFrom(const QCommandLineParser& parser, QTextStream& err)
{
    const QString value = parser.value(QStringLiteral("format"));
    if (value == QLatin1String("table"))
        return Format::Table;
    if (value == QLatin1String("tsv"))
        return Format::Tsv;
    if (value == QLatin1String("json"))
        return Format::Json;
    err << "quorvel-cli: 未知的输出格式“" << value << "”（可用 table、tsv、json）" << Qt::endl;
    return std::nullopt;
}

void print(const ViewRst& view, Format format, QTextStream& out)
{
    if (format == Format::Json) {
        QJsonArray records;
        for (int position = 1; position <= view.recordCount(); ++position) {
            const std::optional<RegisterRecord> record = view.record(position);
            if (!record)
                continue;
            QJsonObject object;
            for (int column : columns)
                object.insert(RegisterRecord::columnName(column), record->text(column));
            object.insert(RegisterRecord::columnName(RegisterRecord::SerialColumn),
                          QJsonValue::fromVariant(record->serial));
            records.append(object);
        }
        out << QString::fromUtf8(QJsonDocument(records).toJson(QJsonDocument::Indented));
        out.flush();
        return;
    }

    QList<QStringList> rows;
    QStringList header;
    for (int column : columns)
        header << RegisterRecord::columnName(column);
    for (int position = 1; position <= view.recordCount(); ++position) {
        const std::optional<RegisterRecord> record = view.record(position);
        if (!record)
            continue;
        QStringList row;
        for (int column : columns)
            row << oneLine(record->text(column));
        rows << row;
    }

    if (format == Format::Tsv) {
        out << header.join(QLatin1Char('\t')) << '\n';
        for (const QStringList& row : rows)
            out << row.join(QLatin1Char('\t')) << '\n';
        out.flush();
        return;
    }

    QList<int> widths;
    for (const QString& title : header)
        widths << displayWidth(title);
    for (const QStringList& row : rows) {
        for (qsizetype i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], displayWidth(row[i]));
    }
    auto printRow = [&](const QStringList& row) {
        QString line;
        for (qsizetype i = 0; i < row.size(); ++i)
            line +=
                (i + 1 < row.size() ? padded(row[i], widths[i]) + QStringLiteral("  ") : row[i]);
        out << line << '\n';
    };
    printRow(header);
    for (const QStringList& row : rows)
        printRow(row);
    out << "（" << rows.size() << " 条记录）" << Qt::endl;
}

} // namespace RecordOutput
