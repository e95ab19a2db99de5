#pragma once

#include <libpq-fe.h>

// The few libpq calls made beside Qt's server driver, looked up at first
// use in the libpq that driver loads. Linking them would load libpq and
// everything it needs (Kerberos, LDAP, TLS) at the start of every program,
// a command on an SQLite register included.
struct LibPq {
    decltype(&::PQstatus) status = nullptr;
    decltype(&::PQtransactionStatus) transactionStatus = nullptr;
    decltype(&::PQexecParams) execParams = nullptr;
    decltype(&::PQresultStatus) resultStatus = nullptr;
    decltype(&::PQresultErrorField) resultErrorField = nullptr;
    decltype(&::PQerrorMessage) errorMessage = nullptr;
    decltype(&::PQclear) clear = nullptr;
    decltype(&::PQntuples) ntuples = nullptr;
    decltype(&::PQnfields) nfields = nullptr;
    decltype(&::PQfsize) fsize = nullptr;
    decltype(&::PQgetisnull) getisnull = nullptr;
    decltype(&::PQgetvalue) getvalue = nullptr;

    // Every call found; false when libpq cannot be loaded at all.
    bool loaded = false;

    static const LibPq& get();
};
