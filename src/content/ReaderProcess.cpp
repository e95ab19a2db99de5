#include "content/ReaderProcess.h"

#include "base/HelperProgram.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>

#include <functional>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString readerName = QStringLiteral("quorvel-reader");

QString readerProgram()
{
    return helperProgram(readerName, "QUORVEL_READER");
}

// One run of the reader program, watched through its pipes. Plain POSIX
// rather than QProcess: callers are threads without an event loop, and a
// reader kept for many files must outlive none of them.
class Reader {
public:
    enum class Read { Complete, Ended, TimedOut, TooMuch };

    ~Reader()
    {
        for (const int fd : {m_in, m_out, m_err}) {
            if (fd >= 0)
                ::close(fd);
        }
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }

    // Nothing, and `error` says why, when the program cannot be started.
    static std::unique_ptr<Reader> start(const QStringList& arguments, QString* error)
    {
        const QString program = readerProgram();
        if (program.isEmpty()) {
            *error = QStringLiteral("找不到读取程序 %1，Quorvel 的安装可能不完整").arg(readerName);
            return nullptr;
        }
        std::vector<QByteArray> words{QFile::encodeName(program)};
        for (const QString& argument : arguments)
            words.push_back(argument.toUtf8());
        std::vector<char*> argv;
        for (QByteArray& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        // A reader that ended leaves a closed pipe: writing to it must fail,
        // not end this program (QProcess does the same).
        static const bool sigpipeIgnored = [] {
            struct sigaction current {};
            ::sigaction(SIGPIPE, nullptr, &current);
            if (current.sa_handler == SIG_DFL)
                ::signal(SIGPIPE, SIG_IGN);
            return true;
        }();
        Q_UNUSED(sigpipeIgnored);
        int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
        if (::pipe2(in, O_CLOEXEC) != 0)
            return nullptr;
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
            for (const int fd : {in[0], in[1], out[0], out[1], err[0], err[1]})
                ::close(fd);
            return nullptr;
        }
        auto reader = std::make_unique<Reader>();
        reader->m_pid = ::fork();
        if (reader->m_pid == 0) {
            // Only async-signal-safe calls between fork and exec.
            ::dup2(in[0], STDIN_FILENO);
            ::dup2(out[1], STDOUT_FILENO);
            ::dup2(err[1], STDERR_FILENO);
            // The program limits itself as well; these hold from its first step.
#ifndef __SANITIZE_ADDRESS__
            const rlimit memory{rlim_t(3) << 29, rlim_t(3) << 29};
            ::setrlimit(RLIMIT_AS, &memory);
#endif
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        ::close(err[1]);
        reader->m_in = in[1];
        reader->m_out = out[0];
        reader->m_err = err[0];
        if (reader->m_pid < 0) {
            *error = QStringLiteral("无法启动读取程序 %1").arg(program);
            return nullptr;
        }
        ::fcntl(reader->m_in, F_SETFL, O_NONBLOCK);
        return reader;
    }

    bool send(const QByteArray& bytes)
    {
        qsizetype sent = 0;
        while (sent < bytes.size()) {
            pollfd ready{m_in, POLLOUT, 0};
            if (::poll(&ready, 1, 1000) <= 0)
                return false;
            const ssize_t done =
                ::write(m_in, bytes.constData() + sent, size_t(bytes.size() - sent));
            if (done < 0)
                return false;
            sent += done;
        }
        return true;
    }

    void closeInput()
    {
        ::close(m_in);
        m_in = -1;
    }

    // Reads standard output into `out` until `complete` says it holds an
    // answer or the program closes it; standard error is kept, its end only.
    Read read(QByteArray& out, const std::function<bool(const QByteArray&)>& complete, qint64 limit,
              const QDeadlineTimer& deadline)
    {
        char chunk[1 << 16];
        while (!complete(out)) {
            if (out.size() > limit)
                return Read::TooMuch;
            pollfd ready[2] = {{m_out, POLLIN, 0}, {m_err, POLLIN, 0}};
            const int waited = ::poll(ready, m_err >= 0 ? 2 : 1,
                                      int(qMin<qint64>(deadline.remainingTime(), 1000)));
            if (deadline.hasExpired())
                return Read::TimedOut;
            if (waited <= 0)
                continue;
            if (m_err >= 0 && ready[1].revents) {
                const ssize_t got = ::read(m_err, chunk, sizeof chunk);
                if (got <= 0) {
                    ::close(m_err);
                    m_err = -1;
                } else {
                    m_errors.append(chunk, got);
                    if (m_errors.size() > 4096)
                        m_errors = m_errors.right(2048);
                }
            }
            if (ready[0].revents) {
                const ssize_t got = ::read(m_out, chunk, sizeof chunk);
                if (got <= 0)
                    return complete(out) ? Read::Complete : Read::Ended;
                out.append(chunk, got);
            }
        }
        return Read::Complete;
    }

    // The exit status once the program has ended, -1 when a signal ended
    // it; the program is killed when it has not ended by `deadline`.
    int finish(const QDeadlineTimer& deadline)
    {
        int status = 0;
        while (::waitpid(m_pid, &status, WNOHANG) == 0) {
            if (deadline.hasExpired())
                ::kill(m_pid, SIGKILL);
            ::usleep(2000);
        }
        m_pid = -1;
        QByteArray rest;
        read(
            rest, [](const QByteArray&) { return false; }, 0, QDeadlineTimer(0));
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // The program's last line on standard error.
    QString reason() const
    {
        return QString::fromUtf8(m_errors.trimmed().split('\n').back().trimmed()).left(200);
    }

private:
    pid_t m_pid = -1;
    int m_in = -1;
    int m_out = -1;
    int m_err = -1;
    QByteArray m_errors;
};

const QString timedOut = QStringLiteral("读取超时");
const QString tooMuch = QStringLiteral("内容过多，超出上限");
const QString crashed = QStringLiteral("读取程序意外结束，文件可能已损坏");

struct Run {
    int status = -1; // exit status; -1 for a signal
    QByteArray output;
    QString failure; // set when the run gave no status
    QString reason;
};

// One program run for one command.
Run runOnce(const QStringList& arguments, int seconds, qint64 outputBytes)
{
    Run run;
    std::unique_ptr<Reader> reader = Reader::start(arguments, &run.failure);
    if (!reader)
        return run;
    reader->closeInput();
    const QDeadlineTimer deadline(qint64(seconds) * 1000);
    const Reader::Read read = reader->read(
        run.output, [](const QByteArray&) { return false; }, outputBytes, deadline);
    if (read == Reader::Read::TimedOut || read == Reader::Read::TooMuch) {
        run.failure = read == Reader::Read::TimedOut ? timedOut : tooMuch;
        return run;
    }
    run.status = reader->finish(deadline);
    run.reason = reader->reason();
    if (run.status < 0)
        run.failure = deadline.hasExpired() ? timedOut : crashed;
    return run;
}

// The reader a thread keeps for reading text one file after another; a new
// one after a failure, and after some files, so that what one file left in
// its memory does not stay for long.
struct Session {
    std::unique_ptr<Reader> reader;
    int files = 0;
};
thread_local Session session;
constexpr int filesPerReader = 200;

// The name the file was registered under, then the file, which no leading
// dash can turn into an option.
QStringList named(const QString& fileName, const QString& path)
{
    QStringList arguments;
    if (!fileName.isEmpty())
        arguments << QStringLiteral("--name") << fileName;
    return arguments << QStringLiteral("--") << path;
}

ReadOutcome outcome(int status, QByteArray text, const QString& reason)
{
    using Kind = ReadOutcome::Kind;
    switch (status) {
    case 0:
        return {Kind::Text, QString::fromUtf8(text), QString()};
    case 3:
        return {Kind::NotRead, QString(), QString()};
    case 4:
        return {Kind::NeedsOcr, QString(), QString()};
    default:
        return {Kind::Skipped, QString(),
                reason.isEmpty() ? (status < 0 ? crashed : QStringLiteral("无法读取")) : reason};
    }
}

// The answer's first line and whether all it announces has come.
struct Answer {
    bool complete = false;
    int status = -1;
    qint64 textBytes = 0;
    qint64 reasonBytes = 0;
    qsizetype start = 0;
};

Answer answerIn(const QByteArray& bytes)
{
    Answer answer;
    const qsizetype line = bytes.indexOf('\n');
    if (line < 0)
        return answer;
    const QList<QByteArray> fields = bytes.left(line).split(' ');
    if (fields.size() != 3)
        return answer;
    answer.status = fields.at(0).toInt();
    answer.textBytes = fields.at(1).toLongLong();
    answer.reasonBytes = fields.at(2).toLongLong();
    answer.start = line + 1;
    answer.complete = bytes.size() >= answer.start + answer.textBytes + answer.reasonBytes;
    return answer;
}

ReadOutcome readInSession(const QString& path, const QString& fileName, const ReaderLimits& limits)
{
    if (!session.reader || session.files >= filesPerReader) {
        session = {};
        QString error;
        session.reader = Reader::start({QStringLiteral("serve")}, &error);
        if (!session.reader)
            return {ReadOutcome::Kind::Skipped, QString(), error};
    }
    ++session.files;
    Reader& reader = *session.reader;
    const QByteArray request = "text " + QByteArray::number(limits.outputBytes) + ' ' +
                               fileName.toUtf8().toPercentEncoding() + ' ' +
                               path.toUtf8().toPercentEncoding() + '\n';
    const QDeadlineTimer deadline(qint64(limits.seconds) * 1000);
    QByteArray bytes;
    const Reader::Read read =
        reader.send(request)
            ? reader.read(
                  bytes, [](const QByteArray& got) { return answerIn(got).complete; },
                  limits.outputBytes + 4096, deadline)
            : Reader::Read::Ended;
    if (read != Reader::Read::Complete) {
        // What the reader said last before it ended: the memory or time it ran out of.
        const int status = read == Reader::Read::Ended ? reader.finish(deadline) : -1;
        const QString said = read == Reader::Read::Ended ? reader.reason() : QString();
        session = {};
        if (read == Reader::Read::TimedOut)
            return {ReadOutcome::Kind::Skipped, QString(), timedOut};
        if (read == Reader::Read::TooMuch)
            return {ReadOutcome::Kind::Skipped, QString(), tooMuch};
        return outcome(status == 0 ? -1 : status, QByteArray(), said);
    }
    const Answer answer = answerIn(bytes);
    if (answer.status == 2)
        session = {}; // a reader that failed once is not trusted with the next file
    return outcome(
        answer.status, bytes.mid(answer.start, answer.textBytes),
        QString::fromUtf8(bytes.mid(answer.start + answer.textBytes, answer.reasonBytes)));
}

} // namespace

Status readerAvailable()
{
    if (readerProgram().isEmpty() || !QFileInfo(readerProgram()).isExecutable())
        return Error{QStringLiteral("找不到读取程序 %1，Quorvel 的安装可能不完整").arg(readerName),
                     readerProgram()};
    return {};
}

ReadOutcome readContent(const QString& path, const QString& fileName, bool ocr,
                        const ReaderLimits& limits)
{
    // Recognition runs at a lower priority, which a process cannot undo
    // for the files after: a program of its own each time, whose start
    // costs nothing beside the recognition.
    if (!ocr)
        return readInSession(path, fileName, limits);
    const Run run = runOnce(QStringList{QStringLiteral("text"), QStringLiteral("--ocr")}
                                << named(fileName, path),
                            limits.ocrSeconds, limits.outputBytes);
    if (!run.failure.isEmpty())
        return {ReadOutcome::Kind::Skipped, QString(), run.failure};
    return outcome(run.status, run.output, run.reason);
}

Result<int> pageCount(const QString& path, const QString& fileName)
{
    const Run run = runOnce(QStringList{QStringLiteral("pages")} << named(fileName, path), 60, 64);
    bool ok = false;
    const int pages = run.output.trimmed().toInt(&ok);
    if (run.failure.isEmpty() && run.status == 0 && ok)
        return pages;
    return Error{run.failure.isEmpty() ? outcome(run.status, {}, run.reason).reason : run.failure,
                 QString()};
}

Result<QByteArray> renderPage(const QString& path, const QString& fileName, int page, int width)
{
    const Run run = runOnce(QStringList{QStringLiteral("render"), QStringLiteral("--page"),
                                        QString::number(page), QStringLiteral("--width"),
                                        QString::number(width)}
                                << named(fileName, path),
                            60, qint64(256) << 20);
    if (run.failure.isEmpty() && run.status == 0 && run.output.startsWith("\x89PNG\r\n\x1A\n"))
        return run.output;
    if (run.failure.isEmpty() && run.status == 3)
        return Error{QStringLiteral("这种文件没有可显示的页面"), QString()};
    return Error{run.failure.isEmpty() ? outcome(run.status, {}, run.reason).reason : run.failure,
                 QString()};
}
