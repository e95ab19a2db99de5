#include "support/PgCluster.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <pwd.h>
#include <unistd.h>

namespace {

QString serverBin()
{
    QProcess config;
    config.start(QStringLiteral("pg_config"), {QStringLiteral("--bindir")});
    if (config.waitForFinished(10000) && config.exitCode() == 0) {
        const QString bin = QString::fromLocal8Bit(config.readAllStandardOutput()).trimmed();
        if (QFileInfo::exists(bin + QStringLiteral("/initdb")))
            return bin;
    }
    const QString debian = QStringLiteral("/usr/lib/postgresql/15/bin");
    return QFileInfo::exists(debian + QStringLiteral("/initdb")) ? debian : QString();
}

// The server refuses to run as root: then it runs as `postgres`.
bool asRoot()
{
    return ::geteuid() == 0;
}

bool run(const QString& program, const QStringList& arguments, const QString& folder,
         QString* output)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (asRoot())
        process.start(QStringLiteral("runuser"),
                      QStringList{QStringLiteral("-u"), QStringLiteral("postgres"),
                                  QStringLiteral("--"), program} +
                          arguments);
    else
        process.start(program, arguments);
    const bool finished = process.waitForFinished(120000);
    if (output)
        *output = QString::fromLocal8Bit(process.readAll());
    return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// "quorvel-pg-<pid>-": a server whose test program died without stopping it
// is stopped by the next one.
QString folderPrefix()
{
    return QDir::tempPath() + QStringLiteral("/quorvel-pg-");
}

void stopServer(const QString& bin, const QString& folder)
{
    const QString stop =
        QStringLiteral("%1%2/pg_ctl -D %3/data -m fast -w stop >/dev/null 2>&1")
            .arg(asRoot() ? QStringLiteral("runuser -u postgres -- ") : QString(), bin, folder);
    static_cast<void>(std::system(stop.toLocal8Bit().constData()));
    std::error_code ignored;
    std::filesystem::remove_all(QFile::encodeName(folder).toStdString(), ignored);
}

void stopAbandoned(const QString& bin)
{
    const QFileInfo prefix(folderPrefix());
    const QStringList found =
        QDir(prefix.path())
            .entryList({prefix.fileName() + QLatin1Char('*')}, QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& name : found) {
        bool number = false;
        const qint64 pid =
            name.mid(prefix.fileName().size()).section(QLatin1Char('-'), 0, 0).toLongLong(&number);
        if (number && pid > 0 && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH)
            stopServer(bin, QDir(prefix.path()).filePath(name));
    }
}

std::unique_ptr<PgCluster>& instance()
{
    static std::unique_ptr<PgCluster> cluster;
    return cluster;
}

} // namespace

PgCluster* PgCluster::shared(QString* whyNot)
{
    static QString failure;
    static bool tried = false;
    if (!tried) {
        tried = true;
        std::unique_ptr<PgCluster> cluster(new PgCluster);
        if (cluster->start(&failure)) {
            instance() = std::move(cluster);
            // Stopped at exit even when a test fails half-way.
            std::atexit([] { instance().reset(); });
        }
    }
    if (whyNot)
        *whyNot = failure;
    return instance().get();
}

bool PgCluster::start(QString* whyNot)
{
    m_bin = serverBin();
    if (m_bin.isEmpty()) {
        *whyNot = QStringLiteral("PostgreSQL server programs (initdb) not installed");
        return false;
    }
    if (asRoot() && !::getpwnam("postgres")) {
        *whyNot = QStringLiteral("running as root and there is no postgres user to run the server");
        return false;
    }
    stopAbandoned(m_bin);
    QByteArray pattern =
        QFile::encodeName(folderPrefix() + QString::number(::getpid())) + "-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        *whyNot = QStringLiteral("cannot make a temporary folder");
        return false;
    }
    m_folder = QFile::decodeName(pattern);
    if (asRoot()) {
        const passwd* postgres = ::getpwnam("postgres");
        if (::chown(pattern.constData(), postgres->pw_uid, postgres->pw_gid) != 0) {
            *whyNot = QStringLiteral("cannot hand the temporary folder to postgres");
            return false;
        }
    }
    const QString data = m_folder + QStringLiteral("/data");
    QString output;
    if (!run(m_bin + QStringLiteral("/initdb"),
             {QStringLiteral("-D"), data, QStringLiteral("-U"), user(),
              QStringLiteral("--auth=trust"), QStringLiteral("-E"), QStringLiteral("UTF8"),
              QStringLiteral("--locale=C"), QStringLiteral("--no-sync")},
             m_folder, &output)) {
        *whyNot = QStringLiteral("initdb failed: ") + output;
        return false;
    }
    // Counted as running from here: a start that timed out may still have
    // left a server behind, which the destructor stops.
    m_running = true;
    if (!startServer(&output)) {
        *whyNot = QStringLiteral("the server did not start: ") + output;
        return false;
    }
    return true;
}

bool PgCluster::startServer(QString* output)
{
    return run(m_bin + QStringLiteral("/pg_ctl"),
               {QStringLiteral("-D"), m_folder + QStringLiteral("/data"), QStringLiteral("-l"),
                m_folder + QStringLiteral("/log"), QStringLiteral("-o"),
                QStringLiteral("-k %1 -c listen_addresses='' -c fsync=off").arg(m_folder),
                QStringLiteral("-w"), QStringLiteral("start")},
               m_folder, output);
}

bool PgCluster::stop()
{
    return run(m_bin + QStringLiteral("/pg_ctl"),
               {QStringLiteral("-D"), m_folder + QStringLiteral("/data"), QStringLiteral("-m"),
                QStringLiteral("fast"), QStringLiteral("-w"), QStringLiteral("stop")},
               m_folder, nullptr);
}

bool PgCluster::resume()
{
    return startServer(nullptr);
}

PgCluster::~PgCluster()
{
    // Plain processes: this may run after the application object is gone.
    if (m_running)
        stopServer(m_bin, m_folder);
    else if (!m_folder.isEmpty())
        std::filesystem::remove_all(QFile::encodeName(m_folder).toStdString());
}

QString PgCluster::createDatabase()
{
    const QString name = QStringLiteral("register_%1").arg(++m_databases);
    const QString connection = QStringLiteral("pg-cluster-admin");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection);
        db.setHostName(m_folder);
        db.setDatabaseName(QStringLiteral("postgres"));
        db.setUserName(user());
        if (!db.open())
            qFatal("cannot reach the test server: %s", qPrintable(db.lastError().text()));
        QSqlQuery create(db);
        // A name we made ourselves, so it may stand in the statement.
        if (!create.exec(QStringLiteral("CREATE DATABASE %1").arg(name)))
            qFatal("cannot create a test database: %s", qPrintable(create.lastError().text()));
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return name;
}

QString PgCluster::url(const QString& database, const QString& store) const
{
    return QStringLiteral("postgresql://%1@/%2?host=%3&store=%4")
        .arg(user(), database, m_folder, store);
}
