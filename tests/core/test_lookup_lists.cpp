#include "intake/LookupLists.h"
#include "support/TempRegister.h"

#include <QTest>

class TestLookupLists : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void fixedEntriesOnAnEmptyRegister()
    {
        TempRegister temp;
        QCOMPARE(LookupLists::recipients(temp.reg()).value(),
                 (QStringList{QStringLiteral("自己"), QStringLiteral("本地文档")}));
        QCOMPARE(
            LookupLists::addFormMethods(temp.reg()).value(),
            (QStringList{QStringLiteral("Email"), QStringLiteral("MSN"), QStringLiteral("传真"),
                         QStringLiteral("QQ"), QStringLiteral("面呈")}));
        QCOMPARE(LookupLists::folders(temp.reg()).value(), QStringList{});
    }

    void usedValuesFollowByUseWithoutRepeats()
    {
        TempRegister temp;
        qint64 serial = 0;
        auto add = [&](const QString& recipient, const QString& method, const QString& folder,
                       int times) {
            for (int i = 0; i < times; ++i) {
                ++serial;
                temp.addRecord(serial, QStringLiteral("f%1").arg(serial), recipient, folder,
                               QStringLiteral("2020-01-02"), QString(), method);
            }
        };
        // Records without a folder hold the empty text, as the intake writes them.
        const QString none = QStringLiteral("");
        add(QStringLiteral("李四"), QStringLiteral("email"), none, 3);
        add(QStringLiteral("自己"), QStringLiteral("Email"), none, 4);
        add(QStringLiteral("王五"), QStringLiteral("快递"), QStringLiteral("合同"), 2);
        add(QString(), QString(), QStringLiteral("报价"), 1);

        QCOMPARE(LookupLists::recipients(temp.reg()).value(),
                 (QStringList{QStringLiteral("自己"), QStringLiteral("本地文档"),
                              QStringLiteral("李四"), QStringLiteral("王五")}));
        // "email" differs from "Email" only in case: listed on its own.
        QCOMPARE(LookupLists::addFormMethods(temp.reg()).value(),
                 (QStringList{QStringLiteral("Email"), QStringLiteral("MSN"),
                              QStringLiteral("传真"), QStringLiteral("QQ"), QStringLiteral("面呈"),
                              QStringLiteral("email"), QStringLiteral("快递")}));
        // Most records have no folder: the blank entry comes first.
        QCOMPARE(LookupLists::folders(temp.reg()).value(),
                 (QStringList{QString(), QStringLiteral("合同"), QStringLiteral("报价")}));
    }
};

QTEST_GUILESS_MAIN(TestLookupLists)
#include "test_lookup_lists.moc"
