#pragma once

#include "intake/Intake.h"
#include "store/Register.h"

#include <QFutureWatcher>
#include <QList>
#include <QStringList>
#include <QWidget>

#include <atomic>
#include <memory>

class ClosingSequence;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressDialog;
class QPushButton;

// The add form: lists the dropped files and collects the details they all
// share. Modeless; confirming registers every line, then the form closes
// through its closing sequence. Line i of List1 always belongs to
// DroppedPaths()[i].
class SelectFace : public QWidget {
    Q_OBJECT
public:
    explicit SelectFace(Register reg, QWidget* parent = nullptr);
    ~SelectFace() override;

    // Appends files to the list (a second drop extends it).
    void addFiles(const QStringList& paths);
    const QStringList& DroppedPaths() const { return m_paths; }
    // False while saving or closing: a new drop then needs a new form.
    bool acceptsFiles() const;
    bool isSaving() const { return m_saving; }

    void FixedCommand_Click();
    void CancelCommand_Click();

    QListWidget* List1() const { return m_list; }
    QLineEdit* Text1() const { return m_date; }
    QPlainTextEdit* RemarksText() const { return m_remark; }
    QComboBox* Combo1(int index) const { return m_combos.value(index); }
    ClosingSequence* closingSequence() const { return m_closing; }

Q_SIGNALS:
    // Saving begins: the main window shows all records.
    void saveStarted();
    // The batch ended; `serials` are those of the records it registered.
    void registered(const QList<qint64>& serials);
    // The closing sequence reached the folder-menu step.
    void foldersChanged();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void batchFinished();
    void showProgress(int index, const QString& fileName, qint64 done, qint64 total);
    void reportOutcomes(const QList<Intake::Outcome>& outcomes);
    void setBusy(bool busy);

    Register m_register;
    QStringList m_paths;
    QListWidget* m_list = nullptr;
    QLineEdit* m_date = nullptr;
    QPlainTextEdit* m_remark = nullptr;
    QList<QComboBox*> m_combos;
    QPushButton* m_fixed = nullptr;
    QPushButton* m_cancel = nullptr;
    ClosingSequence* m_closing = nullptr;
    QProgressDialog* m_progress = nullptr;

    bool m_saving = false;
    int m_batchSize = 0;
    std::shared_ptr<std::atomic_bool> m_cancelFlag;
    QFutureWatcher<QList<Intake::Outcome>> m_watcher;
};
