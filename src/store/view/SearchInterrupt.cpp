#include "store/view/SearchInterrupt.h"

#include "store/sqlite/RawStatement.h"

#include <sqlite3.h>

void SearchInterrupt::watch(const Register& reg, std::function<bool()> superseded)
{
    m_superseded = std::move(superseded);
    // Only SQLite's engine asks while it steps.
    sqlite3* handle =
        reg.kind() == Register::Kind::Sqlite ? RawStatement::handleOf(reg.database()) : nullptr;
    if (handle && handle != m_watched) {
        sqlite3_progress_handler(handle, 4000, &SearchInterrupt::ask, this);
        m_watched = handle;
    }
}

void SearchInterrupt::release()
{
    if (m_watched)
        sqlite3_progress_handler(static_cast<sqlite3*>(m_watched), 0, nullptr, nullptr);
    m_watched = nullptr;
}

int SearchInterrupt::ask(void* self)
{
    const auto* interrupt = static_cast<const SearchInterrupt*>(self);
    return interrupt->m_superseded && interrupt->m_superseded() ? 1 : 0;
}
