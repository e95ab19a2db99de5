#include "support/gui/WorkProgress.h"

#include <QEventLoop>
#include <QFutureWatcher>
#include <QProgressDialog>
#include <QTimer>
#include <QtConcurrent>

#include <atomic>

void runWithProgress(QWidget* parent, const QString& objectName, const QString& label,
                     const std::function<void(const StepProgress&)>& work,
                     const std::function<QString(int steps)>& countedLabel)
{
    std::atomic_int step = 0;
    std::atomic_int steps = 0;
    QFutureWatcher<void> watcher;
    QEventLoop loop;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(QtConcurrent::run([&work, &step, &steps] {
        work([&](int done, int total) {
            step = done;
            steps = total;
        });
    }));

    QProgressDialog dialog(parent);
    dialog.setObjectName(objectName);
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
            if (countedLabel)
                dialog.setLabelText(countedLabel(steps.load()));
        }
    });
    ticker.start(100);
    if (!watcher.isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    watcher.waitForFinished();
}
