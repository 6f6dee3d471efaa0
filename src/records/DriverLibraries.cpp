#include "records/DriverLibraries.h"

#include <dlfcn.h>

#include <mutex>
#include <optional>

namespace {

// The library only if something in the process loaded it already.
void* alreadyLoaded(const char* soname)
{
    return dlopen(soname, RTLD_NOW | RTLD_NOLOAD);
}

template <typename Function> bool find(void* library, const char* name, Function& out)
{
    out = reinterpret_cast<Function>(dlsym(library, name));
    return out != nullptr;
}

// Found once it can be, kept from then on (the driver never unloads it).
template <typename Library, typename Resolve> const Library* cached(Resolve resolve)
{
    static std::mutex mutex;
    static std::optional<Library> found;
    std::lock_guard lock(mutex);
    if (!found) {
        Library library{};
        if (resolve(library))
            found = library;
    }
    return found ? &*found : nullptr;
}

} // namespace

const SqliteLibrary* loadedSqlite()
{
    return cached<SqliteLibrary>([](SqliteLibrary& l) {
        void* so = alreadyLoaded("libsqlite3.so.0");
        return so && find(so, "sqlite3_errmsg", l.errmsg) &&
               find(so, "sqlite3_errcode", l.errcode) &&
               find(so, "sqlite3_prepare_v2", l.prepare_v2) &&
               find(so, "sqlite3_bind_text", l.bind_text) && find(so, "sqlite3_step", l.step) &&
               find(so, "sqlite3_column_text", l.column_text) &&
               find(so, "sqlite3_column_bytes", l.column_bytes) &&
               find(so, "sqlite3_column_type", l.column_type) &&
               find(so, "sqlite3_column_int", l.column_int) &&
               find(so, "sqlite3_column_int64", l.column_int64) &&
               find(so, "sqlite3_finalize", l.finalize);
    });
}

const PqLibrary* loadedPq()
{
    return cached<PqLibrary>([](PqLibrary& l) {
        void* so = alreadyLoaded("libpq.so.5");
        return so && find(so, "PQexecParams", l.execParams) &&
               find(so, "PQresultStatus", l.resultStatus) &&
               find(so, "PQresultErrorMessage", l.resultErrorMessage) &&
               find(so, "PQresultErrorField", l.resultErrorField) &&
               find(so, "PQerrorMessage", l.errorMessage) && find(so, "PQntuples", l.ntuples) &&
               find(so, "PQgetvalue", l.getvalue) && find(so, "PQgetlength", l.getlength) &&
               find(so, "PQgetisnull", l.getisnull) && find(so, "PQclear", l.clear) &&
               find(so, "PQgetCancel", l.getCancel) && find(so, "PQcancel", l.cancel) &&
               find(so, "PQfreeCancel", l.freeCancel);
    });
}
