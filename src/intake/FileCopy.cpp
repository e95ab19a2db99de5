#include "intake/FileCopy.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace FileCopy {

namespace {

// Bytes the kernel copies per call: large enough to cost few calls, small
// enough for progress and cancelling to feel immediate.
constexpr qint64 rangeStep = qint64(32) << 20;
constexpr qint64 bufferLimit = qint64(1) << 20;
constexpr qint64 bufferFloor = qint64(64) << 10;
// Below this much unflushed data, the final fsync is as quick as starting write-back early.
constexpr qint64 writeBackStep = qint64(8) << 20;

// copy_file_range refuses these file pairs; plain reads and writes still work.
bool copyRangeUnsupported(int error)
{
    return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP ||
           error == EBADF || error == ETXTBSY;
}

class Copier {
public:
    Copier(int source, int target, qint64 expected, ContentHash::Hasher& hasher)
        : m_source(source), m_target(target), m_hasher(hasher),
          m_bufferSize(std::clamp(expected, bufferFloor, bufferLimit))
    {
    }

    qint64 written() const { return m_written; }

    // One step done in the kernel: returns the bytes copied, 0 at the end of
    // the source or where the kernel will not copy, or -errno.
    qint64 stepInKernel()
    {
        for (;;) {
            const ssize_t n =
                ::copy_file_range(m_source, nullptr, m_target, nullptr, size_t(rangeStep), 0);
            if (n >= 0)
                return advance(n, false);
            if (errno != EINTR)
                return -errno;
        }
    }

    // One step through the buffer, for what the kernel will not copy.
    qint64 stepThroughBuffer()
    {
        ssize_t got;
        do {
            got = ::read(m_source, buffer(), size_t(m_bufferSize));
        } while (got < 0 && errno == EINTR);
        if (got < 0)
            return -errno;
        for (ssize_t done = 0; done < got;) {
            const ssize_t n = ::write(m_target, buffer() + done, size_t(got - done));
            if (n < 0 && errno != EINTR)
                return -errno;
            if (n > 0)
                done += n;
        }
        m_hasher.add(QByteArrayView(buffer(), got));
        m_hashed += got;
        return advance(got, true);
    }

private:
    char* buffer()
    {
        // Not zero-filled: every byte used is read into first.
        if (!m_buffer)
            m_buffer.reset(new char[size_t(m_bufferSize)]);
        return m_buffer.get();
    }

    qint64 advance(qint64 bytes, bool alreadyHashed)
    {
        m_written += bytes;
        if (!alreadyHashed) {
            if (const int error = hashCopiedBytes(); error != 0)
                return -error;
        }
        if (m_written - m_flushed >= writeBackStep) {
            // Only starts the write-back; the caller's fsync still waits for it.
            ::sync_file_range(m_target, m_flushed, m_written - m_flushed, SYNC_FILE_RANGE_WRITE);
            m_flushed = m_written;
        }
        return bytes;
    }

    // Reads back what the kernel put into the copy (from the page cache), so
    // the hash is the copy's own.
    int hashCopiedBytes()
    {
        while (m_hashed < m_written) {
            const qint64 want = std::min(m_bufferSize, m_written - m_hashed);
            const ssize_t got = ::pread(m_target, buffer(), size_t(want), m_hashed);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                return errno;
            if (got == 0)
                return EIO;
            m_hasher.add(QByteArrayView(buffer(), got));
            m_hashed += got;
        }
        return 0;
    }

    int m_source;
    int m_target;
    ContentHash::Hasher& m_hasher;
    qint64 m_bufferSize;
    std::unique_ptr<char[]> m_buffer;
    qint64 m_written = 0;
    qint64 m_hashed = 0;
    qint64 m_flushed = 0;
};

} // namespace

int copy(int source, int target, qint64 expected, ContentHash::Hasher& hasher,
         const std::function<void(qint64)>& report, const std::atomic_bool* cancel)
{
    Copier copier(source, target, expected, hasher);
    bool inKernel = true;
    for (;;) {
        // Once every expected byte is there, only the end of file is left to see.
        if (cancel && cancel->load() && copier.written() < expected)
            return ECANCELED;
        qint64 step = inKernel ? copier.stepInKernel() : copier.stepThroughBuffer();
        if (inKernel && (step == 0 || (step < 0 && copyRangeUnsupported(int(-step))))) {
            // Some file systems answer 0 rather than an error: a plain read
            // tells the end of the file from a refusal.
            inKernel = false;
            continue;
        }
        if (step < 0)
            return int(-step);
        if (step == 0)
            return 0;
        if (report)
            report(copier.written());
    }
}

} // namespace FileCopy
