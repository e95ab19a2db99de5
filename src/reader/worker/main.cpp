// Reads the content of registered files and writes it to standard output;
// run by Quorvel (see content/ReaderProcess.h), never by a person.
//
//   quorvel-reader text [--ocr] [--name NAME] FILE       the text, UTF-8
//   quorvel-reader pages [--name NAME] FILE              the number of pages
//   quorvel-reader render --page N --width W [--name NAME] FILE   a PNG
//   quorvel-reader serve                                 text of one file after another
//
// Exit status: 0 done, 2 failed (one line on standard error says why),
// 3 not a format this program reads, 4 only pictures of text and no --ocr.
//
// `serve` saves starting a process for every file of a long run: it reads
// lines "text LIMIT NAME PATH" (name and path percent-encoded), and answers
// each with a line "STATUS TEXT_BYTES REASON_BYTES" followed by the text and
// the reason, STATUS being the exit status above.

#include "reader/ContentReader.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <new>

#include <sys/resource.h>
#include <unistd.h>

namespace {

enum Exit { Done = 0, Failed = 2, NotRead = 3, NeedsOcr = 4 };

int fail(const QString& reason)
{
    std::fprintf(stderr, "%s\n", reason.toUtf8().constData());
    return Failed;
}

bool put(const QByteArray& bytes)
{
    return std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) ==
               size_t(bytes.size()) &&
           std::fflush(stdout) == 0;
}

void outOfTime(int)
{
    static const char reason[] = "读取超时\n";
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, reason, sizeof reason - 1);
    ::_exit(Failed);
}

// Seconds of processor time from now on that one file may take.
void allowSeconds(rlim_t seconds)
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    rlimit cpu{};
    ::getrlimit(RLIMIT_CPU, &cpu);
    cpu.rlim_cur = rlim_t(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + seconds;
    if (cpu.rlim_max != RLIM_INFINITY)
        cpu.rlim_cur = qMin(cpu.rlim_cur, cpu.rlim_max);
    ::setrlimit(RLIMIT_CPU, &cpu);
}

// Limits a hostile file cannot talk the readers out of. The caller also
// watches the clock and the output's size.
void limitSelf()
{
#ifndef __SANITIZE_ADDRESS__
    const rlimit memory{rlim_t(3) << 29, rlim_t(3) << 29}; // 1.5 GiB
    ::setrlimit(RLIMIT_AS, &memory);
#endif
    std::signal(SIGXCPU, outOfTime);
    allowSeconds(300);
}

// Recognition may use several cores; its time is counted on all.
void allowOcr()
{
    allowSeconds(2400);
    // Long work in the background: the desktop comes first.
    [[maybe_unused]] const int niced = ::nice(10);
}

int serve()
{
    char* line = nullptr;
    size_t capacity = 0;
    while (::getline(&line, &capacity, stdin) > 0) {
        const QList<QByteArray> fields = QByteArray(line).trimmed().split(' ');
        if (fields.size() != 4 || fields.at(0) != "text")
            return fail(QStringLiteral("无法理解的请求"));
        const qint64 limit = fields.at(1).toLongLong();
        const QString name = QString::fromUtf8(QByteArray::fromPercentEncoding(fields.at(2)));
        const QString path = QString::fromUtf8(QByteArray::fromPercentEncoding(fields.at(3)));
        allowSeconds(300);
        ReadText read;
        try {
            read = ContentReader::text(path, name, false);
        } catch (const std::bad_alloc&) {
            read = ReadText::failed(QStringLiteral("超出内存限制"));
        }
        QByteArray text = read.text.toUtf8();
        if (text.size() > limit)
            read = ReadText::failed(QStringLiteral("内容过多，超出上限"));
        int status = Done;
        switch (read.status) {
        case ReadText::Status::Text:
            break;
        case ReadText::Status::NotRead:
            status = NotRead;
            break;
        case ReadText::Status::NeedsOcr:
            status = NeedsOcr;
            break;
        case ReadText::Status::Failed:
            status = Failed;
            break;
        }
        if (status != Done)
            text.clear();
        const QByteArray reason = read.reason.toUtf8();
        if (!put(QByteArray::number(status) + ' ' + QByteArray::number(text.size()) + ' ' +
                 QByteArray::number(reason.size()) + '\n' + text + reason))
            break;
    }
    std::free(line);
    return Done;
}

int run(const QStringList& arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption ocr(QStringLiteral("ocr"));
    const QCommandLineOption name(QStringLiteral("name"), QString(), QStringLiteral("NAME"));
    const QCommandLineOption page(QStringLiteral("page"), QString(), QStringLiteral("N"));
    const QCommandLineOption width(QStringLiteral("width"), QString(), QStringLiteral("W"));
    parser.addOptions({ocr, name, page, width});
    parser.addPositionalArgument(QStringLiteral("command"), QString());
    parser.addPositionalArgument(QStringLiteral("file"), QString());
    limitSelf();
    if (parser.parse(arguments) &&
        parser.positionalArguments() == QStringList{QStringLiteral("serve")})
        return serve();
    if (!parser.parse(arguments) || parser.positionalArguments().size() != 2)
        return fail(QStringLiteral("用法：quorvel-reader text|pages|render [选项] 文件"));
    const QString command = parser.positionalArguments().at(0);
    const QString path = parser.positionalArguments().at(1);
    const QString fileName = parser.value(name);
    if (parser.isSet(ocr))
        allowOcr();

    if (command == u"text") {
        const ReadText read = ContentReader::text(path, fileName, parser.isSet(ocr));
        switch (read.status) {
        case ReadText::Status::Text:
            return put(read.text.toUtf8()) ? Done : fail(QStringLiteral("无法写出结果"));
        case ReadText::Status::NotRead:
            return NotRead;
        case ReadText::Status::NeedsOcr:
            return NeedsOcr;
        case ReadText::Status::Failed:
            return fail(read.reason);
        }
    } else if (command == u"pages") {
        const int pages = ContentReader::pageCount(path, fileName);
        if (pages < 0)
            return fail(QStringLiteral("文件已损坏"));
        return put(QByteArray::number(pages) + '\n') ? Done : Failed;
    } else if (command == u"render") {
        bool pageOk = false;
        bool widthOk = false;
        const int number = parser.value(page).toInt(&pageOk);
        const int pixels = parser.value(width).toInt(&widthOk);
        if (!pageOk || !widthOk || pixels < 1 || pixels > 10000)
            return fail(QStringLiteral("页码或宽度无效"));
        const QByteArray png = ContentReader::render(path, fileName, number, pixels);
        if (png.isEmpty()) {
            const ContentReader::Format format = ContentReader::formatOf(path, fileName);
            return format == ContentReader::Format::Pdf || format == ContentReader::Format::Image
                       ? fail(QStringLiteral("无法显示这一页"))
                       : NotRead;
        }
        return put(png) ? Done : Failed;
    }
    return fail(QStringLiteral("未知命令：%1").arg(command));
}

} // namespace

int main(int argc, char* argv[])
{
    // Standard error carries the reason of a failure and nothing else; the
    // libraries' warnings about damaged files are not it.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    QCoreApplication app(argc, argv);
    try {
        return run(QCoreApplication::arguments());
    } catch (const std::bad_alloc&) {
        return fail(QStringLiteral("超出内存限制"));
    }
}
