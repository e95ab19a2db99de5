#pragma once

#include "base/Result.h"
#include "store/Register.h"

#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class QThread;
class QTimer;

// The main window's side of the copies' content: reads the queue in the
// background while the window is open, telling its progress in a label, and
// shows where a searched word stands in the current record's text.
class ContentArea : public QObject {
    Q_OBJECT
public:
    struct Parts {
        QLabel* snippet = nullptr;
        QLabel* status = nullptr;
    };

    ContentArea(Register reg, Parts parts, QObject* parent = nullptr);
    ~ContentArea() override;

    // The program reads in the background; without it (tests) readQueue
    // does nothing.
    void setBackgroundReading(bool on);
    // Reads what is queued on a thread of its own; while a run is going,
    // another follows it, for what was queued meanwhile.
    void readQueue();
    // Asks the run to stop and waits for it up to `timeoutMs`; true when none
    // runs any more. The reader of the copy in hand ends with the program.
    bool stopReading(int timeoutMs = 1500);
    bool isReading() const { return m_thread != nullptr; }

    // The piece of record `identity`'s text around `term`; both empty (or 0)
    // clear it.
    void showSnippet(qint64 identity, const QString& term);

    Result<bool> ocrEnabled() const;
    Status setOcrEnabled(bool on);

Q_SIGNALS:
    // A run ended (stopped, failed or with the queue empty).
    void readingEnded();
    // The snippet label shows the newest request's result.
    void snippetShown();

private:
    struct Run;
    void startRun();
    void runEnded();
    void showProgress();

    Register m_register;
    // The window's labels may go before this area does.
    QPointer<QLabel> m_snippet;
    QPointer<QLabel> m_status;
    bool m_background = false;
    QThread* m_thread = nullptr;
    bool m_again = false;
    // Shared with the run's thread, which may outlive this area at exit.
    std::shared_ptr<Run> m_run;
    QTimer* m_progressTimer = nullptr;
    quint64 m_snippetGeneration = 0;
};
