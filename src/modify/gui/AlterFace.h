#pragma once

#include "modify/RecordModify.h"
#include "store/Register.h"

#include <QDialog>
#include <QList>

class ClosingSequence;
class QComboBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

// The modify form. One record: its four details are shown and "全部修改"
// writes them all. Several records: the fields start empty and each picture
// button writes its one field into every record, after a warning.
class AlterFace : public QDialog {
    Q_OBJECT
public:
    enum class Mode { Single, Batch };

    // `records` are the selected records in row order, as the grid showed
    // them; one record gives single mode. The form deletes itself when it
    // closes.
    AlterFace(Register reg, QList<SeenRecord> records, QWidget* parent = nullptr);

    Mode mode() const { return m_mode; }
    ClosingSequence* closingSequence() const { return m_closing; }
    // Shows the form modal over the main window without blocking the caller.
    void showModal();

    void FixedCommand_Click();
    void AlterCommand_Click(int k);

Q_SIGNALS:
    // The records were written (identities, in row order).
    void changed(const QList<qint64>& rowids);
    // The closing sequence reached the folder-menu step: a folder may have
    // come or gone.
    void foldersChanged();

private:
    void buildControls();
    void fillLookupLists();
    void fillRecords();
    // Writes, shows the new values in the grid and starts closing.
    void save(const RecordModify::Changes& changes);

    Register m_register;
    QList<SeenRecord> m_records;
    Mode m_mode;
    ClosingSequence* m_closing = nullptr;

    QLabel* m_label1 = nullptr;
    QListWidget* m_fileList = nullptr;
    QPlainTextEdit* m_text1 = nullptr;
    QComboBox* m_combo[3] = {};
    QPushButton* m_alterCommand[4] = {};
    QPushButton* m_fixedCommand = nullptr;
    QPushButton* m_cancelCommand = nullptr;
};
