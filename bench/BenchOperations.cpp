#include "BenchOperations.h"

#include "BenchTiming.h"

#include "browser/CombinedSearch.h"
#include "browser/SystemViews.h"
#include "modify/RecordModify.h"
#include "operations/RecordDelete.h"
#include "operations/RecordReorder.h"
#include "trash/Trash.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

QList<QPair<const char*, ViewCondition>> benchViews()
{
    SearchCriteria received = SystemViews::receivedByMe();
    SearchCriteria local = SystemViews::localDocuments();
    return {
        {"view: all records", {}},
        {"view: sent by me (我发他收)", SystemViews::sentByMe()},
        {"view: received (他发我收)", CombinedSearch::SqlMade(received)},
        {"view: local documents (本地文档)", CombinedSearch::SqlMade(local)},
        {"view: folder (largest)", SystemViews::folder(QStringLiteral("报告资料"))},
        {"view: folder (small)", SystemViews::folder(QStringLiteral("会议归档"))},
    };
}

OperationMs timeRecordOperations(const Register& reg, ViewRst& view, int runs)
{
    OperationMs ms;
    const int middle = view.recordCount() / 2;
    ms.moveUp = medianMs([&] { (void)RecordReorder::moveUp(view, middle); }, runs);
    ms.moveDown = medianMs([&] { (void)RecordReorder::moveDown(view, middle); }, runs);

    // Each deleted record comes back from the bin, which is timed as well.
    std::vector<double> deleted;
    std::vector<double> restored;
    for (int i = 0; i < runs; ++i) {
        const std::optional<RegisterRecord> record = view.record(middle);
        if (!record)
            break;
        QElapsedTimer timer;
        timer.start();
        (void)RecordDelete::deleteRecord(reg, SeenRecord::of(*record));
        view.removeAt(view.positionOf(record->rowid));
        deleted.push_back(timer.nsecsElapsed() / 1e6);
        timer.restart();
        (void)Trash::restore(reg, record->rowid);
        restored.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(deleted.begin(), deleted.end());
    std::sort(restored.begin(), restored.end());
    if (!deleted.empty()) {
        ms.remove = deleted[deleted.size() / 2];
        ms.restore = restored[restored.size() / 2];
    }

    RecordModify::Changes changes;
    int flip = 0;
    ms.modify = medianMs(
        [&] {
            const QString mark = QString::number(flip++ % 2);
            changes[RecordModify::Field::Remark] = QStringLiteral("基准修改") + mark;
            changes[RecordModify::Field::Recipient] = QStringLiteral("基准") + mark;
            changes[RecordModify::Field::Method] = QStringLiteral("QQ");
            changes[RecordModify::Field::Folder] = QStringLiteral("报告资料");
            const qint64 rowid = view.keyAt(middle);
            (void)RecordModify::apply(reg, {SeenRecord::of(*view.record(middle))}, changes);
            view.invalidate(view.positionOf(rowid));
            (void)view.record(middle);
        },
        runs);
    return ms;
}

ShownMs shownMs(const Register& reg, const ViewCondition& condition)
{
    constexpr int screen = 50;
    QElapsedTimer timer;
    timer.start();
    ShownMs shown;
    const auto readScreen = [&](const ViewRst& view, int from) {
        for (int position = from; position < from + screen; ++position)
            (void)view.record(position);
        return timer.nsecsElapsed() / 1e6;
    };
    Result<ViewRst::Start> started =
        ViewRst::start(reg, condition, [&](const QList<qint64>& first) {
            shown.first = readScreen(ViewRst(reg, condition, first, -1), 1);
        });
    if (!started) {
        std::fprintf(stderr, "%s\n", qPrintable(started.error().fullText()));
        return shown;
    }
    shown.complete = timer.nsecsElapsed() / 1e6;
    ViewRst view(reg, condition, started->first, started->count);
    if (shown.first == 0)
        shown.first = shown.complete = readScreen(view, 1);
    timer.restart();
    shown.end = readScreen(view, std::max(1, view.recordCount() - screen + 1));
    return shown;
}
