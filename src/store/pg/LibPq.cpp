#include "store/pg/LibPq.h"

#include <dlfcn.h>

namespace {

template <typename Function> bool resolve(void* library, const char* name, Function& function)
{
    function = reinterpret_cast<Function>(dlsym(library, name));
    return function != nullptr;
}

LibPq load()
{
    LibPq pq;
    // Already in the process whenever a server connection exists.
    void* library = dlopen(QUORVEL_LIBPQ_LIBRARY, RTLD_NOW | RTLD_GLOBAL);
    if (!library)
        return pq;
    pq.loaded =
        resolve(library, "PQstatus", pq.status) &&
        resolve(library, "PQtransactionStatus", pq.transactionStatus) &&
        resolve(library, "PQexecParams", pq.execParams) &&
        resolve(library, "PQresultStatus", pq.resultStatus) &&
        resolve(library, "PQresultErrorField", pq.resultErrorField) &&
        resolve(library, "PQerrorMessage", pq.errorMessage) &&
        resolve(library, "PQclear", pq.clear) && resolve(library, "PQntuples", pq.ntuples) &&
        resolve(library, "PQnfields", pq.nfields) && resolve(library, "PQfsize", pq.fsize) &&
        resolve(library, "PQgetisnull", pq.getisnull) &&
        resolve(library, "PQgetvalue", pq.getvalue);
    return pq;
}

} // namespace

const LibPq& LibPq::get()
{
    static const LibPq pq = load();
    return pq;
}
