#include "support/gui/SaveDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QStringList>

namespace {

struct Script {
    bool scripted = false;
    QStringList answers;
    QStringList suggestions;
};

Script& script()
{
    static Script instance;
    return instance;
}

} // namespace

QString SaveDialog::getSaveFileName(QWidget* parent, const QString& suggestedName)
{
    if (script().scripted) {
        script().suggestions.append(suggestedName);
        return script().answers.isEmpty() ? QString() : script().answers.takeFirst();
    }
    return QFileDialog::getSaveFileName(parent, QString(), QDir::home().filePath(suggestedName),
                                        QString(), nullptr, QFileDialog::DontConfirmOverwrite);
}

QString SaveDialog::getExistingFolder(QWidget* parent, const QString& caption)
{
    if (script().scripted) {
        script().suggestions.append(caption);
        return script().answers.isEmpty() ? QString() : script().answers.takeFirst();
    }
    return QFileDialog::getExistingDirectory(parent, caption, QDir::homePath());
}

void SaveDialog::setScripted(bool scripted)
{
    script().scripted = scripted;
    script().answers.clear();
    script().suggestions.clear();
}

void SaveDialog::setNextAnswer(const QString& path)
{
    script().answers.append(path);
}

QStringList SaveDialog::takeSuggestions()
{
    QStringList taken;
    taken.swap(script().suggestions);
    return taken;
}
