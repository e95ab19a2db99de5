#pragma once

#include "store/Register.h"
#include "store/view/ViewRst.h"

// Record operations timed in the middle of a view, each undone (or its
// record put back) outside the timing so the register stays as it was.
struct OperationMs {
    double moveUp = 0;
    double moveDown = 0;
    double remove = 0;
    double restore = 0;
    double modify = 0;
};

// The views both benchmarks time: the window's own and two folders.
QList<QPair<const char*, ViewCondition>> benchViews();

// Medians of `runs` of each, on the record at the middle of `view`.
OperationMs timeRecordOperations(const Register& reg, ViewRst& view, int runs);

struct ShownMs {
    double first = 0;
    double complete = 0;
    double end = 0;
};

// A view as the window reads it: to its first screen with the grid's fifty
// rows read (the whole view when it holds no more), to its count (complete
// and scrollable), and from there to the last fifty rows read.
ShownMs shownMs(const Register& reg, const ViewCondition& condition);
