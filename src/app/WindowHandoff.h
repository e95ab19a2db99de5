#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>

class QLocalServer;
class TableFace;

// One window per register. The first program on a register serves a local
// socket named after the register's folder; a later launch on the same
// register hands its files to it and ends, so the files open in the window
// that is already there.
class WindowHandoff : public QObject {
    Q_OBJECT
public:
    enum class Claim {
        Serving,    // this program has the register's window
        HandedOver, // another program has it and took the files
        Failed      // no socket could be served; go on with a window of our own
    };

    explicit WindowHandoff(const QString& registerFolder, QObject* parent = nullptr);

    // Decides, under a lock so that two launches at once cannot both win.
    // `files` are made absolute before they are handed over.
    Claim claim(const QStringList& files);
    QString errorString() const { return m_error; }

    // Brings `face` to the front for every later launch and opens the add
    // form with the files it gave, as a drop does. While a modal window is
    // open the files wait, and the form opens in front once it has closed.
    void deliverTo(TableFace* face);

    // Opens the add form with the files of a command line, as a drop does,
    // and says which of them do not exist.
    static void openFiles(TableFace* face, const QStringList& files);

    static QString socketPath(const QString& registerFolder);

Q_SIGNALS:
    void handedOver(const QStringList& files);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool handOver(const QStringList& files);
    void receive();
    void deliverWaiting();

    QString m_path;
    QString m_error;
    QLocalServer* m_server = nullptr;
    QPointer<TableFace> m_face;
    QStringList m_waiting;
    QPointer<QWidget> m_modal; // watched until it closes
};
