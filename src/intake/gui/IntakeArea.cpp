#include "intake/gui/IntakeArea.h"

#include "intake/gui/SelectFace.h"
#include "support/gui/MessageBox.h"

#include <QFileInfo>
#include <QTimer>

IntakeArea::IntakeArea(Register reg, QWidget* window)
    : QObject(window), m_register(std::move(reg)), m_window(window)
{
}

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
    if (files.isEmpty()) {
        noteSkippedFolders(folders);
        return;
    }

    if (m_form && m_form->isSaving()) {
        QTimer::singleShot(0, m_window, [window = m_window] {
            MessageBox::information(window,
                                    QStringLiteral("正在保存上一批文件，请在保存完成后再拖入。"));
        });
        return;
    }
    // A form that is already closing after its save cannot take new lines.
    if (!m_form || !m_form->acceptsFiles()) {
        m_form = new SelectFace(m_register, m_window);
        connect(m_form, &SelectFace::saveStarted, this, &IntakeArea::saveStarted);
        connect(m_form, &SelectFace::registered, this, &IntakeArea::registered);
        connect(m_form, &SelectFace::foldersChanged, this, &IntakeArea::foldersChanged);
    }
    m_form->addFiles(files);
    m_form->show();
    m_form->raise();
    m_form->activateWindow();
    noteSkippedFolders(folders);
}

void IntakeArea::noteSkippedFolders(const QStringList& folders)
{
    if (folders.isEmpty())
        return;
    // Shown after the drop has finished: a message box inside the drop
    // handler would keep the file manager waiting for the drop's end.
    // Parented to the form, so the note leaves the form in front of the
    // main window.
    QWidget* owner = m_form ? static_cast<QWidget*>(m_form.data()) : m_window;
    QTimer::singleShot(0, owner, [owner, folders] {
        MessageBox::information(owner, QStringLiteral("文件夹不能登记，已跳过：\n") +
                                           folders.join(QLatin1Char('\n')));
    });
}

SelectFace* IntakeArea::form() const
{
    return m_form;
}
