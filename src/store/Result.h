#pragma once

#include <QString>

#include <optional>
#include <utility>

// What went wrong, for the person (message, Chinese) and for the log (detail).
struct Error {
    QString message;
    QString detail;

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
