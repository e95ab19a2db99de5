#include "cli/Command.h"
#include "store/sql/Sql.h"
#include "support/TempRegister.h"

#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

class TestAdd : public QObject {
    Q_OBJECT

    QTemporaryDir m_sources;

    QString source(const QString& name, const QByteArray& content)
    {
        const QString path = m_sources.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            qFatal("cannot write test source");
        file.write(content);
        return path;
    }

    int run(const QStringList& arguments, QString* out, QString* err)
    {
        QTextStream outStream(out);
        QTextStream errStream(err);
        return runCli(arguments, outStream, errStream);
    }

private Q_SLOTS:
    void registersEachFile()
    {
        TempRegister temp;
        temp.addRecord(7, QStringLiteral("a.txt"), {}, {}, QStringLiteral("2020-01-02"), {}, {},
                       "old");
        QString out;
        QString err;
        const int status =
            run({QStringLiteral("--register"), temp.folder(), QStringLiteral("add"),
                 source(QStringLiteral("a.txt"), "new"), source(QStringLiteral("b.txt"), "b"),
                 QStringLiteral("--date"), QStringLiteral("2006/3/5"), QStringLiteral("--remark"),
                 QStringLiteral("备注 'x'"), QStringLiteral("--recipient"), QStringLiteral("自己"),
                 QStringLiteral("--method"), QStringLiteral("QQ"), QStringLiteral("--folder"),
                 QStringLiteral("项目")},
                &out, &err);
        QCOMPARE(status, 0);
        QVERIFY2(err.isEmpty(), qPrintable(err));
        const QStringList lines = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        QVERIFY2(QRegularExpression(QStringLiteral("^8\\ta\\.[0-9A-Za-z]{10}\\.txt$"))
                     .match(lines[0])
                     .hasMatch(),
                 qPrintable(lines[0]));
        QCOMPARE(lines[1], QStringLiteral("9\tb.txt"));

        Result<QSqlQuery> query =
            Sql::run(temp.reg().database(),
                     QStringLiteral("SELECT 发件日期, 文件名, 备注, 接收人, 传送方式, 文件夹 "
                                    "FROM 文件管理 WHERE 文件序号 = 9"));
        QVERIFY(query && query->next());
        QCOMPARE(query->value(0).toString(), QStringLiteral("2006-03-05"));
        QCOMPARE(query->value(1).toString(), QStringLiteral("b.txt"));
        QCOMPARE(query->value(2).toString(), QStringLiteral("备注 'x'"));
        QCOMPARE(query->value(3).toString(), QStringLiteral("自己"));
        QCOMPARE(query->value(4).toString(), QStringLiteral("QQ"));
        QCOMPARE(query->value(5).toString(), QStringLiteral("项目"));
    }

    void failuresGiveNonZeroExit()
    {
        TempRegister temp;
        QString out;
        QString err;
        const QString missing = m_sources.filePath(QStringLiteral("missing.txt"));
        const int status = run({QStringLiteral("--register"), temp.folder(), QStringLiteral("add"),
                                missing, source(QStringLiteral("empty.txt"), QByteArray()),
                                source(QStringLiteral("ok.txt"), "ok")},
                               &out, &err);
        QCOMPARE(status, 1);
        QCOMPARE(out.trimmed(), QStringLiteral("1\tok.txt"));
        QVERIFY(err.contains(QStringLiteral("missing.txt")));
        QVERIFY(err.contains(QStringLiteral("不能保存大小为0的文件")));
        QVERIFY(!QFile::exists(missing));
        // Today's date when none is given.
        QCOMPARE(Sql::scalar(temp.reg().database(), QStringLiteral("SELECT 发件日期 FROM 文件管理"))
                     ->toString(),
                 QDate::currentDate().toString(Qt::ISODate));
    }

    void badArgumentsWriteNothing()
    {
        TempRegister temp;
        QString out;
        QString err;
        QCOMPARE(run({QStringLiteral("--register"), temp.folder(), QStringLiteral("add"),
                      source(QStringLiteral("x.txt"), "x"), QStringLiteral("--date"),
                      QStringLiteral("2006-13-01")},
                     &out, &err),
                 2);
        QVERIFY(err.contains(QStringLiteral("请输入一个有效的日期")));
        QCOMPARE(
            run({QStringLiteral("--register"), temp.folder(), QStringLiteral("add")}, &out, &err),
            2);
        QCOMPARE(temp.serials(), QList<qint64>{});
    }
};

QTEST_GUILESS_MAIN(TestAdd)
#include "test_add.moc"
