#pragma once

#include "store/Register.h"

#include <QSqlDatabase>

struct sqlite3;

// A read transaction around several statements, unless one is open already:
// they then see one state of the register.
class ReadSnapshot {
public:
    explicit ReadSnapshot(const Register& reg);
    ~ReadSnapshot();
    ReadSnapshot(const ReadSnapshot&) = delete;
    ReadSnapshot& operator=(const ReadSnapshot&) = delete;

private:
    QSqlDatabase m_db;
    sqlite3* m_handle;
    bool m_began = false;
};
