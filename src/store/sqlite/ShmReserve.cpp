#include "store/sqlite/ShmReserve.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace ShmReserve {

namespace {

// Our file object: the default layer's file follows it in the same block.
struct alignas(8) File {
    sqlite3_file base;
    const char* path;            // the database file's name, valid until xClose
    unsigned long long reserved; // regions 0..63 already reserved
    sqlite3_file* real() { return reinterpret_cast<sqlite3_file*>(this + 1); }
};

sqlite3_vfs* defaultVfs = nullptr;
sqlite3_vfs reservingVfs;

File* of(sqlite3_file* file)
{
    return reinterpret_cast<File*>(file);
}

const sqlite3_io_methods* realMethods(sqlite3_file* file)
{
    return of(file)->real()->pMethods;
}

// SQLite's own descriptor of the -shm file. The file must not be opened
// again here: closing any descriptor of a file drops every POSIX lock this
// process holds on it, SQLite's included, and another program would then
// take the index for unused and truncate it under our map.
int shmDescriptor(const char* shmPath)
{
    struct stat wanted;
    if (::stat(shmPath, &wanted) != 0)
        return -1;
    DIR* descriptors = ::opendir("/proc/self/fd");
    if (descriptors == nullptr)
        return -1;
    int found = -1;
    while (const dirent* entry = ::readdir(descriptors)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        struct stat st;
        if (end == entry->d_name || *end != '\0' || fd == ::dirfd(descriptors) ||
            ::fstat(int(fd), &st) != 0)
            continue;
        if (st.st_dev == wanted.st_dev && st.st_ino == wanted.st_ino) {
            found = int(fd);
            break;
        }
    }
    ::closedir(descriptors);
    return found;
}

// Allocates the blocks of one region of the -shm file. Zero-filled blocks go
// only where there are holes: what other programs wrote stays. The region is
// mapped by this connection, so SQLite keeps its descriptor open meanwhile.
int reserve(File* file, int region, int regionSize)
{
    if (region < 64 && (file->reserved >> region & 1u) != 0)
        return SQLITE_OK;
    char shm[4096];
    if (std::snprintf(shm, sizeof shm, "%s-shm", file->path) >= int(sizeof shm))
        return SQLITE_OK;
    const int fd = shmDescriptor(shm);
    if (fd < 0)
        return SQLITE_OK;
    int result = 0;
    do {
        result = ::fallocate(fd, 0, off_t(region) * regionSize, regionSize);
    } while (result != 0 && errno == EINTR);
    const int error = result == 0 ? 0 : errno;
    if (error == ENOSPC || error == EDQUOT)
        return SQLITE_FULL;
    // Other errors (a read-only index, a file system without fallocate)
    // leave things as they were.
    if (error == 0 && region < 64)
        file->reserved |= 1ull << region;
    return SQLITE_OK;
}

int xClose(sqlite3_file* file)
{
    const int rc = realMethods(file)->xClose(of(file)->real());
    file->pMethods = nullptr;
    return rc;
}
int xRead(sqlite3_file* f, void* buffer, int amount, sqlite3_int64 offset)
{
    return realMethods(f)->xRead(of(f)->real(), buffer, amount, offset);
}
int xWrite(sqlite3_file* f, const void* buffer, int amount, sqlite3_int64 offset)
{
    return realMethods(f)->xWrite(of(f)->real(), buffer, amount, offset);
}
int xTruncate(sqlite3_file* f, sqlite3_int64 size)
{
    return realMethods(f)->xTruncate(of(f)->real(), size);
}
int xSync(sqlite3_file* f, int flags)
{
    return realMethods(f)->xSync(of(f)->real(), flags);
}
int xFileSize(sqlite3_file* f, sqlite3_int64* size)
{
    return realMethods(f)->xFileSize(of(f)->real(), size);
}
int xLock(sqlite3_file* f, int level)
{
    return realMethods(f)->xLock(of(f)->real(), level);
}
int xUnlock(sqlite3_file* f, int level)
{
    return realMethods(f)->xUnlock(of(f)->real(), level);
}
int xCheckReservedLock(sqlite3_file* f, int* out)
{
    return realMethods(f)->xCheckReservedLock(of(f)->real(), out);
}
int xFileControl(sqlite3_file* f, int op, void* arg)
{
    return realMethods(f)->xFileControl(of(f)->real(), op, arg);
}
int xSectorSize(sqlite3_file* f)
{
    return realMethods(f)->xSectorSize(of(f)->real());
}
int xDeviceCharacteristics(sqlite3_file* f)
{
    return realMethods(f)->xDeviceCharacteristics(of(f)->real());
}
int xShmMap(sqlite3_file* f, int region, int regionSize, int extend, void volatile** mapped)
{
    const int rc = realMethods(f)->xShmMap(of(f)->real(), region, regionSize, extend, mapped);
    // Reserved after the default layer mapped it: the first program to open
    // the index truncates it while mapping.
    if (rc != SQLITE_OK || *mapped == nullptr)
        return rc;
    return reserve(of(f), region, regionSize);
}
int xShmLock(sqlite3_file* f, int offset, int n, int flags)
{
    return realMethods(f)->xShmLock(of(f)->real(), offset, n, flags);
}
void xShmBarrier(sqlite3_file* f)
{
    realMethods(f)->xShmBarrier(of(f)->real());
}
int xShmUnmap(sqlite3_file* f, int deleteFlag)
{
    of(f)->reserved = 0;
    return realMethods(f)->xShmUnmap(of(f)->real(), deleteFlag);
}
int xFetch(sqlite3_file* f, sqlite3_int64 offset, int amount, void** pp)
{
    return realMethods(f)->xFetch(of(f)->real(), offset, amount, pp);
}
int xUnfetch(sqlite3_file* f, sqlite3_int64 offset, void* p)
{
    return realMethods(f)->xUnfetch(of(f)->real(), offset, p);
}

// Files with a shared-memory index (main databases), and all others.
const sqlite3_io_methods withShm = {
    3,
    xClose,
    xRead,
    xWrite,
    xTruncate,
    xSync,
    xFileSize,
    xLock,
    xUnlock,
    xCheckReservedLock,
    xFileControl,
    xSectorSize,
    xDeviceCharacteristics,
    xShmMap,
    xShmLock,
    xShmBarrier,
    xShmUnmap,
    xFetch,
    xUnfetch,
};
const sqlite3_io_methods plain = {
    1,
    xClose,
    xRead,
    xWrite,
    xTruncate,
    xSync,
    xFileSize,
    xLock,
    xUnlock,
    xCheckReservedLock,
    xFileControl,
    xSectorSize,
    xDeviceCharacteristics,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

int xOpen(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* outFlags)
{
    File* ours = of(file);
    ours->base.pMethods = nullptr;
    ours->path = name;
    ours->reserved = 0;
    const int rc = defaultVfs->xOpen(defaultVfs, name, ours->real(), flags, outFlags);
    const sqlite3_io_methods* real = ours->real()->pMethods;
    if (real == nullptr)
        return rc;
    const bool shm = name != nullptr && (flags & SQLITE_OPEN_MAIN_DB) != 0 && real->iVersion >= 3 &&
                     real->xShmMap != nullptr;
    ours->base.pMethods = shm ? &withShm : &plain;
    return rc;
}

} // namespace

void install()
{
    static std::once_flag once;
    std::call_once(once, [] {
        defaultVfs = sqlite3_vfs_find(nullptr);
        if (defaultVfs == nullptr || std::strcmp(defaultVfs->zName, "unix") != 0)
            return;
        reservingVfs = *defaultVfs;
        reservingVfs.zName = "quorvel-unix";
        reservingVfs.szOsFile = int(sizeof(File)) + defaultVfs->szOsFile;
        reservingVfs.pNext = nullptr;
        reservingVfs.xOpen = xOpen;
        sqlite3_vfs_register(&reservingVfs, 1);
    });
}

} // namespace ShmReserve
