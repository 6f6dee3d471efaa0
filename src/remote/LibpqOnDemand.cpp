// The libpq functions the counter link calls, loaded with libpq itself the
// first time one is called: on the link's thread when it first connects.
// Linked as usual, libpq would load at every start of the program, and with
// it OpenSSL, GnuTLS, Kerberos and LDAP (some 5 MB and two dozen libraries),
// for a server most stations never have; the report's reading does the same
// through records/DriverLibraries.
//
// Without libpq (not installed, or a function missing) no connection is made:
// PQconnectdb gives nullptr, which libpq's own calls take as a failed
// connection, and PQerrorMessage says why.
#include <libpq-fe.h>

#include <dlfcn.h>

#include <string>

namespace {

struct Libpq
{
    decltype(&::PQconnectdb) connectdb = nullptr;
    decltype(&::PQstatus) status = nullptr;
    decltype(&::PQerrorMessage) errorMessage = nullptr;
    decltype(&::PQfinish) finish = nullptr;
    decltype(&::PQsocket) socket = nullptr;
    decltype(&::PQconsumeInput) consumeInput = nullptr;
    decltype(&::PQnotifies) notifies = nullptr;
    decltype(&::PQfreemem) freemem = nullptr;
    decltype(&::PQexecParams) execParams = nullptr;
    decltype(&::PQsendQueryParams) sendQueryParams = nullptr;
    decltype(&::PQgetResult) getResult = nullptr;
    decltype(&::PQresultStatus) resultStatus = nullptr;
    decltype(&::PQresultErrorField) resultErrorField = nullptr;
    decltype(&::PQresultErrorMessage) resultErrorMessage = nullptr;
    decltype(&::PQntuples) ntuples = nullptr;
    decltype(&::PQgetvalue) getvalue = nullptr;
    decltype(&::PQgetlength) getlength = nullptr;
    decltype(&::PQgetisnull) getisnull = nullptr;
    decltype(&::PQclear) clear = nullptr;
    decltype(&::PQgetCancel) getCancel = nullptr;
    decltype(&::PQcancel) cancel = nullptr;
    decltype(&::PQfreeCancel) freeCancel = nullptr;
    bool usable = false;
    std::string problem;
};

template <typename F> bool resolve(void* handle, const char* name, F& function)
{
    function = reinterpret_cast<F>(::dlsym(handle, name));
    return function != nullptr;
}

// Loaded once, by whichever thread calls first; never unloaded.
const Libpq& libpq()
{
    static const Libpq loaded = [] {
        Libpq l;
        // The library's name for its binary interface, the one the headers
        // this was built with describe.
        void* handle = ::dlopen("libpq.so.5", RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* why = ::dlerror();
            l.problem = std::string("libpq cannot be loaded: ") + (why ? why : "unknown error");
            return l;
        }
        l.usable =
            resolve(handle, "PQconnectdb", l.connectdb) && resolve(handle, "PQstatus", l.status) &&
            resolve(handle, "PQerrorMessage", l.errorMessage) &&
            resolve(handle, "PQfinish", l.finish) && resolve(handle, "PQsocket", l.socket) &&
            resolve(handle, "PQconsumeInput", l.consumeInput) &&
            resolve(handle, "PQnotifies", l.notifies) && resolve(handle, "PQfreemem", l.freemem) &&
            resolve(handle, "PQexecParams", l.execParams) &&
            resolve(handle, "PQsendQueryParams", l.sendQueryParams) &&
            resolve(handle, "PQgetResult", l.getResult) &&
            resolve(handle, "PQresultStatus", l.resultStatus) &&
            resolve(handle, "PQresultErrorField", l.resultErrorField) &&
            resolve(handle, "PQresultErrorMessage", l.resultErrorMessage) &&
            resolve(handle, "PQntuples", l.ntuples) && resolve(handle, "PQgetvalue", l.getvalue) &&
            resolve(handle, "PQgetlength", l.getlength) &&
            resolve(handle, "PQgetisnull", l.getisnull) && resolve(handle, "PQclear", l.clear) &&
            resolve(handle, "PQgetCancel", l.getCancel) && resolve(handle, "PQcancel", l.cancel) &&
            resolve(handle, "PQfreeCancel", l.freeCancel);
        if (!l.usable)
            l.problem = "libpq lacks a function this program calls";
        return l;
    }();
    return loaded;
}

} // namespace

// Every connection and result comes from the library once loaded; the checks
// only keep a caller that goes on after a failed connection safe.
extern "C" {

PGconn* PQconnectdb(const char* conninfo)
{
    const Libpq& l = libpq();
    return l.usable ? l.connectdb(conninfo) : nullptr;
}

ConnStatusType PQstatus(const PGconn* conn)
{
    const Libpq& l = libpq();
    return l.usable && conn ? l.status(conn) : CONNECTION_BAD;
}

char* PQerrorMessage(const PGconn* conn)
{
    const Libpq& l = libpq();
    if (l.usable)
        return l.errorMessage(conn);
    return const_cast<char*>(l.problem.c_str());
}

void PQfinish(PGconn* conn)
{
    const Libpq& l = libpq();
    if (l.usable && conn)
        l.finish(conn);
}

int PQsocket(const PGconn* conn)
{
    const Libpq& l = libpq();
    return l.usable ? l.socket(conn) : -1;
}

int PQconsumeInput(PGconn* conn)
{
    const Libpq& l = libpq();
    return l.usable ? l.consumeInput(conn) : 0;
}

PGnotify* PQnotifies(PGconn* conn)
{
    const Libpq& l = libpq();
    return l.usable ? l.notifies(conn) : nullptr;
}

void PQfreemem(void* ptr)
{
    const Libpq& l = libpq();
    if (l.usable)
        l.freemem(ptr);
}

PGresult* PQexecParams(PGconn* conn, const char* command, int nParams, const Oid* paramTypes,
                       const char* const* paramValues, const int* paramLengths,
                       const int* paramFormats, int resultFormat)
{
    const Libpq& l = libpq();
    return l.usable ? l.execParams(conn, command, nParams, paramTypes, paramValues, paramLengths,
                                   paramFormats, resultFormat)
                    : nullptr;
}

int PQsendQueryParams(PGconn* conn, const char* command, int nParams, const Oid* paramTypes,
                      const char* const* paramValues, const int* paramLengths,
                      const int* paramFormats, int resultFormat)
{
    const Libpq& l = libpq();
    return l.usable ? l.sendQueryParams(conn, command, nParams, paramTypes, paramValues,
                                        paramLengths, paramFormats, resultFormat)
                    : 0;
}

PGresult* PQgetResult(PGconn* conn)
{
    const Libpq& l = libpq();
    return l.usable ? l.getResult(conn) : nullptr;
}

ExecStatusType PQresultStatus(const PGresult* res)
{
    const Libpq& l = libpq();
    return l.usable ? l.resultStatus(res) : PGRES_FATAL_ERROR;
}

char* PQresultErrorField(const PGresult* res, int fieldcode)
{
    const Libpq& l = libpq();
    return l.usable ? l.resultErrorField(res, fieldcode) : nullptr;
}

char* PQresultErrorMessage(const PGresult* res)
{
    const Libpq& l = libpq();
    return l.usable ? l.resultErrorMessage(res) : const_cast<char*>(l.problem.c_str());
}

int PQntuples(const PGresult* res)
{
    const Libpq& l = libpq();
    return l.usable ? l.ntuples(res) : 0;
}

char* PQgetvalue(const PGresult* res, int tup_num, int field_num)
{
    const Libpq& l = libpq();
    return l.usable ? l.getvalue(res, tup_num, field_num) : nullptr;
}

int PQgetlength(const PGresult* res, int tup_num, int field_num)
{
    const Libpq& l = libpq();
    return l.usable ? l.getlength(res, tup_num, field_num) : 0;
}

int PQgetisnull(const PGresult* res, int tup_num, int field_num)
{
    const Libpq& l = libpq();
    return l.usable ? l.getisnull(res, tup_num, field_num) : 1;
}

void PQclear(PGresult* res)
{
    const Libpq& l = libpq();
    if (l.usable && res)
        l.clear(res);
}

PGcancel* PQgetCancel(PGconn* conn)
{
    const Libpq& l = libpq();
    return l.usable && conn ? l.getCancel(conn) : nullptr;
}

int PQcancel(PGcancel* cancel, char* errbuf, int errbufsize)
{
    const Libpq& l = libpq();
    return l.usable && cancel ? l.cancel(cancel, errbuf, errbufsize) : 0;
}

void PQfreeCancel(PGcancel* cancel)
{
    const Libpq& l = libpq();
    if (l.usable && cancel)
        l.freeCancel(cancel);
}

} // extern "C"
