#pragma once

#include "web/WebContext.h"

#include <httplib.h>

#include <QString>

// The HTTP server of the register's pages: binds, then serves on a pool of
// worker threads until stop().
class WebServer {
public:
    explicit WebServer(WebContext& context);

    // Binds the address and port of the settings (port 0: one the system picks).
    bool bind(QString* error);
    int port() const { return m_port; }
    // Serves until stop(); blocks.
    void run();
    void stop();

private:
    WebContext& m_context;
    httplib::Server m_server;
    int m_port = 0;
};
