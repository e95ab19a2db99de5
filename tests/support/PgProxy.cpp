#include "support/PgProxy.h"

#include <QFile>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace {

// Whole messages at the front of `buffer`: type byte (none for the first
// one from the program) and a big-endian length that counts itself.
bool takeMessage(std::string& buffer, bool typed, std::string& message)
{
    const std::size_t head = typed ? 1 : 0;
    if (buffer.size() < head + 4)
        return false;
    const auto* bytes = reinterpret_cast<const unsigned char*>(buffer.data() + head);
    const std::size_t length =
        (std::size_t(bytes[0]) << 24) | (bytes[1] << 16) | (bytes[2] << 8) | bytes[3];
    if (buffer.size() < head + length)
        return false;
    message = buffer.substr(0, head + length);
    buffer.erase(0, head + length);
    return true;
}

std::string typedMessage(char type, const std::string& body)
{
    const uint32_t length = htonl(uint32_t(body.size() + 4));
    std::string message(1, type);
    message.append(reinterpret_cast<const char*>(&length), 4);
    return message + body;
}

// What the server says when it is shut down under a statement, and that it
// is ready again: the program sees a failed COMMIT on a connection in order.
std::string refusal()
{
    std::string body;
    for (const char* field :
         {"SERROR", "VERROR", "C57P01", "Mterminating connection due to administrator command"})
        body.append(field).push_back('\0');
    body.push_back('\0');
    return typedMessage('E', body) + typedMessage('Z', "I");
}

bool sendAll(int fd, const std::string& bytes)
{
    for (std::size_t sent = 0; sent < bytes.size();) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += std::size_t(n);
    }
    return true;
}

} // namespace

PgProxy::PgProxy(const QString& socketFolder, int serverPort)
    : m_serverSocket(socketFolder + QStringLiteral("/.s.PGSQL.%1").arg(serverPort))
{
    m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(m_listener, 16) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        qFatal("cannot listen for the proxy");
    m_port = ntohs(address.sin_port);
    m_acceptor = std::thread([this] { accept(); });
}

PgProxy::~PgProxy()
{
    m_stop = true;
    m_acceptor.join();
    for (std::thread& relay : m_relays)
        relay.join();
    ::close(m_listener);
}

void PgProxy::accept()
{
    pollfd waiting{m_listener, POLLIN, 0};
    while (!m_stop) {
        if (::poll(&waiting, 1, 50) <= 0)
            continue;
        const int client = ::accept(m_listener, nullptr, nullptr);
        if (client < 0)
            continue;
        const std::lock_guard lock(m_mutex);
        m_relays.emplace_back([this, client] { relay(client); });
    }
}

void PgProxy::relay(int client)
{
    const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(m_serverSocket);
    std::strncpy(address.sun_path, path.constData(), sizeof address.sun_path - 1);
    if (::connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(client);
        ::close(server);
        return;
    }
    std::string fromClient, fromServer, message;
    bool startup = true;   // the program's first message has no type
    bool refusing = false; // the server's answer to a COMMIT is being replaced
    pollfd ends[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
    char chunk[65536];
    while (!m_stop) {
        if (::poll(ends, 2, 50) <= 0)
            continue;
        bool open = true;
        for (int side = 0; side < 2 && open; ++side) {
            if (ends[side].revents == 0)
                continue;
            const ssize_t n = ::recv(ends[side].fd, chunk, sizeof chunk, 0);
            if (n <= 0) {
                open = false;
                break;
            }
            (side == 0 ? fromClient : fromServer).append(chunk, std::size_t(n));
        }
        while (open && takeMessage(fromClient, !startup, message)) {
            startup = false;
            if (message == typedMessage('Q', std::string("COMMIT", 7)) && m_refuse.exchange(false))
                refusing = true;
            open = sendAll(server, message);
        }
        while (open && takeMessage(fromServer, true, message)) {
            if (!refusing) {
                open = sendAll(client, message);
            } else if (message[0] == 'Z') {
                refusing = false;
                ++m_refused;
                open = sendAll(client, refusal());
            }
        }
        if (!open)
            break;
    }
    ::close(client);
    ::close(server);
}
