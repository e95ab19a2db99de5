#pragma once

#include "base/Result.h"
#include "inbox/Inbox.h"
#include "store/Register.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>

#include <atomic>
#include <chrono>

class QFileSystemWatcher;
class QTimer;

// Registers the files that arrive in a register's inbox. The kernel tells of
// changes in the folder and of writes to files waiting there; a file is
// taken once it has stayed the same size and time for `settle` and no
// program has it open for writing (where the kernel can tell). Each is
// registered through the same intake as files added by hand, with the preset
// details and the date it arrived, and removed from the inbox only after
// its record is committed. Lives in one thread, the one start() runs in.
class InboxWatcher : public QObject {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds defaultSettle{2000};

    explicit InboxWatcher(Register reg, std::chrono::milliseconds settle = defaultSettle,
                          QObject* parent = nullptr);
    ~InboxWatcher() override;

    // Reads the settings, then takes what the folder holds and watches it.
    // An error when the register has no inbox or its folder is missing.
    Status start();
    // Makes a batch under way stop after its current group (from any thread).
    void cancel() { m_cancel = true; }
    qint64 registered() const { return m_registered; }

Q_SIGNALS:
    void fileRegistered(const QString& fileName, qint64 serial, qint64 total);
    void fileRefused(const QString& fileName, const QString& reason);
    // A failure of the register, not of a file: its files are tried again.
    void problem(const QString& text);

private:
    struct Pending {
        qint64 size = -1;
        qint64 modified = -1;
        qint64 quietSince = 0; // on m_clock
        qint64 retryAt = 0;
        int failures = 0;
    };

    void scanFolder();
    void observe(const QString& name);
    void forget(const QString& name);
    void schedule();
    void takeSettled();
    void take(const QStringList& names);
    // Whether the file was registered before (its record committed, the
    // file not yet removed); an error when that cannot be told now.
    Result<bool> takenBefore(const QString& name, const Pending& pending);
    void registeredFile(const QString& name, const Pending& seen, qint64 serial);
    void refuse(const QString& name, const QString& reason);
    void retryLater(const QString& name, const Error& error);
    QString pathOf(const QString& name) const;

    Register m_register;
    std::chrono::milliseconds m_settle;
    Inbox::Settings m_settings;
    QFileSystemWatcher* m_watcher = nullptr;
    QTimer* m_timer = nullptr;
    QElapsedTimer m_clock;
    QHash<QString, Pending> m_pending; // by file name
    qint64 m_registered = 0;
    std::atomic_bool m_cancel = false;
};
