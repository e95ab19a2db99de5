#include "accounts/Accounts.h"
#include "support/TempRegister.h"

#include <QProcess>
#include <QTest>

// The accounts through the real command-line program, whose passwords come
// from standard input.
class TestUserCommand : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void accountsAreManaged()
    {
        TempRegister temp;
        // Arguments after `user`, standard input (null: none at all), exit
        // status, and a text the output must hold.
        struct Run {
            QStringList arguments;
            const char* input;
            int status;
            QString printed;
        };
        const QString anna = QStringLiteral("anna");
        const QString bob = QStringLiteral("bob");
        const QString admin = QStringLiteral("管理");
        const QList<Run> runs = {
            {{QStringLiteral("add"), anna, QStringLiteral("--role"), admin},
             "secret\n",
             0,
             QStringLiteral("已新建账户“anna”（管理）")},
            {{QStringLiteral("add"), bob, QStringLiteral("--role"), QStringLiteral("boss")},
             "pw\n",
             2,
             QStringLiteral("角色须是")},
            {{QStringLiteral("add"), bob, QStringLiteral("pw")}, "pw\n", 2, QStringLiteral("需要")},
            {{QStringLiteral("add"), QStringLiteral("a\x01-b")},
             "pw\n",
             2,
             QStringLiteral("控制字符")},
            {{QStringLiteral("add"), bob}, nullptr, 1, QStringLiteral("没有读到口令")},
            {{QStringLiteral("add"), bob}, "\n", 1, QStringLiteral("口令不能为空")},
            {{QStringLiteral("add"), bob, QStringLiteral("--role"), QStringLiteral("登记")},
             "pw\n",
             0,
             QStringLiteral("（登记）")},
            {{QStringLiteral("add"), bob}, "pw\n", 1, QStringLiteral("已有名为“bob”")},
            {{QStringLiteral("passwd"), QStringLiteral("nobody")},
             "x\n",
             1,
             QStringLiteral("nobody")},
            {{QStringLiteral("passwd"), bob}, "new pw\r\n", 0, QStringLiteral("口令")},
            {{QStringLiteral("role"), anna, QStringLiteral("查看")},
             nullptr,
             1,
             QStringLiteral("最后一个")},
            {{QStringLiteral("remove"), anna}, nullptr, 1, QStringLiteral("最后一个")},
            {{QStringLiteral("role"), bob, admin}, nullptr, 0, admin},
            {{QStringLiteral("remove"), anna}, nullptr, 0, anna},
            {{QStringLiteral("list")}, nullptr, 0, QStringLiteral("bob\t管理\t")},
            {{QStringLiteral("list"), QStringLiteral("--role"), admin},
             nullptr,
             2,
             QStringLiteral("--role")},
            {{QStringLiteral("frob")}, nullptr, 2, QStringLiteral("需要")},
        };
        for (const Run& run : runs) {
            QProcess process;
            process.start(
                QStringLiteral(QUORVEL_CLI),
                QStringList{QStringLiteral("--register"), temp.folder(), QStringLiteral("user")} +
                    run.arguments);
            QVERIFY(process.waitForStarted());
            if (run.input)
                process.write(run.input);
            process.closeWriteChannel();
            QVERIFY(process.waitForFinished(60000));
            const QString printed =
                QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
            const QString what =
                run.arguments.join(QLatin1Char(' ')) + QStringLiteral(": ") + printed;
            QVERIFY2(process.exitCode() == run.status, qPrintable(what));
            QVERIFY2(printed.contains(run.printed), qPrintable(what));
        }
        Accounts accounts(temp.reg());
        QVERIFY(accounts.verify(bob, QStringLiteral("new pw")));
        QVERIFY(!accounts.verify(anna, QStringLiteral("secret")));
        temp.reg().closeConnection();
    }
};

QTEST_GUILESS_MAIN(TestUserCommand)
#include "test_user_command.moc"
