#pragma once

#include <QString>

#include <optional>
#include <utility>
#include <vector>

// A PostgreSQL server as a postgresql:// URI names it (the form libpq reads):
//   postgresql://[user@][host][:port][,host2[:port2]...][/database][?keyword=value&...]
// Hosts and ports may be lists, a host may be a socket directory written with
// %2F for each /, and any other libpq keyword may follow the ?.
struct ServerAddress
{
    QString host;     // empty: libpq's default (the local socket)
    QString port;     // empty: 5432, or a list matching the hosts
    QString database; // empty: the role's name
    QString user;     // empty: the system user's name
    std::vector<std::pair<QString, QString>> options;
};

// Reads a URI. On failure returns nothing and says why in Spanish. A password
// is refused: it belongs in ~/.pgpass or PGPASSWORD, never in Lurn.conf.
std::optional<ServerAddress> parseServerAddress(const QString& uri, QString& why);

// The keyword=value list for Qt's PostgreSQL driver (separated by ;): the
// port and the address's other keywords, plus bounds on every wait so that a dead server or
// network is found out in seconds, unless the address sets them itself.
QString connectOptions(const ServerAddress& address);
