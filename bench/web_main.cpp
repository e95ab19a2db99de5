// The register in a browser, at the server: pages of 50 records (views,
// searches, a saved query), 50 browsers at once, and downloads and uploads
// beside nginx serving the same file on this machine.
// Usage: quorvel-bench-web [records] [runs] [URL]; URL names a server
// register quorvel-bench-server filled with as many records (else the
// SQLite register quorvel-bench generates is served).

#include "BenchRegister.h"
#include "BenchTable.h"
#include "BenchTiming.h"

#include "accounts/Accounts.h"
#include "store/Register.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <httplib.h>
#include <sodium.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

const char* const account = "bench";
const char* const secret = "bench-password";

struct Session {
    std::unique_ptr<httplib::Client> client;
    httplib::Headers cookie;
    std::string token;
};

Session signIn(int port)
{
    Session session{std::make_unique<httplib::Client>("127.0.0.1", port), {}, {}};
    session.client->set_read_timeout(120, 0);
    session.client->set_write_timeout(120, 0);
    httplib::Result result =
        session.client->Post("/signin", httplib::Params{{"name", account}, {"password", secret}});
    if (result && result->has_header("Set-Cookie")) {
        const std::string cookie = result->get_header_value("Set-Cookie");
        session.cookie = {{"Cookie", cookie.substr(0, cookie.find(';'))}};
        httplib::Result page = session.client->Get("/add", session.cookie);
        const QRegularExpressionMatch match =
            QRegularExpression(QStringLiteral("name=\"csrf\" value=\"([0-9a-f]+)\""))
                .match(QString::fromStdString(page ? page->body : std::string()));
        session.token = match.captured(1).toStdString();
    }
    return session;
}

// The milliseconds of one request, -1 when it failed.
double timedGet(Session& session, const std::string& path)
{
    QElapsedTimer timer;
    timer.start();
    httplib::Result result = session.client->Get(path, session.cookie);
    const double ms = timer.nsecsElapsed() / 1e6;
    return result && result->status == 200 ? ms : -1;
}

// A multipart upload of `path`, streamed from the file.
bool upload(Session& session, const QString& path)
{
    const std::string boundary = "----quorvelbench";
    const std::string head =
        "--" + boundary + "\r\nContent-Disposition: form-data; name=\"csrf\"\r\n\r\n" +
        session.token + "\r\n--" + boundary +
        "\r\nContent-Disposition: form-data; name=\"files\"; "
        "filename=\"bench.bin\"\r\nContent-Type: application/octet-stream\r\n\r\n";
    const std::string tail = "\r\n--" + boundary + "--\r\n";
    auto file = std::make_shared<QFile>(path);
    if (!file->open(QIODevice::ReadOnly))
        return false;
    const size_t total = head.size() + static_cast<size_t>(file->size()) + tail.size();
    httplib::Result result = session.client->Post(
        "/add", session.cookie, total,
        [&, file](size_t offset, size_t length, httplib::DataSink& sink) {
            if (offset < head.size())
                return sink.write(head.data() + offset, std::min(length, head.size() - offset));
            const size_t inFile = offset - head.size();
            if (inFile < static_cast<size_t>(file->size())) {
                std::vector<char> buffer(std::min<size_t>(length, 1 << 20));
                file->seek(static_cast<qint64>(inFile));
                const qint64 got = file->read(buffer.data(), static_cast<qint64>(buffer.size()));
                return got > 0 && sink.write(buffer.data(), static_cast<size_t>(got));
            }
            const size_t inTail = inFile - static_cast<size_t>(file->size());
            return sink.write(tail.data() + inTail, std::min(length, tail.size() - inTail));
        },
        "multipart/form-data; boundary=" + boundary);
    return result && result->status == 200 &&
           result->body.find("已登记 1 个文件") != std::string::npos;
}

// Reads `path` to the end, keeping nothing; whether it all came.
bool download(httplib::Client& client, const httplib::Headers& headers, const std::string& path,
              qint64 size)
{
    qint64 received = 0;
    httplib::Result result = client.Get(path, headers, [&](const char*, size_t length) {
        received += static_cast<qint64>(length);
        return true;
    });
    return result && result->status == 200 && received == size;
}

// The same file PUT to nginx (its DAV module writes it to disk).
bool putToNginx(httplib::Client& client, const QString& path, const std::string& target)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    httplib::Result result = client.Put(
        target, static_cast<size_t>(file.size()),
        [&](size_t offset, size_t length, httplib::DataSink& sink) {
            std::vector<char> buffer(std::min<size_t>(length, 1 << 20));
            file.seek(static_cast<qint64>(offset));
            const qint64 got = file.read(buffer.data(), static_cast<qint64>(buffer.size()));
            return got > 0 && sink.write(buffer.data(), static_cast<size_t>(got));
        },
        "application/octet-stream");
    return result && (result->status == 201 || result->status == 204);
}

// nginx serving `root` on `port`, accepting PUT under /put/.
QProcess* startNginx(const QString& prefix, const QString& root, int port)
{
    QDir().mkpath(prefix + QStringLiteral("/logs"));
    QDir().mkpath(root + QStringLiteral("/put"));
    QFile conf(prefix + QStringLiteral("/nginx.conf"));
    if (!conf.open(QIODevice::WriteOnly))
        return nullptr;
    conf.write(
        QStringLiteral("worker_processes 1; pid %1/nginx.pid; error_log %1/logs/error.log;\n"
                       "events { worker_connections 256; }\n"
                       "http { access_log off; sendfile on; client_body_temp_path %1/body;\n"
                       "  server { listen 127.0.0.1:%2; root %3; client_max_body_size 0;\n"
                       "    location /put/ { dav_methods PUT; create_full_put_path on; } } }\n")
            .arg(prefix, QString::number(port), root)
            .toUtf8());
    conf.close();
    auto* nginx = new QProcess;
    nginx->start(QStringLiteral("/usr/sbin/nginx"),
                 {QStringLiteral("-p"), prefix, QStringLiteral("-c"), conf.fileName(),
                  QStringLiteral("-g"), QStringLiteral("daemon off; user root;")});
    if (!nginx->waitForStarted()) {
        delete nginx;
        return nullptr;
    }
    QThread::msleep(500);
    return nginx;
}

// A quorvel-web on `location` with the benchmark's account; its port, 0 when it failed.
int startServer(QProcess& server, const QString& location)
{
    Result<Register> reg = Register::open(location);
    if (!reg) {
        std::fprintf(stderr, "%s\n", qPrintable(reg.error().fullText()));
        return 0;
    }
    Accounts accounts(*reg);
    if (!accounts.find(QString::fromLatin1(account)))
        (void)accounts.add(QString::fromLatin1(account), QString::fromLatin1(secret),
                           Role::Administrator);
    reg->closeConnection();
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.start(QStringLiteral(QUORVEL_WEB_PATH),
                 {QStringLiteral("--register"), location, QStringLiteral("--port"),
                  QStringLiteral("0"), QStringLiteral("--max-upload-mb"), QStringLiteral("8192")});
    if (!server.waitForStarted() || !server.waitForReadyRead(60000))
        return 0;
    return QRegularExpression(QStringLiteral(":(\\d+)/"))
        .match(QString::fromUtf8(server.readLine()))
        .captured(1)
        .toInt();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const int count = arguments.size() > 1 ? arguments.at(1).toInt() : 1000000;
    const int runs = arguments.size() > 2 ? arguments.at(2).toInt() : 5;
    const QString location = arguments.size() > 3
                                 ? arguments.at(3)
                                 : BenchRegister::cached(BenchRegister::defaultCache(), count);
    if (sodium_init() < 0)
        return 1;
    QProcess server;
    const int port = startServer(server, location);
    if (port == 0)
        return 1;
    Session session = signIn(port);
    if (session.token.empty()) {
        std::fprintf(stderr, "signing in failed\n");
        return 1;
    }

    printBenchHeader("first ms", "later ms", "target (later)");
    const std::vector<std::pair<const char*, std::string>> pages = {
        {"page: all records", "/?v=all"},
        {"page: sent by me", "/?v=sent"},
        {"page: received", "/?v=received"},
        {"page: folder 资料", "/?v=folder&f=%E8%B5%84%E6%96%99"},
        {"page: search name 报告", "/?v=search&b0=%E6%8A%A5%E5%91%8A"},
        {"page: search recipient 张", "/?v=search&b1=%E5%BC%A0"},
        {"page: saved query 1", "/?v=query&q=1"},
    };
    for (const auto& [label, path] : pages) {
        // The first asks the register for the view's keys; later pages of it
        // (first, middle, last) read only their 50 records.
        const double first = timedGet(session, path);
        std::vector<double> later;
        for (int run = 0; run < runs; ++run) {
            for (const char* page : {"&p=1", "&p=50", "&p=999999"})
                later.push_back(timedGet(session, path + page));
        }
        printBenchRow(label, count, first, medianOf(later), "<= 100 ms");
    }

    // 50 browsers at once, each browsing and searching.
    {
        constexpr int browsers = 50;
        constexpr int requests = 20;
        std::vector<std::vector<double>> times(browsers);
        std::atomic<int> lost{0};
        std::vector<std::thread> threads;
        QElapsedTimer wall;
        wall.start();
        for (int b = 0; b < browsers; ++b) {
            threads.emplace_back([&, b] {
                Session own = signIn(port);
                for (int r = 0; r < requests; ++r) {
                    const auto& [label, path] =
                        pages.at(static_cast<size_t>((b + r) % pages.size()));
                    const double ms =
                        timedGet(own, path + "&p=" + std::to_string(1 + (b * 37 + r * 11) % 200));
                    if (ms < 0)
                        ++lost;
                    else
                        times[static_cast<size_t>(b)].push_back(ms);
                }
            });
        }
        for (std::thread& thread : threads)
            thread.join();
        std::vector<double> all;
        for (const auto& own : times)
            all.insert(all.end(), own.begin(), own.end());
        std::sort(all.begin(), all.end());
        printBenchRow("50 browsers: median", count, medianOf(all),
                      all.empty() ? 0 : all.at(all.size() * 95 / 100), "median <= 150 ms");
        std::printf("  (%d requests lost, %.1f s in all)\n", lost.load(), wall.elapsed() / 1000.0);
    }

    // Transfers beside nginx, in turns, on a register of their own (the large
    // one stays as generated).
    QTemporaryDir work(QDir::tempPath() + QStringLiteral("/quorvel-bench-web-XXXXXX"));
    QProcess transferServer;
    const int transferPort = startServer(transferServer, work.filePath(QStringLiteral("register")));
    if (transferPort == 0)
        return 1;
    session = signIn(transferPort);
    const QString root = work.filePath(QStringLiteral("root"));
    QDir().mkpath(root);
    const qint64 size = qint64(512) << 20;
    const QString file = root + QStringLiteral("/bench.bin");
    writeFile(file, size);
    const int nginxPort = 20000 + QCoreApplication::applicationPid() % 20000;
    std::unique_ptr<QProcess> nginx(
        startNginx(work.filePath(QStringLiteral("nginx")), root, nginxPort));
    if (!nginx) {
        std::fprintf(stderr, "nginx did not start\n");
        return 1;
    }
    httplib::Client direct("127.0.0.1", nginxPort);
    direct.set_read_timeout(300, 0);
    direct.set_write_timeout(300, 0);
    if (!upload(session, file)) {
        std::fprintf(stderr, "upload failed\n");
        return 1;
    }
    // The record just registered is the newest: the first row of the last page.
    httplib::Result last = session.client->Get("/?v=all&p=999999", session.cookie);
    const QRegularExpressionMatchIterator links =
        QRegularExpression(QStringLiteral("/file/(\\d+)"))
            .globalMatch(QString::fromStdString(last->body));
    QString newest;
    for (auto it = links; it.hasNext();)
        newest = it.next().captured(1);
    const std::string ourFile = "/file/" + newest.toStdString();
    bool allCame = true;
    const auto [ourDown, nginxDown] = medianMsInTurns(
        [&] { allCame &= download(*session.client, session.cookie, ourFile, size); },
        [&] { allCame &= download(direct, {}, "/bench.bin", size); }, 3);
    const auto [ourUp, nginxUp] =
        medianMsInTurns([&] { allCame &= upload(session, file); },
                        [&] { allCame &= putToNginx(direct, file, "/put/bench.bin"); }, 3);
    const double mb = size / 1048576.0;
    printBenchHeader("ours MB/s", "nginx MB/s", "target (ours/nginx)");
    printBenchRow("download 512 MB", count, mb / (ourDown / 1000), mb / (nginxDown / 1000),
                  ">= 0.8");
    printBenchRow("upload 512 MB", count, mb / (ourUp / 1000), mb / (nginxUp / 1000), ">= 0.8");
    std::printf("  (all bytes came: %s; quorvel-web peak memory %ld MB)\n", allCame ? "yes" : "NO",
                statusKiB(static_cast<pid_t>(transferServer.processId()), "VmHWM:") / 1024);
    transferServer.terminate();
    transferServer.waitForFinished();
    nginx->terminate();
    nginx->waitForFinished();
    server.terminate();
    server.waitForFinished();
    return 0;
}
