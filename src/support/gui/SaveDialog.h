#pragma once

#include <QList>
#include <QString>

class QWidget;

// The save dialog of the program. Like MessageBox it can be scripted, so a
// test chooses the path (or cancels) instead of a person.
class SaveDialog {
public:
    // The chosen path, or an empty text when the user cancelled. The dialog
    // does not ask about overwriting: the caller asks its own question.
    static QString getSaveFileName(QWidget* parent, const QString& suggestedName);

    // A folder to read from, or an empty text when the user cancelled.
    static QString getExistingFolder(QWidget* parent, const QString& caption);

    // Test seam: when scripted, no dialog is shown; each call takes the next
    // queued path (an empty text, or an empty queue, cancels) and logs the
    // suggested name.
    static void setScripted(bool scripted);
    static void setNextAnswer(const QString& path);
    static QStringList takeSuggestions();
};
