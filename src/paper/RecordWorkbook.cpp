#include "paper/RecordWorkbook.h"

#include "base/DateText.h"
#include "store/RecordFields.h"
#include "store/view/ViewRst.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>

#include <xlsxwriter.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

const QList<RecordFields::Field>& columns()
{
    return RecordFields::inOutputOrder();
}

// The library writes control characters as _xHHHH_, which spreadsheet
// programs read back as the characters; a value that holds such a text
// itself keeps it by its underscore written the same way.
QString typedText(const QString& text)
{
    static const QRegularExpression escape(QStringLiteral("_(x[0-9A-Fa-f]{4}_)"));
    if (!text.contains(QLatin1String("_x")))
        return text;
    QString typed = text;
    return typed.replace(escape, QStringLiteral("_x005F_\\1"));
}

QString libraryText(lxw_error error)
{
    return QString::fromUtf8(lxw_strerror(error));
}

} // namespace

RecordWorkbook::RecordWorkbook(QString path, QString partial)
    : m_path(std::move(path)), m_partial(std::move(partial))
{
}

Error RecordWorkbook::writeFailed(const QString& detail) const
{
    return Error{QStringLiteral("无法写入文件“%1”。").arg(QDir::toNativeSeparators(m_path)),
                 detail};
}

Result<std::unique_ptr<RecordWorkbook>> RecordWorkbook::start(const QString& path)
{
    // A name of our own beside the target, so that the rename is atomic.
    const QFileInfo target(path);
    QTemporaryFile partial(target.absolutePath() + QStringLiteral("/.") + target.fileName() +
                           QStringLiteral(".XXXXXX.part"));
    if (!partial.open()) {
        return Error{QStringLiteral("无法写入文件“%1”。").arg(QDir::toNativeSeparators(path)),
                     partial.errorString()};
    }
    // The library creates the file again, with the usual permissions.
    std::unique_ptr<RecordWorkbook> book(new RecordWorkbook(path, partial.fileName()));
    partial.remove();

    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.use_zip64 = LXW_TRUE;
    const QByteArray name = QFile::encodeName(book->m_partial);
    book->m_book = workbook_new_opt(name.constData(), &options);
    if (!book->m_book)
        return book->writeFailed();
    book->m_sheet = workbook_add_worksheet(book->m_book, nullptr);
    book->m_date = workbook_add_format(book->m_book);
    format_set_num_format(book->m_date, "yyyy-mm-dd");
    for (qsizetype i = 0; i < columns().size(); ++i) {
        const RecordFields::Field& field = columns().at(i);
        const double width = field.kind == RecordFields::Kind::Text
                                 ? std::min(60.0, 10.0 + field.limit / 4.0)
                                 : 12.0;
        worksheet_set_column(book->m_sheet, lxw_col_t(i), lxw_col_t(i), width, nullptr);
        const lxw_error error = worksheet_write_string(book->m_sheet, 0, lxw_col_t(i),
                                                       field.column.toUtf8().constData(), nullptr);
        if (error != LXW_NO_ERROR)
            return book->writeFailed(libraryText(error));
    }
    return book;
}

RecordWorkbook::~RecordWorkbook()
{
    if (m_book)
        workbook_close(m_book);
    if (!m_partial.isEmpty())
        QFile::remove(m_partial);
}

Status RecordWorkbook::add(const RegisterRecord& record)
{
    if (m_row + 1 >= LXW_ROW_MAX) {
        return Error{QStringLiteral("记录超过 Excel 表格一张工作表的行数上限（%1 行）。")
                         .arg(LXW_ROW_MAX - 1),
                     {}};
    }
    ++m_row;
    for (qsizetype i = 0; i < columns().size(); ++i) {
        const RecordFields::Field& field = columns().at(i);
        const auto column = lxw_col_t(i);
        lxw_error error = LXW_NO_ERROR;
        bool written = false;
        if (field.kind == RecordFields::Kind::Serial && !record.serial.isNull()) {
            bool number = false;
            const double value = record.serial.toDouble(&number);
            if (number) {
                error = worksheet_write_number(m_sheet, m_row, column, value, nullptr);
                written = true;
            }
        } else if (field.kind == RecordFields::Kind::Date) {
            if (const std::optional<QDate> date = DateText::parse(record.date)) {
                lxw_datetime day{date->year(), date->month(), date->day(), 0, 0, 0};
                error = worksheet_write_datetime(m_sheet, m_row, column, &day, m_date);
                written = true;
            }
        }
        if (!written) {
            const QString text = field.kind == RecordFields::Kind::Serial
                                     ? record.serial.toString()
                                     : record.text(field.gridColumn);
            // An empty cell is left blank; every other value is a string,
            // so that "=…" is never read as a formula.
            if (!text.isEmpty()) {
                error = worksheet_write_string(m_sheet, m_row, column,
                                               typedText(text).toUtf8().constData(), nullptr);
            }
        }
        if (error != LXW_NO_ERROR)
            return writeFailed(libraryText(error));
    }
    return {};
}

Status RecordWorkbook::finish()
{
    const lxw_error error = workbook_close(m_book);
    m_book = nullptr;
    if (error != LXW_NO_ERROR)
        return writeFailed(libraryText(error));
    // rename() replaces an older file of that name in one step.
    if (std::rename(QFile::encodeName(m_partial).constData(),
                    QFile::encodeName(m_path).constData()) != 0)
        return writeFailed(QString::fromLocal8Bit(std::strerror(errno)));
    m_partial.clear();
    return {};
}

Result<bool> writeWorkbook(const QString& path, const ViewRst& view, const PaperProgress& progress)
{
    Result<std::unique_ptr<RecordWorkbook>> book = RecordWorkbook::start(path);
    if (!book)
        return book.error();
    const int count = view.recordCount();
    for (int position = 1; position <= count; ++position) {
        if (progress && !progress(position - 1, count))
            return false;
        const std::optional<RegisterRecord> record = view.record(position);
        if (!record)
            return Error{QStringLiteral("读取登记库中的记录时出错，未能导出。"), {}};
        // A record another program removed since the view was read.
        if (!record->serial.isValid() && record->fileName.isEmpty())
            continue;
        if (Status added = (*book)->add(*record); !added)
            return added.error();
    }
    if (Status finished = (*book)->finish(); !finished)
        return finished.error();
    if (progress)
        progress(count, count);
    return true;
}
