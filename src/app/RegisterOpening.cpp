#include "app/RegisterOpening.h"

#include "legacy/gui/LegacyStartup.h"

#include <QEventLoop>
#include <QFutureWatcher>
#include <QProgressDialog>
#include <QTimer>
#include <QtConcurrent>

#include <atomic>
#include <limits>

Result<Register> openRegisterShowingProgress(const QString& folder, int showAfterMs, bool* declined)
{
    Result<LegacyOffer> offer = offerLegacyConversion(folder);
    if (!offer)
        return offer.error();
    if (declined)
        *declined = *offer == LegacyOffer::Declined;
    if (*offer == LegacyOffer::Declined)
        return Error{QStringLiteral("登记库是旧格式，没有转换。"), folder};
    std::atomic_int step = 0;
    std::atomic_int steps = 0;
    QFutureWatcher<Result<Register>> watcher;
    QEventLoop loop;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(QtConcurrent::run([folder, &step, &steps]() -> Result<Register> {
        Result<Register> reg =
            Register::open(folder, Register::Mode::CreateIfMissing, [&](int done, int total) {
                step = done;
                steps = total;
            });
        // Each thread has its own connection; the window's thread opens its own.
        if (reg)
            reg->closeConnection();
        return reg;
    }));

    QProgressDialog dialog;
    dialog.setWindowTitle(QStringLiteral("Quorvel2.0"));
    dialog.setLabelText(QStringLiteral("正在更新登记库，为快速查询建立索引。\n"
                                       "这只需要做一次，记录很多时可能要一两分钟，请稍候……"));
    dialog.setCancelButton(nullptr);
    dialog.setRange(0, 0);
    dialog.setMinimumDuration(std::numeric_limits<int>::max());
    dialog.setMinimumWidth(420);
    QTimer shower;
    shower.setSingleShot(true);
    QObject::connect(&shower, &QTimer::timeout, &dialog, [&] {
        // Only bringing a register up to date reports steps; a current
        // register opens without a window however slow the disk.
        if (steps.load() > 0)
            dialog.show();
        else
            shower.start(100);
    });
    shower.start(showAfterMs);
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, &dialog, [&] {
        if (steps.load() > 0 && dialog.isVisible()) {
            dialog.setRange(0, steps.load());
            dialog.setValue(step.load());
        }
    });
    ticker.start(100);

    if (!watcher.isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    return watcher.result();
}
