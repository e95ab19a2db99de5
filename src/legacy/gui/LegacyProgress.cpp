#include "legacy/gui/LegacyProgress.h"

#include "support/gui/MessageBox.h"

#include <QEventLoop>
#include <QFutureWatcher>
#include <QProgressDialog>
#include <QTimer>
#include <QtConcurrent>

#include <atomic>

Result<Legacy::Report> runWithProgress(QWidget* parent, const QString& label,
                                       const LegacyWork& work)
{
    std::atomic_int step = 0;
    std::atomic_int steps = 0;
    QFutureWatcher<Result<Legacy::Report>> watcher;
    QEventLoop loop;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(QtConcurrent::run([&work, &step, &steps] {
        return work([&](int done, int total) {
            step = done;
            steps = total;
        });
    }));

    QProgressDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("LegacyProgress"));
    dialog.setWindowTitle(QStringLiteral("Quorvel2.0"));
    dialog.setLabelText(label);
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
            dialog.setLabelText(QStringLiteral("%1\n共 %2 条记录").arg(label).arg(steps.load()));
        }
    });
    ticker.start(100);
    if (!watcher.isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    return watcher.result();
}

void showReport(QWidget* parent, const Legacy::Report& report)
{
    if (report.lostSomething())
        MessageBox::warning(parent, report.text());
    else
        MessageBox::information(parent, report.text());
}
