#pragma once

#include "base/Result.h"
#include "store/Register.h"
#include "store/view/SearchCriteria.h"

#include <QList>
#include <QString>

// One of the nine saved queries as the table holds it. A Null column is read
// as the empty text; `hasNull` remembers it for the empty-slot test.
struct QuerySlot {
    int number = 0; // 1..9
    QString name;   // menu caption and toolbar tip
    QString title;  // toolbar caption, as stored (" " stands for none)
    SearchCriteria criteria;
    bool hasNull = false;

    // The default name and no criteria. A Null name or criterion makes the
    // slot count as defined, so it is run rather than offered for editing.
    bool isEmptySlot() const;
};

// What the definitions form (and the command line) hands over to save.
struct QueryDefinition {
    QString name;
    QString title; // as typed; cut by toolbarTitle() when saved
    SearchCriteria criteria;
};

// What running a slot searches for, and how the view is captioned.
struct QueryRun {
    SearchCriteria criteria;
    QString caption;        // 自定义查询N：name
    bool emptySlot = false; // offered for editing by the window, listed whole by scripts
};

// The table of saved queries. Slot N is the N-th row in rowid order; rows
// after the ninth are ignored.
namespace QuerySlots {

constexpr int slotCount = 9;

// 自定义查询N
QString defaultName(int slot);
// The toolbar title the table gets for a typed title: its first four
// characters (a Chinese character is one), or a single space when empty.
QString toolbarTitle(const QString& typed);

// Up to nine slots, in slot order.
Result<QList<QuerySlot>> readAll(const Register& reg);
Result<QuerySlot> read(const Register& reg, int slot);

// Slot N read for running: the window and the command line both start here.
Result<QueryRun> prepareRun(const Register& reg, int slot);

// Writes the definition into the slot. An empty name is refused ("名称不能为空");
// a name made of spaces is accepted.
Status save(const Register& reg, int slot, const QueryDefinition& definition);

// Back to an empty slot: default name, no criteria. The toolbar title stays.
Status clear(const Register& reg, int slot);

// Whether the table lacks slots or holds Nulls, without writing anything.
Result<bool> needsRepair(const Register& reg);
// Adds the missing slots as empty ones and turns Nulls into empty texts.
Status repair(const Register& reg);

} // namespace QuerySlots
