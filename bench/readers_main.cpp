// quorvel-bench-readers [--count 20] [--pictures 3] [--runs 3]
// Reading content through the reader program (one kept for many files)
// beside the usual command for the same files, a process per file:
// pdftotext for PDFs, unzip -p and an XML parse for docx, tesseract for
// pictures; and the first file of a new reader beside one pdftotext.
#include "content/ReaderProcess.h"

#include "BenchTable.h"
#include "BenchTiming.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <cstdio>
#include <thread>

namespace {

QByteArray output(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!process.waitForFinished(600000) || process.exitCode() != 0)
        qFatal("%s failed", qPrintable(program));
    return process.readAllStandardOutput();
}

void readAll(const QStringList& files, bool ocr)
{
    for (const QString& file : files) {
        const ReadOutcome outcome = readContent(file, QString(), ocr);
        if (outcome.kind != ReadOutcome::Kind::Text || outcome.text.isEmpty())
            qFatal("%s: %s", qPrintable(file), qPrintable(outcome.reason));
    }
}

// The least a docx asks for: its text part unpacked, and the characters of
// its runs collected.
void unzipAndParse(const QStringList& files)
{
    for (const QString& file : files) {
        QXmlStreamReader xml(
            output(QStringLiteral("unzip"),
                   {QStringLiteral("-p"), file, QStringLiteral("word/document.xml")}));
        QString text;
        while (!xml.atEnd()) {
            if (xml.readNext() == QXmlStreamReader::Characters)
                text += xml.text();
        }
        if (text.isEmpty())
            qFatal("no text in %s", qPrintable(file));
    }
}

QStringList drawPictures(const QString& dir, int count)
{
    QStringList files;
    for (int i = 0; i < count; ++i) {
        QImage picture(1600, 1000, QImage::Format_RGB32);
        picture.fill(Qt::white);
        QPainter painter(&picture);
        painter.setFont(QFont(QStringLiteral("Noto Sans CJK SC"), 28));
        painter.setPen(Qt::black);
        QString text;
        for (int line = 0; line < 12; ++line)
            text += QStringLiteral("第%1页 第%2行：年度预算报告与会议纪要 Invoice %3\n")
                        .arg(i + 1)
                        .arg(line + 1)
                        .arg(1000 * i + line);
        painter.drawText(QRect(40, 40, 1520, 920), Qt::AlignLeft, text);
        painter.end();
        files << QDir(dir).filePath(QStringLiteral("picture%1.png").arg(i));
        picture.save(files.back());
    }
    return files;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption countOption(QStringLiteral("count"), QString(), QStringLiteral("N"),
                                         QStringLiteral("20"));
    const QCommandLineOption picturesOption(QStringLiteral("pictures"), QString(),
                                            QStringLiteral("N"), QStringLiteral("3"));
    const QCommandLineOption runsOption(QStringLiteral("runs"), QString(), QStringLiteral("N"),
                                        QStringLiteral("3"));
    parser.addOptions({countOption, picturesOption, runsOption});
    parser.process(app);
    const int count = parser.value(countOption).toInt();
    const int runs = parser.value(runsOption).toInt();
    if (qEnvironmentVariableIsEmpty("QUORVEL_READER"))
        qputenv("QUORVEL_READER", QUORVEL_READER_PATH);

    QTemporaryDir dir;
    const QStringList pictures = drawPictures(dir.path(), parser.value(picturesOption).toInt());
    output(QStringLiteral("/usr/bin/python3"),
           {QStringLiteral(QUORVEL_CONTENT_FIXTURES), dir.path(), pictures.front(),
            QString::number(count)});
    QStringList pdfs;
    QStringList docs;
    for (int i = 0; i < count; ++i) {
        pdfs << QDir(dir.path()).filePath(QStringLiteral("text%1.pdf").arg(i));
        docs << QDir(dir.path()).filePath(QStringLiteral("word%1.docx").arg(i));
    }

    printBenchHeader("ours ms", "tool ms", "rule");
    auto [pdfOurs, pdfTool] =
        medianMsInTurns([&] { readAll(pdfs, false); },
                        [&] {
                            for (const QString& pdf : pdfs)
                                output(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
                        },
                        runs);
    printBenchRow("PDF text (3 pages) vs pdftotext", count, pdfOurs, pdfTool, "ratio <= 1.5");
    // A thread keeps its reader: one of its own for each run starts it anew.
    auto [coldOurs, coldTool] = medianMsInTurns(
        [&] { std::thread([&] { readAll({pdfs.front()}, false); }).join(); },
        [&] {
            output(QStringLiteral("pdftotext"), {pdfs.front(), QStringLiteral("-")});
        },
        runs);
    printBenchRow("first PDF, reader started vs pdftotext", 1, coldOurs, coldTool, "(start cost)");
    auto [docOurs, docTool] =
        medianMsInTurns([&] { readAll(docs, false); }, [&] { unzipAndParse(docs); }, runs);
    printBenchRow("docx vs unzip -p + XML parse", count, docOurs, docTool, "ratio <= 1.5");
    // Recognition runs niced in the reader; the command runs alike, so that
    // both wait the same for a busy machine.
    auto [ocrOurs, ocrTool] = medianMsInTurns(
        [&] { readAll(pictures, true); },
        [&] {
            for (const QString& picture : pictures)
                output(QStringLiteral("nice"),
                       {QStringLiteral("-n"), QStringLiteral("10"), QStringLiteral("tesseract"),
                        picture, QStringLiteral("stdout"), QStringLiteral("-l"),
                        QStringLiteral("chi_sim+eng")});
        },
        qMax(1, runs / 2));
    printBenchRow("OCR picture vs tesseract", int(pictures.size()), ocrOurs, ocrTool,
                  "ratio <= 1.2");
    return 0;
}
