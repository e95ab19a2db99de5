#include "reader/ZipEntries.h"

#include <archive.h>
#include <archive_entry.h>

#include <QFile>

#include <memory>

namespace ZipEntries {

std::optional<Entries> read(const QString& path, const std::function<bool(const QString&)>& wanted,
                            qint64 limit)
{
    std::unique_ptr<archive, decltype(&archive_read_free)> zip(archive_read_new(),
                                                               archive_read_free);
    archive_read_support_format_zip(zip.get());
    if (archive_read_open_filename(zip.get(), QFile::encodeName(path).constData(), 1 << 16) !=
        ARCHIVE_OK)
        return std::nullopt;
    Entries entries;
    qint64 total = 0;
    archive_entry* entry = nullptr;
    int status = ARCHIVE_OK;
    while ((status = archive_read_next_header(zip.get(), &entry)) == ARCHIVE_OK) {
        const char* utf8 = archive_entry_pathname_utf8(entry);
        const QString name = QString::fromUtf8(utf8 ? utf8 : archive_entry_pathname(entry));
        if (!wanted(name))
            continue;
        QByteArray& bytes = entries.wanted[name];
        char chunk[1 << 16];
        la_ssize_t got = 0;
        while ((got = archive_read_data(zip.get(), chunk, sizeof chunk)) > 0) {
            total += got;
            if (total > limit) {
                entries.tooLarge = true;
                return entries;
            }
            bytes.append(chunk, got);
        }
        if (got < 0)
            return std::nullopt;
    }
    if (status != ARCHIVE_EOF)
        return std::nullopt;
    return entries;
}

} // namespace ZipEntries
