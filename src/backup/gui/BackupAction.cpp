#include "backup/gui/BackupAction.h"

#include "backup/Backup.h"
#include "support/gui/MessageBox.h"
#include "support/gui/SaveDialog.h"

#include <QEventLoop>
#include <QFutureWatcher>
#include <QProgressDialog>
#include <QTimer>
#include <QtConcurrent>

#include <atomic>

void backupRegister(QWidget* parent, const Register& reg)
{
    const QString folder = SaveDialog::getExistingFolder(
        parent, QStringLiteral("选择备份文件夹（空文件夹，或以前备份过的文件夹）"));
    if (folder.isEmpty())
        return;
    std::atomic_int step = 0;
    std::atomic_int steps = 0;
    QFutureWatcher<Result<Backup::Report>> watcher;
    QEventLoop loop;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(QtConcurrent::run([reg, folder, &step, &steps] {
        return Backup::run(reg, folder, [&](int done, int total) {
            step = done;
            steps = total;
        });
    }));

    QProgressDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("BackupProgress"));
    dialog.setWindowTitle(QStringLiteral("Quorvel2.0"));
    dialog.setLabelText(QStringLiteral("正在备份登记库……"));
    dialog.setCancelButton(nullptr);
    dialog.setRange(0, 0);
    dialog.setMinimumDuration(0);
    dialog.setMinimumWidth(420);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.show();
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, &dialog, [&] {
        if (steps.load() > 0) {
            dialog.setRange(0, steps.load());
            dialog.setValue(step.load());
        }
    });
    ticker.start(100);
    if (!watcher.isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    dialog.hide();

    const Result<Backup::Report> report = watcher.result();
    if (!report)
        MessageBox::warning(parent, report.error().fullText());
    else if (!report->complete())
        MessageBox::warning(parent, report->text());
    else
        MessageBox::information(parent, report->text());
}
