#include "legacy/LegacyReader.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>
#include <mdbtools.h>
#include <vector>

struct LegacyReader::State {
    MdbHandle* handle = nullptr;
    QString path;
    ~State()
    {
        if (handle)
            mdb_close(handle);
    }
};

namespace {

// Owns a table definition read from the file.
struct TableDef {
    MdbTableDef* table = nullptr;
    ~TableDef()
    {
        if (table)
            mdb_free_tabledef(table);
    }
};

bool readTable(MdbHandle* handle, const QString& name, TableDef& def)
{
    QByteArray utf8 = name.toUtf8();
    def.table = mdb_read_table_by_name(handle, utf8.data(), MDB_TABLE);
    if (!def.table)
        return false;
    return mdb_read_columns(def.table) != nullptr;
}

bool isText(int type)
{
    return type == MDB_TEXT || type == MDB_MEMO;
}

// The value of a fixed-size cell straight from its bytes: a double stays a
// double and a date keeps its time part, whatever the display format.
QVariant fixedValue(int type, const unsigned char* bytes, int size)
{
    switch (type) {
    case MDB_BOOL:
        return QVariant();
    case MDB_BYTE:
        return size >= 1 ? QVariant(double(bytes[0])) : QVariant();
    case MDB_INT:
        return size >= 2 ? QVariant(double(mdb_get_int16(const_cast<unsigned char*>(bytes), 0)))
                         : QVariant();
    case MDB_LONGINT:
        return size >= 4 ? QVariant(double(mdb_get_int32(const_cast<unsigned char*>(bytes), 0)))
                         : QVariant();
    case MDB_FLOAT:
        return size >= 4 ? QVariant(double(mdb_get_single(const_cast<unsigned char*>(bytes), 0)))
                         : QVariant();
    case MDB_DOUBLE:
    case MDB_DATETIME:
        return size >= 8 ? QVariant(mdb_get_double(const_cast<unsigned char*>(bytes), 0))
                         : QVariant();
    default:
        return QVariant();
    }
}

// The largest text a column holds, in characters: Jet 4 keeps texts as
// UTF-16, and col_size counts bytes.
int textLimit(const MdbColumn* column)
{
    return column->col_type == MDB_TEXT ? column->col_size / 2 : MDB_BIND_SIZE;
}

// Whether a decoded text can be what a person typed: garbage read as text
// shows as undecodable bytes or control characters.
bool isPlainText(const QString& text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == QChar::ReplacementCharacter || u == 0xFFFE || u == 0xFFFF ||
            (u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r') || u == 0x7F)
            return false;
    }
    return text.isValidUtf16();
}

// The byte size a fixed cell of `type` has; 0 for a type not read here.
int fixedSize(int type)
{
    switch (type) {
    case MDB_BYTE:
        return 1;
    case MDB_INT:
        return 2;
    case MDB_LONGINT:
    case MDB_FLOAT:
        return 4;
    case MDB_DOUBLE:
    case MDB_DATETIME:
        return 8;
    default:
        return 0;
    }
}

} // namespace

Error LegacyReader::damaged(const QString& path, const QString& what)
{
    return Error{
        QStringLiteral("旧登记库“%1”已损坏（%2）。没有转换或导入任何记录，旧登记库未被改动；"
                       "请用备份或修复后的文件再试。")
            .arg(path, what),
        QString(), ErrorCode::Damaged};
}

LegacyReader::LegacyReader(std::unique_ptr<State> state) : m_state(std::move(state)) {}
LegacyReader::~LegacyReader() = default;
LegacyReader::LegacyReader(LegacyReader&&) noexcept = default;
LegacyReader& LegacyReader::operator=(LegacyReader&&) noexcept = default;

Result<LegacyReader> LegacyReader::open(const QString& path)
{
    auto state = std::make_unique<State>();
    state->path = path;
    // Read-only: the old file is never written, not even its lock record.
    state->handle = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    if (!state->handle)
        return Error{QStringLiteral("无法读取旧登记库“%1”。").arg(path), QString()};
    if (!mdb_read_catalog(state->handle, MDB_TABLE))
        return damaged(path, QStringLiteral("无法读取其中的表"));
    // A file cut short anywhere but at a page boundary has lost part of a page.
    const qint64 size = QFileInfo(path).size();
    const qint64 page = state->handle->fmt->pg_size;
    if (page <= 0 || size % page != 0)
        return damaged(path, QStringLiteral("文件长度 %1 字节不是整页，末尾的页不完整").arg(size));
    return LegacyReader(std::move(state));
}

bool LegacyReader::hasTable(const QString& table) const
{
    // From the catalog, so that a listed table whose definition is damaged
    // counts as there (and fails to read) rather than as missing.
    MdbHandle* handle = m_state->handle;
    const QByteArray name = table.toUtf8();
    for (unsigned int i = 0; i < handle->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(handle->catalog, i));
        if (entry->object_type == MDB_TABLE && name == entry->object_name)
            return true;
    }
    return false;
}

QStringList LegacyReader::columns(const QString& table) const
{
    QStringList names;
    TableDef def;
    if (!readTable(m_state->handle, table, def))
        return names;
    for (unsigned int i = 0; i < def.table->num_cols; ++i) {
        auto* column = static_cast<MdbColumn*>(g_ptr_array_index(def.table->columns, i));
        names << QString::fromUtf8(column->name);
    }
    return names;
}

Status LegacyReader::readRows(const QString& table, const QStringList& wanted,
                              const RowHandler& row) const
{
    MdbHandle* handle = m_state->handle;
    TableDef def;
    if (!readTable(handle, table, def))
        return hasTable(table)
                   ? damaged(m_state->path, QStringLiteral("“%1”表的定义无法读取").arg(table))
                   : Error{QStringLiteral("旧登记库中没有“%1”表。").arg(table), m_state->path};
    const unsigned int count = def.table->num_cols;

    // Where each wanted column is in the table (-1: not there).
    std::vector<int> position;
    for (const QString& name : wanted) {
        int found = -1;
        for (unsigned int i = 0; i < count && found < 0; ++i) {
            auto* column = static_cast<MdbColumn*>(g_ptr_array_index(def.table->columns, i));
            if (QString::fromUtf8(column->name) == name)
                found = int(i);
        }
        position.push_back(found);
    }

    // Texts are bound so that libmdb decodes Jet's compressed UTF-16 for us;
    // whether a cell is Null comes from the row's null mask, because a bound
    // Null and a bound empty text look the same.
    std::vector<QByteArray> buffers(count);
    std::vector<int> lengths(count, 0);
    for (unsigned int i = 0; i < count; ++i) {
        auto* column = static_cast<MdbColumn*>(g_ptr_array_index(def.table->columns, i));
        if (isText(column->col_type)) {
            buffers[i] = QByteArray(MDB_BIND_SIZE + 1, '\0');
            mdb_bind_column(def.table, int(i) + 1, buffers[i].data(), &lengths[i]);
        }
    }
    std::vector<MdbField> fields(count);
    mdb_rewind_table(def.table);
    qint64 read = 0;
    while (mdb_fetch_row(def.table)) {
        // The row just fetched is still in the page buffer.
        int start = 0;
        size_t size = 0;
        const int number = int(def.table->cur_row);
        if (mdb_find_row(handle, number - 1, &start, &size) != 0)
            return damaged(m_state->path,
                           QStringLiteral("“%1”表第 %2 行无法找到").arg(table).arg(number));
        // Every cell must decode: a row of garbage is not a record. A row
        // written before a column was added holds fewer columns (Null).
        const int cracked = mdb_crack_row(def.table, start, size, fields.data());
        if (cracked <= 0 || cracked > int(count))
            return damaged(m_state->path,
                           QStringLiteral("“%1”表第 %2 行无法解读").arg(table).arg(number));
        QVariantList cells;
        cells.reserve(qsizetype(wanted.size()));
        for (int at : position) {
            if (at < 0 || at >= cracked) {
                cells << QVariant();
                continue;
            }
            auto* column = static_cast<MdbColumn*>(g_ptr_array_index(def.table->columns, at));
            const MdbField& field = fields[std::size_t(at)];
            if (field.is_null) {
                cells << QVariant();
            } else if (isText(column->col_type)) {
                const QString text = QString::fromUtf8(buffers[std::size_t(at)].constData(),
                                                       lengths[std::size_t(at)]);
                if (text.size() > textLimit(column) || !isPlainText(text))
                    return damaged(m_state->path,
                                   QStringLiteral("“%1”表第 %2 行的“%3”不是有效的文字")
                                       .arg(table)
                                       .arg(number)
                                       .arg(wanted.at(cells.size())));
                cells << text;
            } else {
                const int expected = fixedSize(column->col_type);
                if (expected > 0 && field.siz != expected)
                    return damaged(m_state->path, QStringLiteral("“%1”表第 %2 行的“%3”长度不对")
                                                      .arg(table)
                                                      .arg(number)
                                                      .arg(wanted.at(cells.size())));
                cells << fixedValue(column->col_type,
                                    static_cast<const unsigned char*>(field.value), field.siz);
            }
        }
        ++read;
        if (!row(cells))
            return {};
    }
    // The table definition counts its rows; a page that could not be read or
    // does not belong to the table shows as a difference.
    if (read != qint64(def.table->num_rows))
        return damaged(m_state->path, QStringLiteral("“%1”表记有 %2 行，读出 %3 行")
                                          .arg(table)
                                          .arg(def.table->num_rows)
                                          .arg(read));
    return {};
}
