#include "support/CliRun.h"
#include "support/TempRegister.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

// The content index on the command line: queued at intake, read by `index
// run` (resuming where a limited or broken run stopped), searched by
// `list --content` in any format.

namespace {

CliRun cli(const TempRegister& temp, const QStringList& arguments)
{
    return runCommandLine(temp.folder(), arguments);
}

QString write(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    return file.fileName();
}

QStringList namesFound(const TempRegister& temp, const QString& term)
{
    const CliRun run = cli(temp, {QStringLiteral("list"), QStringLiteral("--content"), term,
                                  QStringLiteral("--format"), QStringLiteral("json")});
    QStringList names;
    for (const QJsonValue& record : QJsonDocument::fromJson(run.out.toUtf8()).array())
        names << record.toObject().value(QStringLiteral("文件名")).toString();
    return names;
}

} // namespace

class TestIndexCommand : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void readsWhatIsQueuedAndFindsIt()
    {
        TempRegister temp;
        QTemporaryDir sources;
        const QStringList files = {
            write(sources, QStringLiteral("合同.txt"), "合同第三条 Budget 2019"),
            write(sources, QStringLiteral("副本.txt"), "合同第三条 Budget 2019"),
            write(sources, QStringLiteral("说明.txt"), "另一份说明"),
        };
        QCOMPARE(cli(temp, QStringList{QStringLiteral("add")} + files).status, 0);
        // The same content twice is one entry, read once.
        QVERIFY(cli(temp, {QStringLiteral("index"), QStringLiteral("status")})
                    .out.contains(QStringLiteral("等待读取：2")));

        // Without its reader program nothing is lost: the run fails, the
        // queue stays.
        const QByteArray reader = qgetenv("QUORVEL_READER");
        qputenv("QUORVEL_READER", "/nonexistent/quorvel-reader");
        const CliRun broken = cli(temp, {QStringLiteral("index"), QStringLiteral("run")});
        qputenv("QUORVEL_READER", reader);
        QCOMPARE(broken.status, 1);
        QVERIFY(cli(temp, {QStringLiteral("index"), QStringLiteral("status")})
                    .out.contains(QStringLiteral("等待读取：2")));

        // A limited run leaves the rest for the next one.
        QCOMPARE(cli(temp, {QStringLiteral("index"), QStringLiteral("run"),
                            QStringLiteral("--limit"), QStringLiteral("1")})
                     .status,
                 0);
        QVERIFY(cli(temp, {QStringLiteral("index"), QStringLiteral("status")})
                    .out.contains(QStringLiteral("等待读取：1")));
        QCOMPARE(cli(temp, {QStringLiteral("index"), QStringLiteral("run")}).status, 0);

        const QStringList both = {QStringLiteral("合同.txt"), QStringLiteral("副本.txt")};
        QCOMPARE(namesFound(temp, QStringLiteral("第三条")), both);
        QCOMPARE(namesFound(temp, QStringLiteral("BUDGET")), both);
        QCOMPARE(namesFound(temp, QStringLiteral("份")), QStringList{QStringLiteral("说明.txt")});
        QCOMPARE(namesFound(temp, QStringLiteral("第四条")), QStringList());

        // A saved query holds the word.
        QCOMPARE(
            cli(temp, {QStringLiteral("query-set"), QStringLiteral("2"), QStringLiteral("--name"),
                       QStringLiteral("说明"), QStringLiteral("--content"), QStringLiteral("说明")})
                .status,
            0);
        const CliRun query = cli(temp, {QStringLiteral("query"), QStringLiteral("2")});
        QCOMPARE(query.status, 0);
        QVERIFY(query.out.contains(QStringLiteral("说明.txt")));
        QVERIFY(!query.out.contains(QStringLiteral("合同.txt")));

        QVERIFY(cli(temp, {QStringLiteral("index"), QStringLiteral("ocr"), QStringLiteral("off")})
                    .out.contains(QStringLiteral("已关闭")));
        QVERIFY(cli(temp, {QStringLiteral("index"), QStringLiteral("status")})
                    .out.contains(QStringLiteral("图片文字识别：关")));
        QCOMPARE(cli(temp, {QStringLiteral("index"), QStringLiteral("rebuild")}).status, 0);
        QCOMPARE(namesFound(temp, QStringLiteral("第三条")), both);
    }
};

QTEST_GUILESS_MAIN(TestIndexCommand)
#include "test_index_command.moc"
