#include "cli/ByteOutput.h"

#include <QFileDevice>

#include <cerrno>
#include <cstring>
#include <unistd.h>

ByteOutput::ByteOutput(QTextStream& out) : m_out(out)
{
    m_out.flush();
    if (auto* file = qobject_cast<QFileDevice*>(m_out.device())) {
        file->flush();
        m_descriptor = file->handle();
    }
    m_buffer.reserve(pieceSize + 4096);
    m_sinceFlush.start();
}

void ByteOutput::flush()
{
    m_sinceFlush.start();
    if (m_buffer.isEmpty() || stopped()) {
        m_buffer.resize(0);
        return;
    }
    if (m_descriptor >= 0) {
        writeToDescriptor();
    } else if (m_out.device()) {
        if (m_out.device()->write(m_buffer) != m_buffer.size())
            m_failure = m_out.device()->errorString();
    } else {
        m_out << QString::fromUtf8(m_buffer);
    }
    m_buffer.resize(0);
}

void ByteOutput::writeToDescriptor()
{
    const char* data = m_buffer.constData();
    qsizetype left = m_buffer.size();
    while (left > 0) {
        const ssize_t written = ::write(m_descriptor, data, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0) {
            // A closed pipe ends the program by SIGPIPE unless that is
            // ignored; then the listing stops here, quietly.
            if (errno == EPIPE)
                m_readerGone = true;
            else
                m_failure = QString::fromLocal8Bit(std::strerror(errno));
            return;
        }
        data += written;
        left -= written;
    }
}
