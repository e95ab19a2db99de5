// The browser front end as browsers and attackers meet it: a real quorvel-web
// on 127.0.0.1, on a register of each kind, spoken to over HTTP.
#include "support/PgCluster.h"
#include "support/TempRegister.h"

#include "accounts/Accounts.h"
#include "store/RecordStore.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <httplib.h>

#include <memory>

namespace {

const QString password = QStringLiteral("口令-Secret-1");
// HTML and SQL-like text, put into every field a person can type.
const QString hostile =
    QStringLiteral("<script>alert(1)</script>\"'><img src=x onerror=alert(2)>' OR 1=1 --");

// One running server on a register with an account of each role.
class WebServerRun {
public:
    explicit WebServerRun(Register::Kind kind, const QStringList& options = {}) : m_register(kind)
    {
        Accounts accounts(m_register.reg());
        for (const auto& [name, role] :
             {std::pair{"kan", Role::Viewer}, std::pair{"deng", Role::Registrar},
              std::pair{"guan", Role::Administrator}})
            QVERIFY(accounts.add(QString::fromLatin1(name), password, role).ok());
        // A stored name cannot hold "/": the name's HTML goes without one.
        m_record = m_register.addRecord(
            1, QStringLiteral("<img src=x onerror=alert(3)>\"'报告.txt"), hostile, hostile,
            QStringLiteral("2020-01-02"), hostile, hostile, QByteArray("first copy\n"));
        m_register.reg().closeConnection();
        m_process.setProgram(QStringLiteral(QUORVEL_WEB));
        m_process.setArguments(QStringList{QStringLiteral("--register"), m_register.location(),
                                           QStringLiteral("--port"), QStringLiteral("0"),
                                           QStringLiteral("--max-upload-mb"), QStringLiteral("1")} +
                               options);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        QVERIFY(m_process.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(m_process.canReadLine(), 20000);
        const QString line = QString::fromUtf8(m_process.readLine());
        const QRegularExpressionMatch port =
            QRegularExpression(QStringLiteral(":(\\d+)/")).match(line);
        QVERIFY2(port.hasMatch(), qPrintable(line));
        m_port = port.captured(1).toInt();
    }
    ~WebServerRun()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(10000))
            m_process.kill();
    }

    int port() const { return m_port; }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }
    qint64 record() const { return m_record; }
    TempRegister& temp() { return m_register; }
    bool running() const { return m_process.state() == QProcess::Running; }

private:
    TempRegister m_register;
    QProcess m_process;
    int m_port = 0;
    qint64 m_record = 0;
};

// A browser's side: its cookie and the form token of its last page.
class Visitor {
public:
    explicit Visitor(int port) : m_client("127.0.0.1", port) {}

    httplib::Result signIn(const QString& name, const QString& secret = password)
    {
        httplib::Params form{{"name", name.toStdString()}, {"password", secret.toStdString()}};
        httplib::Result result = m_client.Post("/signin", form);
        if (result && result->has_header("Set-Cookie")) {
            const std::string cookie = result->get_header_value("Set-Cookie");
            m_cookie = cookie.substr(0, cookie.find(';'));
            readToken(get("/"));
        }
        return result;
    }
    httplib::Result get(const std::string& path) { return m_client.Get(path, headers()); }
    // A form post carrying the form token (unless `token` says otherwise).
    httplib::Result post(const std::string& path, httplib::Params form,
                         std::optional<std::string> token = std::nullopt)
    {
        const std::string sent = token.value_or(m_token);
        if (!sent.empty())
            form.emplace("csrf", sent);
        return m_client.Post(path, headers(), form);
    }
    httplib::Result upload(const std::string& name, const std::string& bytes)
    {
        httplib::MultipartFormDataItems items{{"csrf", m_token, "", ""},
                                              {"remark", "up", "", ""},
                                              {"files", bytes, name, "application/octet-stream"}};
        return m_client.Post("/add", headers(), items);
    }
    const std::string& token() const { return m_token; }

private:
    httplib::Headers headers() const
    {
        return m_cookie.empty() ? httplib::Headers{} : httplib::Headers{{"Cookie", m_cookie}};
    }
    void readToken(const httplib::Result& page)
    {
        if (!page)
            return;
        const QRegularExpressionMatch match =
            QRegularExpression(QStringLiteral("name=\"csrf\" value=\"([0-9a-f]+)\""))
                .match(QString::fromStdString(page->body));
        m_token = match.captured(1).toStdString();
    }

    httplib::Client m_client;
    std::string m_cookie;
    std::string m_token;
};

int status(const httplib::Result& result)
{
    return result ? result->status : 0;
}

qint64 recordCount(TempRegister& temp)
{
    Result<qint64> count = temp.reg().records()->recordCount();
    return count ? *count : -1;
}

} // namespace

class TestWebServer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void kinds_data()
    {
        QTest::addColumn<bool>("server");
        QTest::newRow("folder") << false;
        QTest::newRow("server") << true;
    }

    // Who may do what: no session, the wrong role, a missing or wrong form token.
    void refusals_data() { kinds_data(); }
    void refusals()
    {
        QFETCH(bool, server);
        NEED_KIND(server);
        WebServerRun run(server ? Register::Kind::Postgres : Register::Kind::Sqlite);
        if (QTest::currentTestFailed())
            return;
        const std::string id = std::to_string(run.record());
        Visitor nobody(run.port()), viewer(run.port()), registrar(run.port()), admin(run.port());
        QCOMPARE(status(viewer.signIn(QStringLiteral("kan"))), 303);
        QCOMPARE(status(registrar.signIn(QStringLiteral("deng"))), 303);
        QCOMPARE(status(admin.signIn(QStringLiteral("guan"))), 303);

        struct Case {
            const char* what;
            Visitor* who;
            std::string path;
            std::optional<std::string> token; // nullopt: the visitor's own
            int expected;
        };
        const httplib::Params change{{"r", id}, {"备注", "changed"}, {"back", "v=all"}};
        const Case cases[] = {
            {"page without session", &nobody, "/", std::nullopt, 303},
            {"download without session", &nobody, "/file/" + id, std::nullopt, 303},
            {"change without session", &nobody, "/modify/save", std::nullopt, 401},
            {"viewer modifies", &viewer, "/modify/save", std::nullopt, 403},
            {"registrar deletes", &registrar, "/delete", std::nullopt, 403},
            {"registrar restores", &registrar, "/bin/restore", std::nullopt, 403},
            {"registrar adds an account", &registrar, "/users/add", std::nullopt, 403},
            {"no form token", &admin, "/modify/save", std::string(), 403},
            {"wrong form token", &admin, "/delete", std::string(64, 'a'), 403},
            {"another's form token", &admin, "/delete", viewer.token(), 403},
        };
        for (const Case& c : cases) {
            const bool isGet = c.path == "/" || c.path.rfind("/file/", 0) == 0;
            httplib::Result result =
                isGet ? c.who->get(c.path) : c.who->post(c.path, change, c.token);
            QVERIFY2(
                status(result) == c.expected,
                qPrintable(
                    QStringLiteral("%1: %2").arg(QString::fromLatin1(c.what)).arg(status(result))));
            if (c.expected == 303)
                QCOMPARE(result->get_header_value("Location"), std::string("/signin"));
        }
        QCOMPARE(recordCount(run.temp()), 1);
        QCOMPARE(run.temp().reg().records()->binEntries()->size(), 0);
        // The same change with the right role and token goes through, under the account's name.
        QCOMPARE(status(registrar.post("/modify/save", change)), 303);
        QVERIFY(QString::fromStdString(registrar.get("/record/" + id)->body)
                    .contains(QStringLiteral("<td>deng</td>")));
        // An account an administrator adds in the browser can sign in.
        QCOMPARE(status(admin.post(
                     "/users/add",
                     {{"name", "xin"}, {"password", password.toStdString()}, {"role", "查看"}})),
                 303);
        QCOMPARE(status(Visitor(run.port()).signIn(QStringLiteral("xin"))), 303);
    }

    // Nothing a request names is a path: traversal in every spelling finds nothing.
    void paths()
    {
        WebServerRun run(Register::Kind::Sqlite);
        if (QTest::currentTestFailed())
            return;
        Visitor admin(run.port());
        admin.signIn(QStringLiteral("guan"));
        for (const char* path :
             {"/file/../../../../etc/passwd", "/file/%2e%2e/%2e%2e/etc/passwd",
              "/file/..%2f..%2fetc%2fpasswd", "//etc/passwd", "/file/1%00", "/file/%00",
              "/record/1/../../etc/passwd", "/file/-1", "/file/99999999999999999999"}) {
            httplib::Result result = admin.get(path);
            QVERIFY2(status(result) >= 400, path);
            QVERIFY2(result->body.find("root:") == std::string::npos, path);
        }
    }

    // Everything typed comes back escaped; SQL-like text is only text.
    void hostileText()
    {
        WebServerRun run(Register::Kind::Sqlite);
        if (QTest::currentTestFailed())
            return;
        Visitor admin(run.port());
        admin.signIn(QStringLiteral("guan"));
        const std::string id = std::to_string(run.record());
        const std::string boxes = "/?v=search&b0=%3Cscript%3E&b5=%27%20OR%201%3D1%20--";
        for (const std::string& path :
             {std::string("/"), "/record/" + id, std::string("/bin"), boxes,
              std::string("/?v=folder&f=%3Cscript%3Ealert(1)%3C/script%3E")}) {
            const std::string body = admin.get(path)->body;
            QVERIFY2(body.find("<script>") == std::string::npos, path.c_str());
            QVERIFY2(body.find("<img") == std::string::npos, path.c_str());
        }
        // The remark box with SQL-like text matches the one record that holds it literally, and
        // a text no record holds matches none.
        QVERIFY(admin.get("/?v=search&b5=%27%20OR%201%3D1%20--")->body.find("共 1 条") !=
                std::string::npos);
        QVERIFY(admin.get("/?v=search&b5=%27%20OR%20%27x%27%3D%27x")->body.find("共 0 条") !=
                std::string::npos);
        QCOMPARE(recordCount(run.temp()), 1);
    }

    // Uploads within the limit are registered and come back byte for byte, under
    // a safe Content-Disposition; larger ones are refused whole.
    void uploadAndDownload_data() { kinds_data(); }
    void uploadAndDownload()
    {
        QFETCH(bool, server);
        NEED_KIND(server);
        WebServerRun run(server ? Register::Kind::Postgres : Register::Kind::Sqlite);
        if (QTest::currentTestFailed())
            return;
        Visitor registrar(run.port());
        registrar.signIn(QStringLiteral("deng"));
        std::string bytes(300 * 1024, '\0');
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = char(i * 7 % 251);
        // Sent as a browser sends it: quote and line feed escaped.
        const std::string name = "报告 \"引号\"\n第二行.bin";
        httplib::Result added = registrar.upload("报告 %22引号%22%0A第二行.bin", bytes);
        QCOMPARE(status(added), 200);
        QVERIFY(added->body.find("已登记 1 个文件") != std::string::npos);
        QCOMPARE(recordCount(run.temp()), 2);

        const qint64 id = *run.temp().reg().records()->identitiesWithSerial(2, 1)->begin();
        httplib::Result file = registrar.get("/file/" + std::to_string(id));
        QCOMPARE(status(file), 200);
        QVERIFY(file->body == bytes);
        // The client hands header values over percent-decoded: the exact name
        // follows UTF-8'', and the plain form before it keeps to one quoted line.
        const std::string disposition = file->get_header_value("Content-Disposition");
        const size_t exact = disposition.find("; filename*=UTF-8''");
        QVERIFY(exact != std::string::npos);
        QCOMPARE(QString::fromStdString(disposition.substr(exact + 19)),
                 QString::fromStdString(name));
        const std::string plain = disposition.substr(0, exact);
        QCOMPARE(std::count(plain.begin(), plain.end(), '"'), 2);
        QVERIFY(plain.find('\n') == std::string::npos && plain.back() == '"');

        QCOMPARE(status(registrar.upload("big.bin", std::string(1536 * 1024, 'x'))), 413);
        QCOMPARE(recordCount(run.temp()), 2);
        QVERIFY(run.running());
    }

    // Guessing passwords is slowed, and says nothing of which accounts exist.
    void signInGuessing()
    {
        WebServerRun run(Register::Kind::Sqlite);
        if (QTest::currentTestFailed())
            return;
        for (const QString& name : {QStringLiteral("guan"), QStringLiteral("nobody")}) {
            Visitor guesser(run.port());
            QString firstRefusal;
            int slowed = 0;
            for (int attempt = 0; attempt < 6; ++attempt) {
                httplib::Result result =
                    guesser.signIn(name, QStringLiteral("wrong%1").arg(attempt));
                QVERIFY(status(result) == 403 || status(result) == 429);
                slowed += status(result) == 429 ? 1 : 0;
                if (attempt == 0)
                    firstRefusal = QString::fromStdString(result->body);
            }
            QVERIFY2(slowed > 0, qPrintable(name));
            QVERIFY(firstRefusal.contains(QStringLiteral("账户名或口令不正确")));
            // Even the right password waits while its account is slowed.
            if (name == QLatin1String("guan"))
                QCOMPARE(status(Visitor(run.port()).signIn(name)), 429);
        }
    }

    // The whole round in a real browser: sign in, search, upload, download,
    // modify, delete and restore, sign out.
    void browser_data() { kinds_data(); }
    void browser()
    {
        QFETCH(bool, server);
        NEED_KIND(server);
        WebServerRun run(server ? Register::Kind::Postgres : Register::Kind::Sqlite);
        if (QTest::currentTestFailed())
            return;
        QTemporaryDir work;
        QProcess flow;
        flow.setProcessChannelMode(QProcess::MergedChannels);
        QStringList arguments{QStringLiteral(QUORVEL_BROWSER_FLOW), run.url(),
                              QStringLiteral("guan"), password, work.path()};
        if (!qEnvironmentVariableIsEmpty("QUORVEL_WEB_SCREENSHOTS") && !server)
            arguments << qEnvironmentVariable("QUORVEL_WEB_SCREENSHOTS");
        flow.start(QStringLiteral("/usr/bin/python3"), arguments);
        QVERIFY(flow.waitForFinished(240000));
        const QByteArray output = flow.readAll();
        QVERIFY2(flow.exitCode() == 0, output.constData());
        // The browser's changes are the register's: one record added, none lost.
        QCOMPARE(recordCount(run.temp()), 2);
    }
};

QTEST_GUILESS_MAIN(TestWebServer)
#include "test_web_server.moc"
