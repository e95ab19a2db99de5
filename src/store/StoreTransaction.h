#pragma once

#include "base/Result.h"

// A write transaction: rolled back when dropped without commit().
class StoreTransaction {
public:
    virtual ~StoreTransaction() = default;
    virtual Status commit() = 0;
};
