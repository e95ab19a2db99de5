#include "store/sql/ContentHash.h"

#include "store/RegisterNames.h"
#include "store/sql/Sql.h"
#include "store/sql/SqlDialect.h"

#include <QFile>
#include <QSqlQuery>

#include <xxhash.h>

namespace ContentHash {

struct Hasher::State {
    XXH3_state_t* xxh = XXH3_createState();
    ~State() { XXH3_freeState(xxh); }
};

Hasher::Hasher() : m_state(std::make_unique<State>())
{
    if (!m_state->xxh)
        qFatal("out of memory for the content hash state");
    XXH3_128bits_reset(m_state->xxh);
}

Hasher::~Hasher() = default;

void Hasher::add(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return;
    XXH3_128bits_update(m_state->xxh, bytes.data(), static_cast<size_t>(bytes.size()));
    m_size += bytes.size();
}

QString Hasher::hex() const
{
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, XXH3_128bits_digest(m_state->xxh));
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(canonical.digest), sizeof(canonical.digest))
            .toHex());
}

Result<Digest> ofFile(const QString& path, const std::atomic<bool>* cancelled)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return Error{QStringLiteral("无法读取文件“%1”：%2").arg(path, file.errorString()), path};
    }
    return ofOpenFile(file.handle(), path, cancelled);
}

Result<Digest> ofOpenFile(int fd, const QString& shown, const std::atomic<bool>* cancelled)
{
    const QString& path = shown;
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) {
        return Error{QStringLiteral("无法读取文件“%1”：%2").arg(path, file.errorString()), path};
    }
    Hasher hasher;
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (;;) {
        if (cancelled && cancelled->load())
            return Error{QStringLiteral("已取消。"), path};
        const qint64 got = file.read(buffer.data(), buffer.size());
        if (got < 0) {
            return Error{QStringLiteral("读取文件“%1”时出错：%2").arg(path, file.errorString()),
                         path};
        }
        if (got == 0)
            break;
        hasher.add(QByteArrayView(buffer.constData(), got));
    }
    return Digest{hasher.size(), hasher.hex()};
}

Status record(const QSqlDatabase& db, qint64 rowid, qint64 size, const QString& hash)
{
    const SqlDialect& dialect = SqlDialect::of(db);
    // The stored name is taken from the record itself, so the digest is tied
    // to the copy it describes.
    const QString select =
        QStringLiteral("SELECT %1, %2, %3, %4 FROM %5 WHERE %1 = ?")
            .arg(dialect.identity(), Sql::identifier(RegisterNames::storedName), dialect.number(),
                 dialect.text(), Sql::identifier(RegisterNames::recordTable));
    Result<QSqlQuery> query = Sql::run(
        db, dialect.upsert(table, {recordColumn, storedNameColumn, sizeColumn, hashColumn}, select),
        {size, hash, rowid});
    if (!query)
        return query.error();
    if (query->numRowsAffected() != 1) {
        return Error{QStringLiteral("无法记录校验值：记录不存在。"),
                     QStringLiteral("record %1").arg(rowid)};
    }
    return {};
}

Result<std::optional<Digest>> recorded(const QSqlDatabase& db, qint64 rowid)
{
    const SqlDialect& dialect = SqlDialect::of(db);
    const QString sql =
        QStringLiteral("SELECT h.%1, h.%2 FROM %3 h JOIN %4 r ON %7 = h.%5 WHERE h.%5 = ? AND %6")
            .arg(Sql::identifier(sizeColumn), Sql::identifier(hashColumn), Sql::identifier(table),
                 Sql::identifier(RegisterNames::recordTable), Sql::identifier(recordColumn),
                 dialect.same(QStringLiteral("r.") + Sql::identifier(RegisterNames::storedName),
                              QStringLiteral("h.") + Sql::identifier(storedNameColumn)))
            .arg(dialect.identity(QStringLiteral("r.")));
    Result<QSqlQuery> query = Sql::run(db, sql, {rowid});
    if (!query)
        return query.error();
    if (!query->next())
        return std::optional<Digest>();
    return std::optional<Digest>(Digest{query->value(0).toLongLong(), query->value(1).toString()});
}

Result<QList<SameContent>> recordsWithContent(const QSqlDatabase& db, qint64 size,
                                              const QString& hash, int limit)
{
    const SqlDialect& dialect = SqlDialect::of(db);
    // The hash index walks the digests in record order and stops after
    // `limit`; only those few are sorted by serial.
    const QString sql =
        QStringLiteral("SELECT * FROM (SELECT %10, r.%1, r.%2, r.%3 FROM %4 h JOIN %5 r ON %10 = "
                       "h.%6 WHERE h.%7 = %11 AND h.%8 = %12 AND %9 ORDER BY h.%6 LIMIT %13) AS "
                       "found ORDER BY 2%14, 1")
            .arg(Sql::identifier(RegisterNames::serial), Sql::identifier(RegisterNames::fileName),
                 Sql::identifier(RegisterNames::storedName), Sql::identifier(table),
                 Sql::identifier(RegisterNames::recordTable), Sql::identifier(recordColumn),
                 Sql::identifier(hashColumn), Sql::identifier(sizeColumn),
                 dialect.same(QStringLiteral("r.") + Sql::identifier(RegisterNames::storedName),
                              QStringLiteral("h.") + Sql::identifier(storedNameColumn)))
            .arg(dialect.identity(QStringLiteral("r.")), dialect.text(), dialect.number(),
                 dialect.count(), dialect.nullsFirst());
    Result<QSqlQuery> query = Sql::run(db, sql, {hash.toLower(), size, limit});
    if (!query)
        return query.error();
    QList<SameContent> found;
    while (query->next()) {
        found.append({query->value(0).toLongLong(), query->value(1), query->value(2).toString(),
                      query->value(3).toString()});
    }
    return found;
}

} // namespace ContentHash
