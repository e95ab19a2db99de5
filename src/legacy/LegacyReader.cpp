#include "legacy/LegacyReader.h"

#include <QFile>

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

} // namespace

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
        return Error{QStringLiteral("旧登记库“%1”已损坏，无法读取其中的表。").arg(path), QString()};
    return LegacyReader(std::move(state));
}

bool LegacyReader::hasTable(const QString& table) const
{
    return !columns(table).isEmpty();
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
        return Error{QStringLiteral("旧登记库中没有“%1”表。").arg(table), m_state->path};
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
    while (mdb_fetch_row(def.table)) {
        // The row just fetched is still in the page buffer.
        int start = 0;
        size_t size = 0;
        if (mdb_find_row(handle, int(def.table->cur_row - 1), &start, &size) != 0)
            return Error{
                QStringLiteral("旧登记库“%1”的“%2”表有损坏的行。").arg(m_state->path, table),
                QString()};
        const int cracked = mdb_crack_row(def.table, start, size, fields.data());
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
                cells << QString::fromUtf8(buffers[std::size_t(at)].constData(),
                                           lengths[std::size_t(at)]);
            } else {
                cells << fixedValue(column->col_type,
                                    static_cast<const unsigned char*>(field.value), field.siz);
            }
        }
        if (!row(cells))
            break;
    }
    return {};
}
