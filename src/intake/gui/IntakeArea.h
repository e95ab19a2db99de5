#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

class TableFace;

// Files dropped on the main grid: the add form and the intake of each file.
class IntakeArea : public QObject {
    Q_OBJECT
public:
    explicit IntakeArea(TableFace* face);

    void filesDropped(const QList<QUrl>& urls);

private:
    TableFace* m_face;
};
