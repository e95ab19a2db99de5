#include "browser/FolderMenu.h"

#include "store/RecordStore.h"

namespace FolderMenu {

Result<QList<Entry>> load(const Register& reg)
{
    // The register keeps the counts, so the menu never counts a million records.
    Result<QList<FolderCount>> counts = reg.records()->folderCounts();
    if (!counts)
        return counts.error();
    QList<Entry> entries;
    for (const FolderCount& folder : counts.value())
        entries.append({folder.name, folder.dated});
    return entries;
}

} // namespace FolderMenu
