#pragma once

#include <QString>

#include <optional>
#include <utility>

// What kind of failure, for a caller that decides on it (a message, an exit
// status, whether to try again); the texts stay those of `Error`.
enum class ErrorCode {
    Failed,       // anything else
    Busy,         // another program holds the register or the file
    NotFound,     // no such record, slot or register
    Changed,      // the record is not the one the person saw, or a trigger undid the change
    Foreign,      // the file is not a Quorvel register
    Damaged,      // the register's database cannot be read whole
    Disconnected, // the server connection broke; a write cut by it changed nothing
    Uncertain,    // the connection broke while a commit was in flight: it may have landed
};

// What went wrong, for the person (message, Chinese) and for the log (detail).
struct Error {
    QString message;
    QString detail;
    ErrorCode code = ErrorCode::Failed;

    QString fullText() const
    {
        return detail.isEmpty() ? message : message + QStringLiteral("\n") + detail;
    }
};

// A value or an Error. Core operations return this instead of throwing, so
// every caller decides how to tell the user.
template <typename T> class [[nodiscard]] Result {
public:
    Result(T value) : m_value(std::move(value)) {}
    Result(Error error) : m_error(std::move(error)) {}

    bool ok() const { return m_value.has_value(); }
    explicit operator bool() const { return ok(); }

    T& value() & { return *m_value; }
    const T& value() const& { return *m_value; }
    T&& value() && { return std::move(*m_value); }
    T* operator->() { return &*m_value; }
    const T* operator->() const { return &*m_value; }
    T& operator*() { return *m_value; }

    const Error& error() const { return m_error; }

private:
    std::optional<T> m_value;
    Error m_error;
};

template <> class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Error error) : m_error(std::move(error)), m_failed(true) {}

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }
    const Error& error() const { return m_error; }

private:
    Error m_error;
    bool m_failed = false;
};

using Status = Result<void>;
