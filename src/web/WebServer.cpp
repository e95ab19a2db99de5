#include "web/WebServer.h"

#include "web/Html.h"
#include "web/WebRoutes.h"

#include <QDebug>

WebServer::WebServer(WebContext& context) : m_context(context)
{
    const int threads = qMax(2, context.settings.threads);
    m_server.new_task_queue = [threads] {
        return new httplib::ThreadPool(threads);
    };
    // The form fields of an upload come on top of its files.
    m_server.set_payload_max_length(static_cast<size_t>(context.settings.maxUploadBytes) +
                                    1024 * 1024);
    m_server.set_read_timeout(60, 0);
    m_server.set_write_timeout(60, 0);
    // No page of ours is framed, sniffed, or runs script it did not bring.
    m_server.set_default_headers({
        {"X-Content-Type-Options", "nosniff"},
        {"X-Frame-Options", "DENY"},
        {"Referrer-Policy", "same-origin"},
        {"Content-Security-Policy", "default-src 'none'; style-src 'unsafe-inline'; "
                                    "img-src 'self'; form-action 'self'; frame-ancestors 'none'"},
    });
    WebRoutes::signIn(m_server, context);
    WebRoutes::records(m_server, context);
    WebRoutes::files(m_server, context);
    WebRoutes::bin(m_server, context);
    WebRoutes::users(m_server, context);
    m_server.set_error_handler([this](const httplib::Request&, httplib::Response& response) {
        if (!response.body.empty() || response.has_header("Location") ||
            response.content_length_ > 0)
            return;
        const QString text = response.status == 404 ? QStringLiteral("没有这个页面。")
                             : response.status == 413
                                 ? QStringLiteral("上传的文件超过了允许的大小。")
                                 : QStringLiteral("请求无法处理。");
        m_context.sendFailure(response, nullptr, response.status, text);
    });
    m_server.set_exception_handler(
        [this](const httplib::Request&, httplib::Response& response, std::exception_ptr) {
            m_context.sendFailure(response, nullptr, 500, QStringLiteral("服务器内部错误。"));
        });
}

bool WebServer::bind(QString* error)
{
    const std::string host = m_context.settings.host.toStdString();
    if (m_context.settings.port == 0)
        m_port = m_server.bind_to_any_port(host);
    else if (m_server.bind_to_port(host, m_context.settings.port))
        m_port = m_context.settings.port;
    else
        m_port = -1;
    if (m_port <= 0 && error)
        *error = QStringLiteral("无法在 %1 端口 %2 上接受连接（端口已被占用，或地址不属于本机）")
                     .arg(m_context.settings.host, QString::number(m_context.settings.port));
    return m_port > 0;
}

void WebServer::run()
{
    m_server.listen_after_bind();
}

void WebServer::stop()
{
    m_server.stop();
}
