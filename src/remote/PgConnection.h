#pragma once

#include <QString>
#include <QStringList>

#include <libpq-fe.h>

#include <memory>
#include <optional>

struct ServerAddress;

// libpq's connection string for an address, with every wait bounded as the
// records' connection has it (records/ServerAddress).
QByteArray connectionString(const ServerAddress& address);

struct ResultDeleter
{
    void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

// The outcome of a request, with the server's reason in Spanish when it failed.
struct Outcome
{
    Result result;
    bool ok = false;
    bool connectionLost = false;
    QString problem;
};

// Runs one statement with text parameters (nothing for a NULL).
Outcome run(PGconn* conn, const char* sql,
            const std::vector<std::optional<QByteArray>>& params = {});
// run() in two halves, for work to do while the server runs the statement:
// send() returns once the statement is on its way (false when it could not
// be sent); collect() waits for its outcome.
bool send(PGconn* conn, const char* sql, const std::vector<std::optional<QByteArray>>& params);
Outcome collect(PGconn* conn, bool sent);

// libpq's message for a failed connection or request in words for the café:
// a missing right names the table.
QString describeFailure(const QString& sqlState, const QString& message);
// The same for a connection that failed or dropped.
QString describeConnectionFailure(const QString& message);
