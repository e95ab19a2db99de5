#pragma once

#include "base/Result.h"
#include "store/sql/ContentHash.h"

#include <QString>
#include <QStringList>

#include <utility>

// The file work under backup and restore, made relative to folders held
// open (the openat family): no link inside a register or a backup is ever
// followed, and only regular files are read.
namespace BackupFiles {

// A descriptor closed with its owner.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : m_fd(fd) {}
    Fd(Fd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    Fd& operator=(Fd&& other) noexcept;
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd();

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

// A folder by path (the one place a link is followed: the user chose it),
// created when `create` is set. Invalid with errno set on failure.
Fd openFolder(const QString& path, bool create);
// The folder `name` inside `parent`, never through a link; created first
// when `create` is set.
Fd openFolderIn(int parent, const QString& name, bool create);
// The regular file `name` in `folder` for reading, or invalid with *error set
// (as the store opens its copies: a name that is not one plain file name
// names nothing).
Fd openRegular(int folder, const QString& name, int* error);

// The names in `folder`; with `regularOnly`, of its regular files only, not
// looking through links.
QStringList names(int folder, bool regularOnly);
// Whether `name` in `folder` is a regular file of `size` bytes.
bool hasFile(int folder, const QString& name, qint64 size);

// Copies `source` (read from its start) into the new file `workingName` in
// `folder`, streamed; the size and hash of the bytes as they stand in the
// copy. Not flushed: one syncAll() after many copies costs far less than a
// flush each.
Result<ContentHash::Digest> copyTo(int source, int folder, const QString& workingName,
                                   const QString& shown);

// Flushes the whole file system that holds `folder`; 0 or errno.
int syncAll(int folder);

// A fresh working name: `prefix` and random letters.
QString workingName(const QString& prefix);

QString errorText(int error);

} // namespace BackupFiles
