#pragma once

#include "store/Register.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QUrl>

class SelectFace;

// Files dropped on the main grid: the add form and the intake of each file.
// The signals of the open form come out here.
class IntakeArea : public QObject {
    Q_OBJECT
public:
    // `window` owns the form and the notes.
    IntakeArea(Register reg, QWidget* window);

    // Local files open the add form (or join the open one); folders are
    // skipped with a note; drops without files do nothing.
    void filesDropped(const QList<QUrl>& urls);

    // The open add form, if any.
    SelectFace* form() const;

Q_SIGNALS:
    void saveStarted();
    void registered(const QList<qint64>& serials);
    void foldersChanged();

private:
    void noteSkippedFolders(const QStringList& folders);

    Register m_register;
    QWidget* m_window;
    QPointer<SelectFace> m_form;
};
