#pragma once

#include "web/WebContext.h"

#include <httplib.h>

// Each page's requests, added to the server by WebServer.
namespace WebRoutes {

void signIn(httplib::Server& server, WebContext& context);  // /signin, /signout
void records(httplib::Server& server, WebContext& context); // /, /record/N, changes to records
void files(httplib::Server& server, WebContext& context);   // /file/N, /add
void bin(httplib::Server& server, WebContext& context);     // /bin and its actions
void users(httplib::Server& server, WebContext& context);   // /users: the accounts

} // namespace WebRoutes
