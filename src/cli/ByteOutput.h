#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QTextStream>

// What a listing prints, gathered as UTF-8 and handed on in large pieces:
// straight to the descriptor when the stream writes to a file or pipe
// (stdout), as text to any other stream (tests read a string). The first
// lines go out as they come, so a reader such as `head` sees them at once;
// later ones when a piece is full or has waited a moment.
class ByteOutput {
public:
    // Flushes what `out` holds already, so that it comes first.
    explicit ByteOutput(QTextStream& out);
    ~ByteOutput() { flush(); }
    ByteOutput(const ByteOutput&) = delete;
    ByteOutput& operator=(const ByteOutput&) = delete;

    // Bytes are appended to the buffer directly, one line at a time.
    QByteArray& buffer() { return m_buffer; }
    // After each line: hands the buffer on when it is due.
    void lineDone()
    {
        if (++m_lines <= eagerLines || m_buffer.size() >= pieceSize ||
            m_sinceFlush.hasExpired(waitMs))
            flush();
    }
    void flush();

    // Whether the reader went away (a closed pipe, when SIGPIPE is ignored)
    // or writing failed otherwise; nothing more is written after either.
    bool readerGone() const { return m_readerGone; }
    const QString& failure() const { return m_failure; }
    bool stopped() const { return m_readerGone || !m_failure.isEmpty(); }

private:
    static constexpr qsizetype pieceSize = 64 * 1024;
    static constexpr int eagerLines = 100;
    static constexpr int waitMs = 50;

    void writeToDescriptor();

    QTextStream& m_out;
    int m_descriptor = -1;
    QByteArray m_buffer;
    qint64 m_lines = 0;
    QElapsedTimer m_sinceFlush;
    bool m_readerGone = false;
    QString m_failure;
};
