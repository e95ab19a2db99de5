#include "support/gui/MessageBox.h"

#include "support/gui/ReportWindow.h"

#include <QMessageBox>

namespace {

struct Script {
    bool scripted = false;
    QList<MessageBox::Answer> answers;
    QList<MessageBox::Shown> log;
};

Script& script()
{
    static Script instance;
    return instance;
}

} // namespace

void MessageBox::warning(QWidget* parent, const QString& text, const QString& caption)
{
    if (script().scripted) {
        script().log.append({Warning, caption, text});
        return;
    }
    QMessageBox::warning(parent, caption, text, QMessageBox::Ok);
}

void MessageBox::information(QWidget* parent, const QString& text, const QString& caption)
{
    if (script().scripted) {
        script().log.append({Information, caption, text});
        return;
    }
    QMessageBox::information(parent, caption, text, QMessageBox::Ok);
}

MessageBox::Answer MessageBox::question(QWidget* parent, const QString& text,
                                        const QString& caption, Answer enterAnswer)
{
    if (script().scripted) {
        script().log.append({Question, caption, text});
        return script().answers.isEmpty() ? No : script().answers.takeFirst();
    }
    // An empty title would be replaced by the program's name on X11.
    const auto button =
        QMessageBox::question(parent, caption.isEmpty() ? QStringLiteral(" ") : caption, text,
                              QMessageBox::Yes | QMessageBox::No,
                              enterAnswer == Yes ? QMessageBox::Yes : QMessageBox::No);
    return button == QMessageBox::Yes ? Yes : No;
}

void MessageBox::report(QWidget* parent, Kind kind, const QString& summary,
                        const QStringList& lines)
{
    QString text = summary.trimmed();
    if (!lines.isEmpty())
        text += QLatin1Char('\n') + lines.join(QLatin1Char('\n'));
    if (script().scripted) {
        script().log.append({kind, kind == Warning ? warningCaption : noticeCaption, text, lines});
        return;
    }
    if (lines.size() <= ReportWindow::messageBoxLines) {
        if (kind == Warning)
            warning(parent, text);
        else
            information(parent, text);
        return;
    }
    ReportWindow window(parent, summary, lines, kind == Warning);
    window.exec();
}

void MessageBox::setScripted(bool scripted)
{
    script().scripted = scripted;
    script().answers.clear();
    script().log.clear();
}

bool MessageBox::isScripted()
{
    return script().scripted;
}

void MessageBox::setNextAnswer(Answer answer)
{
    script().answers.append(answer);
}

QList<MessageBox::Shown> MessageBox::takeLog()
{
    QList<Shown> taken;
    taken.swap(script().log);
    return taken;
}

const QList<MessageBox::Shown>& MessageBox::log()
{
    return script().log;
}
