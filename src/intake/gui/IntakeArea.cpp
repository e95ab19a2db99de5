#include "intake/gui/IntakeArea.h"

#include "browser/gui/TableFace.h"
#include "intake/gui/SelectFace.h"
#include "support/gui/MessageBox.h"

#include <QCoreApplication>
#include <QFileInfo>

IntakeArea::IntakeArea(TableFace* face) : QObject(face), m_face(face) {}

void IntakeArea::filesDropped(const QList<QUrl>& urls)
{
    QStringList files;
    QStringList folders;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            continue;
        const QString path = url.toLocalFile();
        if (path.isEmpty())
            continue;
        if (QFileInfo(path).isDir())
            folders << QFileInfo(path).fileName();
        else
            files << path;
    }
    if (!folders.isEmpty()) {
        MessageBox::information(m_face, QStringLiteral("文件夹不能登记，已跳过：\n") +
                                            folders.join(QLatin1Char('\n')));
    }
    if (files.isEmpty())
        return;

    if (m_form && m_form->isSaving()) {
        MessageBox::information(m_face,
                                QStringLiteral("正在保存上一批文件，请在保存完成后再拖入。"));
        return;
    }
    // A form that is already closing after its save cannot take new lines.
    if (!m_form || !m_form->acceptsFiles())
        m_form = new SelectFace(m_face);
    m_form->addFiles(files);
    QCoreApplication::processEvents();
    m_form->show();
    m_form->raise();
    m_form->activateWindow();
}

SelectFace* IntakeArea::form() const
{
    return m_form;
}
