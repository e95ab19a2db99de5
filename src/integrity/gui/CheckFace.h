#pragma once

#include "integrity/IntegrityCheck.h"
#include "store/Register.h"

#include <QDialog>
#include <QFutureWatcher>

#include <atomic>
#include <memory>

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
class QTableWidget;

// The register check window: runs the integrity check on a worker thread
// (the main window stays usable), lists what it found, and offers to remove
// the leftovers of interrupted copies and deletes.
class CheckFace : public QDialog {
    Q_OBJECT
public:
    CheckFace(Register reg, QWidget* parent);
    ~CheckFace() override;

    // Shows the one check window of `parent`, starting a check when new.
    static CheckFace* showFor(QWidget* parent, const Register& reg);

    bool isRunning() const;
    const Integrity::Report* lastReport() const { return m_report ? &*m_report : nullptr; }

    // Starts a check (or a repair) unless one is running.
    void runCheck(bool repair = false);
    // Asks, then removes the leftovers the last check found.
    void removeLeftovers();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct Outcome {
        std::optional<Integrity::Report> report;
        Error error;
    };
    struct Progress {
        std::atomic<bool> cancelled{false};
        std::atomic<qint64> done{0};
        std::atomic<qint64> total{0};
    };

    void finished();
    void showProgress();
    void showReport();
    // The summary and every finding into a text file.
    void saveReport();
    void updateButtons();

    Register m_register;
    std::shared_ptr<Progress> m_progress;
    QFutureWatcher<Outcome> m_watcher;
    std::optional<Integrity::Report> m_report;
    bool m_running = false;

    QLabel* m_status = nullptr;
    QProgressBar* m_bar = nullptr;
    QTableWidget* m_list = nullptr;
    QCheckBox* m_verify = nullptr;
    QPushButton* m_checkButton = nullptr;
    QPushButton* m_repairButton = nullptr;
    QPushButton* m_saveButton = nullptr;
    QPushButton* m_closeButton = nullptr;
    QTimer* m_poll = nullptr;
};
