#pragma once

#include "store/Register.h"

#include <functional>

// Lets a newer search stop an older one that still runs on this thread's
// connection of a register: while watched, the database engine asks
// `superseded` every few thousand steps, and a true answer ends the running
// statement with an error.
class SearchInterrupt {
public:
    // Watches this thread's connection of `reg` (again when it changed).
    void watch(const Register& reg, std::function<bool()> superseded);
    // Stops watching; before the connection is closed.
    void release();

private:
    static int ask(void* self);

    void* m_watched = nullptr; // the engine's handle of the connection
    std::function<bool()> m_superseded;
};
