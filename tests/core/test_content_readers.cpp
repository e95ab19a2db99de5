// The content readers in their own process: documents of every kind the
// tests make themselves, and hostile files that must end quickly as skipped.

#include "content/ReaderProcess.h"
#include "support/TestFiles.h"

#include <QElapsedTimer>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#ifndef QUORVEL_CONTENT_FIXTURES
#error "the fixture script's path is set by tests/CMakeLists.txt"
#endif

using Kind = ReadOutcome::Kind;

class ContentReadersTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString file(const QString& name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // Chinese and English drawn large and plain, as a scan would show them.
        QImage picture(1200, 400, QImage::Format_RGB32);
        picture.fill(Qt::white);
        QPainter painter(&picture);
        painter.setFont(QFont(QStringLiteral("Noto Sans CJK SC"), 48));
        painter.setPen(Qt::black);
        painter.drawText(QRect(40, 40, 1120, 320), Qt::AlignLeft | Qt::TextWordWrap,
                         QStringLiteral("会议纪要 预算报告\nInvoice 2024"));
        painter.end();
        QVERIFY(picture.save(file(QStringLiteral("picture.png"))));

        QProcess fixtures;
        fixtures.start(QStringLiteral("/usr/bin/python3"),
                       {QStringLiteral(QUORVEL_CONTENT_FIXTURES), m_dir.path(),
                        file(QStringLiteral("picture.png"))});
        QVERIFY(fixtures.waitForFinished(180000));
        QVERIFY2(fixtures.exitCode() == 0, fixtures.readAllStandardError().constData());

        TestFiles::write(file(QStringLiteral("page.html")),
                         "<html><head><meta charset=\"utf-8\"><style>p{color:red}</style>"
                         "<script>var hidden = 1;</script></head><body><p>Tom &amp; "
                         "&#x4E2D;&#25991;</p><div>第二段</div></body></html>");
        TestFiles::write(file(QStringLiteral("mail")),
                         "From: a@example.org\r\nTo: b@example.org\r\n"
                         "Subject: =?GB2312?B?u+HS6bzN0qo=?=\r\nMIME-Version: 1.0\r\n"
                         "Content-Type: multipart/mixed; boundary=\"b1\"\r\n\r\n"
                         "--b1\r\nContent-Type: text/plain; charset=utf-8\r\n"
                         "Content-Transfer-Encoding: quoted-printable\r\n\r\n"
                         "=E9=A2=84=E7=AE=97=E8=A1=A8=E5=B7=B2=E7=BB=8F=E6=9B=B4=E6=96=B0\r\n"
                         "--b1\r\nContent-Type: application/octet-stream\r\n"
                         "Content-Disposition: attachment; filename=\"=?UTF-8?B?"
                         "5oql5Lu35Y2VLnhsc3g=?=\"\r\nContent-Transfer-Encoding: base64\r\n\r\n"
                         "AAEC\r\n--b1--\r\n");
        TestFiles::write(file(QStringLiteral("data.bin")), QByteArray("\x7f\x01\x00\x02\xff", 5));
    }

    void read_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("ocr");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QStringList>("terms");
        const auto row = [](const char* tag, const char* name, bool ocr, Kind kind,
                            QStringList terms = {}) {
            QTest::newRow(tag) << QString::fromUtf8(name) << ocr << int(kind) << terms;
        };
        const QString term = QStringLiteral("zephyrine");
        row("pdf", "text.pdf", false, Kind::Text, {term});
        row("docx", "word.docx", false, Kind::Text,
            {QStringLiteral("合同编号"), term, QStringLiteral("单元格\tcell")});
        row("xlsx", "sheet.xlsx", false, Kind::Text,
            {QStringLiteral("名称\t数量"), QStringLiteral("发票") + term});
        row("doc", "word.doc", false, Kind::Text, {QStringLiteral("合同编号"), term});
        row("gb18030", "gb18030", false, Kind::Text, {QStringLiteral("年度预算"), term});
        row("big5", "big5", false, Kind::Text, {QStringLiteral("年度預算"), term});
        row("utf16", "utf16le", false, Kind::Text, {QStringLiteral("Notice 关于"), term});
        row("utf16 without ascii", "utf16be", false, Kind::Text, {QStringLiteral("年度预算")});
        row("html", "page.html", false, Kind::Text, {QStringLiteral("Tom & 中文\n第二段")});
        row("mail", "mail", false, Kind::Text,
            {QStringLiteral("Subject: 会议纪要"), QStringLiteral("预算表已经更新"),
             QStringLiteral("附件：报价单.xlsx")});
        row("binary", "data.bin", false, Kind::NotRead);
        row("scan without ocr", "scan.pdf", false, Kind::NeedsOcr);
        row("picture without ocr", "picture.png", false, Kind::NeedsOcr);
        row("scan", "scan.pdf", true, Kind::Text,
            {QStringLiteral("会议纪要"), QStringLiteral("Invoice")});
        row("picture", "picture.png", true, Kind::Text,
            {QStringLiteral("预算报告"), QStringLiteral("Invoice")});
        row("truncated pdf", "truncated.pdf", false, Kind::Skipped);
        row("zip bomb", "bomb.docx", false, Kind::Skipped);
        row("million pages", "pages.pdf", true, Kind::Skipped);
        row("huge picture", "huge.png", true, Kind::Skipped);
    }

    void read()
    {
        QFETCH(QString, name);
        QFETCH(bool, ocr);
        QFETCH(int, kind);
        QFETCH(QStringList, terms);
        if (!QFile::exists(file(name)))
            QSKIP("no converter to make this file (soffice)");
        QElapsedTimer clock;
        clock.start();
        const ReadOutcome outcome = readContent(file(name), name, ocr);
        QVERIFY2(int(outcome.kind) == kind, qPrintable(outcome.reason + outcome.text.left(200)));
        for (const QString& term : terms)
            QVERIFY2(outcome.text.contains(term), qPrintable(term + u'|' + outcome.text.left(400)));
        if (outcome.kind == Kind::Skipped)
            QVERIFY2(!outcome.reason.isEmpty() && clock.elapsed() < 20000,
                     qPrintable(outcome.reason));
    }

    // What the parent does to a reader that runs too long or writes too much.
    void limits()
    {
        ReaderLimits small;
        small.outputBytes = 100;
        ReadOutcome outcome =
            readContent(file(QStringLiteral("text.pdf")), QString(), false, small);
        QCOMPARE(outcome.kind, Kind::Skipped);
        QCOMPARE(outcome.reason, QStringLiteral("内容过多，超出上限"));
        ReaderLimits quick;
        quick.seconds = 0;
        quick.ocrSeconds = 0;
        for (const bool ocr : {false, true}) {
            outcome = readContent(file(QStringLiteral("picture.png")), QString(), ocr, quick);
            QCOMPARE(outcome.kind, Kind::Skipped);
            QCOMPARE(outcome.reason, QStringLiteral("读取超时"));
        }
        // The reader killed for taking too long is replaced for the next file.
        outcome = readContent(file(QStringLiteral("text.pdf")), QString(), false);
        QCOMPARE(outcome.kind, Kind::Text);
    }

    void pagesAndPreview()
    {
        QVERIFY(readerAvailable().ok());
        const QByteArray reader = qgetenv("QUORVEL_READER");
        qputenv("QUORVEL_READER", "/nonexistent/quorvel-reader");
        QVERIFY(!readerAvailable().ok());
        qputenv("QUORVEL_READER", reader);
        QCOMPARE(pageCount(file(QStringLiteral("text.pdf")), QString()).value(), 1);
        QCOMPARE(pageCount(file(QStringLiteral("word.docx")), QString()).value(), 1);
        for (const QString& name : {QStringLiteral("text.pdf"), QStringLiteral("picture.png")}) {
            const Result<QByteArray> png = renderPage(file(name), name, 1, 300);
            QVERIFY2(png.ok(), qPrintable(png.error().message));
            QCOMPARE(QImage::fromData(png.value()).width(), 300);
        }
        QVERIFY(!renderPage(file(QStringLiteral("text.pdf")), QString(), 2, 300).ok());
        QVERIFY(!renderPage(file(QStringLiteral("huge.png")), QString(), 1, 300).ok());
    }
};

QTEST_MAIN(ContentReadersTest)
#include "test_content_readers.moc"
