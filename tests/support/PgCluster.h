#pragma once

#include <QString>
#include <QTest>

// A throw-away PostgreSQL server for one test program: its own folder in
// /tmp, reachable only through a Unix socket there, stopped and removed when
// the program ends. Run as root (CI), the server runs as the `postgres` user.
class PgCluster {
public:
    // The program's one server, started on first use; null (with the reason
    // in `whyNot`) when the server programs are not installed or it failed.
    static PgCluster* shared(QString* whyNot = nullptr);
    // Whether a missing server fails the case rather than skipping it: the
    // test script sets QUORVEL_REQUIRE_PG=1, having installed the programs.
    static bool required() { return qEnvironmentVariableIntValue("QUORVEL_REQUIRE_PG") == 1; }

    ~PgCluster();
    PgCluster(const PgCluster&) = delete;
    PgCluster& operator=(const PgCluster&) = delete;

    QString socketFolder() const { return m_folder; }
    static QString user() { return QStringLiteral("quorvel"); }

    // A new empty database; its name.
    QString createDatabase();
    // The register URL of `database` with its copies in `store`.
    QString url(const QString& database, const QString& store) const;

    // Stops the server as an administrator would (fast: every connection is
    // cut), and starts it again; whether that worked.
    bool stop();
    bool resume();
    bool restart() { return stop() && resume(); }

private:
    PgCluster() = default;
    bool start(QString* whyNot);
    bool startServer(QString* output);

    QString m_bin;
    QString m_folder;
    bool m_running = false;
    int m_databases = 0;
};

// In a test function: `cluster`, the shared server, or the case skipped
// (failed where the server is required) when there is none.
#define NEED_SERVER(cluster)                                                                       \
    QString whyNot;                                                                                \
    PgCluster* cluster = PgCluster::shared(&whyNot);                                               \
    if (!cluster && PgCluster::required())                                                         \
        QFAIL(qPrintable(QStringLiteral("no PostgreSQL test server: ") + whyNot));                 \
    if (!cluster)                                                                                  \
        QSKIP(qPrintable(QStringLiteral("no PostgreSQL test server: ") + whyNot));

// The same for a case run on either kind: skipped (or failed) only when
// `server` says it needs the server.
#define NEED_KIND(server)                                                                          \
    do {                                                                                           \
        if (server) {                                                                              \
            NEED_SERVER(needed);                                                                   \
            Q_UNUSED(needed);                                                                      \
        }                                                                                          \
    } while (false)
