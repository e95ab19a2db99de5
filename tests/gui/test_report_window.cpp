#include "legacy/LegacyReport.h"
#include "support/TestFiles.h"
#include "support/gui/MessageBox.h"
#include "support/gui/ReportWindow.h"
#include "support/gui/SaveDialog.h"

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

// Long reports: the summary on top, the list scrolling below, all of it saved.
class TestReportWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void conversionReportGivesSummaryAndList()
    {
        Legacy::Report report;
        report.records = 3;
        report.missingCopies = {QStringLiteral("a"), QStringLiteral("b")};
        report.aside = QStringLiteral("x.mdb");
        QCOMPARE(report.summary(),
                 QStringLiteral("已转换记录：3 条\n序号：全部保留\n自定义查询：已定义 0 个\n"
                                "缺少存储副本的记录（记录已保留）（2）\n旧数据库已保留为：x.mdb"));
        QCOMPARE(report.listing(),
                 (QStringList{QStringLiteral("缺少存储副本的记录（记录已保留）（2）："),
                              QStringLiteral("  a"), QStringLiteral("  b")}));
        QCOMPARE(report.text(),
                 QStringLiteral("已转换记录：3 条\n序号：全部保留\n自定义查询：已定义 0 个\n"
                                "缺少存储副本的记录（记录已保留）（2）：\n  a\n  b\n"
                                "旧数据库已保留为：x.mdb\n"));
    }

    void twentyThousandLinesFitTheScreenAndSave()
    {
        QStringList lines;
        for (int i = 1; i <= 20000; ++i)
            lines << QStringLiteral("  序号 %1“f%1.doc”").arg(i);
        ReportWindow window(nullptr, QStringLiteral("已转换记录：20000 条"), lines, true);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QRect screen = window.screen()->availableGeometry();
        QVERIFY2(window.frameGeometry().height() <= screen.height(),
                 qPrintable(QString::number(window.frameGeometry().height())));
        QVERIFY(window.isSizeGripEnabled());
        QCOMPARE(window.findChild<QPlainTextEdit*>()->document()->blockCount(), 20000);
        QCOMPARE(window.findChild<QLabel*>(QStringLiteral("ReportSummary"))->text(),
                 QStringLiteral("已转换记录：20000 条"));

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("报告.txt"));
        SaveDialog::setScripted(true);
        SaveDialog::setNextAnswer(path);
        window.findChild<QPushButton*>(QStringLiteral("SaveReportCommand"))->click();
        SaveDialog::setScripted(false);
        const QStringList saved = QString::fromUtf8(TestFiles::read(path)).split(u'\n');
        QCOMPARE(saved.size(), 20003); // summary, blank line, list, final newline
        QCOMPARE(saved.at(0), QStringLiteral("已转换记录：20000 条"));
        QCOMPARE(saved.at(20001), lines.last());

        window.findChild<QPushButton*>(QStringLiteral("FixedCommand"))->click();
        QCOMPARE(window.result(), int(QDialog::Accepted));
        QVERIFY(!window.isVisible());
    }
};

QTEST_MAIN(TestReportWindow)
#include "test_report_window.moc"
