#pragma once

#include <QDialog>
#include <QStringList>

class QPlainTextEdit;

// A report whose list may run to thousands of lines (what a conversion or an
// import left behind, what a restore did): the summary stays on top, the
// list scrolls below, the window can be resized and never grows past the
// screen, and "保存…" writes everything to a text file.
class ReportWindow : public QDialog {
    Q_OBJECT
public:
    ReportWindow(QWidget* parent, const QString& summary, const QStringList& lines, bool warning);

    // Lists of up to this many lines still fit a message box.
    static constexpr int messageBoxLines = 12;

    // Writes the summary and the list to `path` as UTF-8 text; false (with
    // the reason in `error`) when the file could not be written whole.
    static bool save(const QString& path, const QString& summary, const QStringList& lines,
                     QString* error);
    // Asks for a file name and saves there, saying so when it fails.
    static void saveAs(QWidget* parent, const QString& summary, const QStringList& lines);

private:
    QString m_summary;
    QStringList m_lines;
};
