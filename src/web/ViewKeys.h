#pragma once

#include "base/Result.h"
#include "store/Register.h"
#include "store/view/ViewCondition.h"

#include <QHash>
#include <QList>
#include <QString>

#include <chrono>
#include <memory>
#include <mutex>

// The keys of the views browsers asked for, kept until the register changes.
// A view not kept yet is read on a thread of its own; a request that needs
// only its first rows is answered as soon as those are read, so the first
// page of a large view does not wait for all of its keys.
class ViewKeys {
public:
    explicit ViewKeys(Register reg) : m_register(std::move(reg)) {}

    struct Keys {
        QList<qint64> keys; // in view order
        bool complete = false;
    };

    // The view's keys once the first `needed` are there (or all of them, when
    // it has fewer), or all of them when `needed` is 0; `generation` is that
    // of the register as the caller knows it.
    Result<Keys> get(const ViewCondition& condition, quint64 generation, int needed = 0);

private:
    struct Reading;
    std::shared_ptr<Reading> reading(const ViewCondition& condition, quint64 generation);

    Register m_register;
    std::mutex m_mutex;
    QHash<QString, std::shared_ptr<Reading>> m_views;
    quint64 m_uses = 0;
};
