#include "app/WindowHandoff.h"

#include "app/TableFace.h"
#include "intake/gui/IntakeArea.h"
#include "support/gui/MessageBox.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QTimer>
#include <QUrl>

#include <unistd.h>

#include <utility>

namespace {

// Message: a version, then the files as a string list.
constexpr quint32 messageVersion = 1;
constexpr int connectWait = 1000;
constexpr int answerWait = 3000;

} // namespace

WindowHandoff::WindowHandoff(const QString& registerFolder, QObject* parent)
    : QObject(parent), m_path(socketPath(registerFolder))
{
}

QString WindowHandoff::socketPath(const QString& registerFolder)
{
    const QFileInfo info(registerFolder);
    // A register not created yet has no canonical path; both launches then
    // name it the same absolute way.
    QString key = info.canonicalFilePath();
    if (key.isEmpty())
        key = QDir::cleanPath(info.absoluteFilePath());
    const QByteArray hash =
        QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha256).toHex().left(24);
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return runtime + QStringLiteral("/quorvel-") + QString::fromLatin1(hash);
    // The shared temporary folder: the user id keeps users apart.
    return QDir::tempPath() + QStringLiteral("/quorvel-%1-").arg(::getuid()) +
           QString::fromLatin1(hash);
}

WindowHandoff::Claim WindowHandoff::claim(const QStringList& files)
{
    QStringList absolute;
    for (const QString& file : files)
        absolute << QFileInfo(file).absoluteFilePath();

    QLockFile lock(m_path + QStringLiteral(".lock"));
    if (!lock.tryLock(10000)) {
        m_error = QStringLiteral("无法锁定 %1.lock").arg(m_path);
        return Claim::Failed;
    }
    if (handOver(absolute))
        return Claim::HandedOver;

    // Nobody answers: what is left is the socket of a program that ended
    // without removing it.
    QLocalServer::removeServer(m_path);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_path)) {
        m_error = m_server->errorString();
        delete m_server;
        m_server = nullptr;
        return Claim::Failed;
    }
    connect(m_server, &QLocalServer::newConnection, this, &WindowHandoff::receive);
    return Claim::Serving;
}

bool WindowHandoff::handOver(const QStringList& files)
{
    QLocalSocket socket;
    socket.connectToServer(m_path);
    if (!socket.waitForConnected(connectWait))
        return false;
    QByteArray message;
    QDataStream out(&message, QIODevice::WriteOnly);
    out << messageVersion << files;
    socket.write(message);
    socket.waitForBytesWritten(answerWait);
    // The window is there: even when it is too busy to answer at once, the
    // files wait in the socket until it reads them.
    socket.waitForReadyRead(answerWait);
    return true;
}

void WindowHandoff::receive()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto read = [this, socket] {
            QDataStream in(socket);
            in.startTransaction();
            quint32 version = 0;
            QStringList files;
            in >> version >> files;
            if (!in.commitTransaction())
                return;
            socket->write("1");
            socket->disconnectFromServer();
            if (version == messageVersion)
                Q_EMIT handedOver(files);
        };
        connect(socket, &QLocalSocket::readyRead, this, read);
        if (socket->bytesAvailable() > 0)
            read();
    }
}

void WindowHandoff::deliverTo(TableFace* face)
{
    m_face = face;
    connect(this, &WindowHandoff::handedOver, face, [this](const QStringList& files) {
        m_waiting += files;
        deliverWaiting();
    });
}

void WindowHandoff::deliverWaiting()
{
    if (!m_face || m_waiting.isEmpty())
        return;
    // A form opened now would sit behind the modal window, taking no input.
    if (QWidget* modal = QApplication::activeModalWidget()) {
        if (modal != m_modal) {
            m_modal = modal;
            modal->installEventFilter(this);
            connect(modal, &QObject::destroyed, this,
                    [this] { QTimer::singleShot(0, this, &WindowHandoff::deliverWaiting); });
        }
        return;
    }
    TableFace* face = m_face;
    const QStringList files = std::exchange(m_waiting, {});
    if (face->isMinimized() || face->isHidden())
        face->showNormal();
    face->raise();
    face->activateWindow();
    openFiles(face, files);
}

bool WindowHandoff::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_modal && event->type() == QEvent::Hide) {
        m_modal->removeEventFilter(this);
        m_modal = nullptr;
        // Once the modal window has gone; another may have followed it.
        QTimer::singleShot(0, this, &WindowHandoff::deliverWaiting);
    }
    return false;
}

void WindowHandoff::openFiles(TableFace* face, const QStringList& files)
{
    // A drop only ever carries files that exist; a command line may name
    // one mistyped, which would otherwise fail only when saved.
    QList<QUrl> urls;
    QStringList missing;
    for (const QString& file : files) {
        if (QFileInfo::exists(file))
            urls << QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath());
        else
            missing << file;
    }
    if (!urls.isEmpty())
        face->intake()->filesDropped(urls);
    if (!missing.isEmpty()) {
        QTimer::singleShot(0, face, [face, missing] {
            MessageBox::information(face, QStringLiteral("找不到文件，未打开：\n") +
                                              missing.join(QLatin1Char('\n')));
        });
    }
}
