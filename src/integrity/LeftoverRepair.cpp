#include "integrity/BinCheck.h"
#include "integrity/CheckSteps.h"
#include "store/folder/StoreFiles.h"

#include <QFileInfo>

#include <cstring>

namespace Integrity {

namespace {

void repairLeftover(const Register& reg, const StoreFolder& store, LiveProbe& probe,
                    Finding& leftover, QList<Finding>& findings)
{
    const QString path = store.pathOf(leftover.name);
    if (leftover.binStep != BinStep::None) {
        BinCheck::repair(reg, store, leftover, findings);
        return;
    }
    if (const QString owner = LiveWriter::ownerOfLockName(leftover.name); !owner.isEmpty()) {
        if (!probe.removeLockOf(owner) && QFileInfo::exists(path)) {
            leftover.resolution = QStringLiteral("未能删除。");
            return;
        }
        leftover.resolved = true;
        leftover.resolution = QStringLiteral("已删除。");
        return;
    }
    if (leftover.rowid != 0) {
        if (!namedNow(*reg.records(), leftover.detail, leftover.rowid)) {
            leftover.resolution = QStringLiteral("该记录已不存在，未放回。");
            return;
        }
        // Put a set-aside copy back under its record's stored name.
        if (!Register::isPlainFileName(leftover.detail) ||
            store.renameNoReplace(leftover.name, leftover.detail) != 0) {
            leftover.resolution = QStringLiteral("未能放回原处。");
            return;
        }
        leftover.resolved = true;
        leftover.resolution = QStringLiteral("已放回原处，恢复为“%1”。").arg(leftover.detail);
        for (Finding& other : findings) {
            if (other.kind == Kind::MissingCopy && other.rowid == leftover.rowid) {
                other.resolved = true;
                other.resolution = QStringLiteral("已从“%1”恢复。").arg(leftover.name);
            }
        }
        return;
    }
    if (!StoreFiles::isReserved(leftover.name) && namedNow(*reg.records(), leftover.name)) {
        leftover.resolution = QStringLiteral("已有记录使用它，未删除。");
        return;
    }
    if (const int error = store.remove(leftover.name); error != 0) {
        leftover.resolution =
            QStringLiteral("未能删除：%1").arg(QString::fromLocal8Bit(std::strerror(error)));
        return;
    }
    leftover.resolved = true;
    leftover.resolution = QStringLiteral("已删除。");
}

} // namespace

void repairLeftovers(CheckRun& run)
{
    for (Finding& finding : run.report.findings) {
        if (finding.kind == Kind::Leftover && finding.removable && !finding.resolved)
            repairLeftover(run.reg, run.store, run.probe, finding, run.report.findings);
    }
}

} // namespace Integrity
