#pragma once

#include <QString>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

// The network between a program and the test server, played by the test:
// the PostgreSQL protocol is passed from 127.0.0.1 to the server's socket,
// and the answer to one COMMIT the server carried out can be replaced by a
// refusal, as a link failing on the way back may look to the program. The
// program is to connect without SSL or GSS (PGSSLMODE, PGGSSENCMODE set to
// disable), so that every message after the first is typed.
class PgProxy {
public:
    explicit PgProxy(const QString& socketFolder, int serverPort = 5432);
    ~PgProxy();
    PgProxy(const PgProxy&) = delete;
    PgProxy& operator=(const PgProxy&) = delete;

    int port() const { return m_port; }
    // The next COMMIT reaches the server; the program is told it failed.
    void refuseNextCommit() { m_refuse = true; }
    int refused() const { return m_refused; }

private:
    void accept();
    void relay(int client);

    QString m_serverSocket;
    int m_listener = -1;
    int m_port = 0;
    std::atomic_bool m_stop = false;
    std::atomic_bool m_refuse = false;
    std::atomic_int m_refused = 0;
    std::mutex m_mutex;
    std::vector<std::thread> m_relays;
    std::thread m_acceptor;
};
