#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QUrl>

class SelectFace;
class TableFace;

// Files dropped on the main grid: the add form and the intake of each file.
class IntakeArea : public QObject {
    Q_OBJECT
public:
    explicit IntakeArea(TableFace* face);

    // Local files open the add form (or join the open one); folders are
    // skipped with a note; drops without files do nothing.
    void filesDropped(const QList<QUrl>& urls);

    // The open add form, if any.
    SelectFace* form() const;

private:
    void noteSkippedFolders(const QStringList& folders);

    TableFace* m_face;
    QPointer<SelectFace> m_form;
};
