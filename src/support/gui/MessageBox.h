#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class QWidget;

// Every message box and question of the program goes through here, so that
// tests can answer them instead of a person (no modal dialog ever blocks a
// test run).
class MessageBox {
public:
    enum Answer { Ok, Yes, No };
    enum Kind { Warning, Information, Question };

    struct Shown {
        Kind kind;
        QString caption;
        QString text;
        QStringList list = {}; // a report's list, also part of `text`
    };

    static inline const QString warningCaption = QStringLiteral("警告");
    static inline const QString noticeCaption = QStringLiteral("提示");

    // OK button only.
    static void warning(QWidget* parent, const QString& text,
                        const QString& caption = warningCaption);
    static void information(QWidget* parent, const QString& text,
                            const QString& caption = noticeCaption);
    // Yes and No buttons. Enter gives No unless `enterAnswer` says Yes: a
    // slip of the key must not delete or overwrite anything.
    static Answer question(QWidget* parent, const QString& text,
                           const QString& caption = warningCaption, Answer enterAnswer = No);

    // A report with a list of lines (`Warning` or `Information`): a message
    // box while the list is short, a scrolling window when it is long.
    static void report(QWidget* parent, Kind kind, const QString& summary,
                       const QStringList& lines);

    // Test seam: when scripted, nothing is shown; every box is logged and
    // questions take the queued answers (No when the queue is empty).
    static void setScripted(bool scripted);
    static bool isScripted();
    static void setNextAnswer(Answer answer);
    static QList<Shown> takeLog();
    static const QList<Shown>& log();
};
