#pragma once

#include <libpq-fe.h>
#include <sqlite3.h>

// The functions of SQLite and libpq that the report reads a year of records
// with, found at run time in the very libraries Qt's SQL drivers loaded.
// Linking them instead would load libpq (and Kerberos and LDAP behind it) at
// every start of the program, for a server most stations never have; and
// reading through the driver's own library needs no check that it is the
// one this program was built against.
//
// Each is nullptr until the driver has loaded its library (a connection of
// that kind was opened) or when a function is missing; callers then read
// through Qt.

struct SqliteLibrary
{
    decltype(&sqlite3_errmsg) errmsg;
    decltype(&sqlite3_errcode) errcode;
    decltype(&sqlite3_prepare_v2) prepare_v2;
    decltype(&sqlite3_bind_text) bind_text;
    decltype(&sqlite3_step) step;
    decltype(&sqlite3_column_text) column_text;
    decltype(&sqlite3_column_bytes) column_bytes;
    decltype(&sqlite3_column_type) column_type;
    decltype(&sqlite3_column_int) column_int;
    decltype(&sqlite3_column_int64) column_int64;
    decltype(&sqlite3_finalize) finalize;
};
const SqliteLibrary* loadedSqlite();

struct PqLibrary
{
    decltype(&PQexecParams) execParams;
    decltype(&PQresultStatus) resultStatus;
    decltype(&PQresultErrorMessage) resultErrorMessage;
    decltype(&PQresultErrorField) resultErrorField;
    decltype(&PQerrorMessage) errorMessage;
    decltype(&PQntuples) ntuples;
    decltype(&PQgetvalue) getvalue;
    decltype(&PQgetlength) getlength;
    decltype(&PQgetisnull) getisnull;
    decltype(&PQclear) clear;
    decltype(&PQgetCancel) getCancel;
    decltype(&PQcancel) cancel;
    decltype(&PQfreeCancel) freeCancel;
};
const PqLibrary* loadedPq();
