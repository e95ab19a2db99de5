#pragma once

#include "base/Result.h"
#include "store/Register.h"

#include <QByteArray>
#include <QString>

#include <sys/stat.h>

// The store folder held open as a directory, and every touch of a stored
// copy made relative to it (the openat family). A stored name is looked up
// in this folder and nowhere else: the folder itself is opened without
// following a link, no entry that is a link is ever followed, and only a
// regular file is opened, so a link, folder, FIFO or device planted in the
// store is never read, copied or removed through it.
class StoreFolder {
public:
    enum class Type { Missing, File, Link, Folder, Other };

    struct Entry {
        Type type = Type::Missing;
        struct stat st = {};
        int error = 0; // errno when the entry could not be looked at
    };

    // Fails with a clear text when the store folder is missing, is a link
    // or is not a folder.
    // A missing folder fails with ErrorCode::NotFound.
    static Result<StoreFolder> open(const Register& reg);
    // The same for a store folder by its path (another register's, which
    // may be an old one that is only read).
    static Result<StoreFolder> openPath(const QString& path);

    // The folder `name` inside this one, opened the same way (never through
    // a link); made first when missing and `create` is set.
    Result<StoreFolder> subfolder(const QString& name, bool create) const;

    StoreFolder(StoreFolder&& other) noexcept;
    StoreFolder& operator=(StoreFolder&& other) noexcept;
    StoreFolder(const StoreFolder&) = delete;
    StoreFolder& operator=(const StoreFolder&) = delete;
    ~StoreFolder();

    int descriptor() const { return m_fd; }
    const QString& path() const { return m_path; }
    // The path of `name` in this folder, for messages.
    QString pathOf(const QString& name) const;

    // What `name` is, without following a link. A name that is not a plain
    // file name is Missing (it never names anything in the store).
    Entry entry(const QString& name) const;
    // The same for any folder held open as `folder` (a backup's, say).
    static Entry entryIn(int folder, const QString& name);

    // A descriptor of the regular file `name`, open for reading, or -1 with
    // *error set (ELOOP for a link, EISDIR for a folder, EINVAL for a FIFO
    // or device, ENOENT for a missing or unusable name). The caller closes it.
    int openForRead(const QString& name, int* error) const;
    static int openForReadIn(int folder, const QString& name, int* error);
    // Creates `name` (which must not exist) for reading and writing.
    int create(const QString& name, int* error) const;

    // 0 or an errno. None of them follows a link or replaces an entry
    // except rename(), which is meant to (within the store).
    int remove(const QString& name) const;
    int renameNoReplace(const QString& from, const QString& to) const;
    // What renameNoReplace() falls back to where the file system has neither
    // a no-replace rename nor hard links.
    int renameOverClaim(const QString& from, const QString& to) const;
    int link(const QString& from, const QString& to) const;
    // A second name `to` in `target` (a folder on the same file system) for
    // the entry `from` of this one; never replaces an entry.
    int linkInto(const QString& from, const StoreFolder& target, const QString& to) const;
    int sync() const;

    // "是一个链接", … for a type other than File and Missing.
    static QString typeText(Type type);

private:
    StoreFolder(int fd, QString path) : m_fd(fd), m_path(std::move(path)) {}

    int m_fd = -1;
    QString m_path;
};
