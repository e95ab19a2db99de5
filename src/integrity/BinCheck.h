#pragma once

#include "integrity/IntegrityCheck.h"
#include "store/RecordStore.h"
#include "store/folder/LiveWriter.h"
#include "store/folder/StoreFolder.h"

#include <QFileInfo>
#include <QHash>
#include <QPair>

#include <functional>
#include <memory>
#include <sys/stat.h>

// The integrity check's look at the recycle bin: every record in the bin
// has its copy in the bin folder, every file there belongs to one, and the
// extra names an interrupted move, restore or purge leaves are told apart
// from files that need the user. Repairs take the register's write lock and
// look again under it, so a program still in the middle of its transaction
// is never undone.
class BinCheck {
public:
    using FileId = QPair<quint64, quint64>;
    // The stored name a live record gives the file `id`, or an empty text.
    using LiveTwin = std::function<QString(const FileId& id)>;

    BinCheck(const Register& reg, const StoreFolder& store);
    ~BinCheck();

    // Adds its findings to `report`. Fails when the bin cannot be read.
    Status run(LiveProbe& probe, const LiveTwin& liveTwin, Integrity::Report& report);

    // Whether the store entry is the bin folder itself (a real folder).
    static bool isBinFolder(const QFileInfo& entry);
    // The bin copy that is the same file as the store entry `id`, or empty.
    QString binCopyOf(const FileId& id) const { return m_copies.value(id); }

    // Repairs a leftover with a BinStep.
    static void repair(const Register& reg, const StoreFolder& store, Integrity::Finding& leftover,
                       QList<Integrity::Finding>& findings);

private:
    std::unique_ptr<RecordStore> m_records;
    const StoreFolder& m_store;
    QHash<FileId, QString> m_copies; // bin copies named by a bin record
};
