#include "remote/PgConnection.h"

#include "records/ServerAddress.h"

#include <QRegularExpression>

namespace {

QByteArray quoted(const QString& value)
{
    QByteArray v = value.toUtf8();
    v.replace('\\', "\\\\");
    v.replace('\'', "\\'");
    return '\'' + v + '\'';
}

} // namespace

QByteArray connectionString(const ServerAddress& address)
{
    QByteArray out;
    const auto add = [&out](const QString& key, const QString& value) {
        if (!value.isEmpty())
            out += key.toUtf8() + '=' + quoted(value) + ' ';
    };
    add(QStringLiteral("host"), address.host);
    add(QStringLiteral("dbname"), address.database);
    add(QStringLiteral("user"), address.user);
    // connectOptions gives the port, the address's keywords and the bounds on
    // every wait, already quoted, separated by ; (no value may hold one).
    for (const QString& item : connectOptions(address).split(QLatin1Char(';'), Qt::SkipEmptyParts))
        out += item.toUtf8() + ' ';
    return out;
}

QString describeConnectionFailure(const QString& message);

bool send(PGconn* conn, const char* sql, const std::vector<std::optional<QByteArray>>& params)
{
    std::vector<const char*> values;
    for (const auto& p : params)
        values.push_back(p ? p->constData() : nullptr);
    return PQsendQueryParams(conn, sql, int(values.size()), nullptr, values.data(), nullptr,
                             nullptr, 0) == 1;
}

Outcome collect(PGconn* conn, bool sent)
{
    Outcome o;
    // The statement's result, then libpq's end of it (every result is read,
    // or the connection stays busy).
    if (sent) {
        while (PGresult* r = PQgetResult(conn)) {
            if (!o.result)
                o.result.reset(r);
            else
                PQclear(r);
        }
    }
    const ExecStatusType status = o.result ? PQresultStatus(o.result.get()) : PGRES_FATAL_ERROR;
    o.ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
    if (!o.ok) {
        o.connectionLost = PQstatus(conn) != CONNECTION_OK;
        const char* state =
            o.result ? PQresultErrorField(o.result.get(), PG_DIAG_SQLSTATE) : nullptr;
        QString message = o.result
                              ? QString::fromUtf8(PQresultErrorMessage(o.result.get())).simplified()
                              : QString();
        if (message.isEmpty())
            message = QString::fromUtf8(PQerrorMessage(conn)).simplified();
        o.problem = o.connectionLost
                        ? describeConnectionFailure(message)
                        : describeFailure(QString::fromLatin1(state ? state : ""), message);
    }
    return o;
}

Outcome run(PGconn* conn, const char* sql, const std::vector<std::optional<QByteArray>>& params)
{
    return collect(conn, send(conn, sql, params));
}

QString describeFailure(const QString& sqlState, const QString& message)
{
    static const QRegularExpression object(
        QStringLiteral("(?:table|relation|function) \"?([^\"( ]+)\"?"));
    const QRegularExpressionMatch m = object.match(message);
    const QString name = m.hasMatch() ? m.captured(1) : QStringLiteral("?");
    if (sqlState == QLatin1String("42501")) {
        // The server's function refuses another station's name or row.
        if (message.contains(QLatin1String("lurn: ")) ||
            message.contains(QLatin1String("row-level security")))
            return QStringLiteral("El servidor no deja a este puesto escribir como otro puesto "
                                  "(¿el usuario del puesto es de otro puesto?): %1")
                .arg(message);
        if (message.contains(QLatin1String("function")))
            return QStringLiteral("Al usuario del puesto le falta un permiso sobre la función "
                                  "%1 (ejecute otra vez la preparación del servidor): %2")
                .arg(name, message);
        return QStringLiteral("Al usuario del puesto le falta un permiso sobre la tabla %1: %2")
            .arg(name, message);
    }
    if (sqlState == QLatin1String("42883"))
        return QStringLiteral("Falta en el servidor la función %1: ejecute la preparación del "
                              "servidor o dé a Lurn el usuario dueño de la base: %2")
            .arg(name, message);
    if (sqlState == QLatin1String("42P01"))
        return QStringLiteral("Falta la tabla %1 en el servidor: ejecute la preparación del "
                              "servidor o dé a Lurn el usuario dueño de la base: %2")
            .arg(name, message);
    if (sqlState.startsWith(QLatin1String("28")) ||
        message.contains(QLatin1String("authentication failed")) ||
        message.contains(QLatin1String("no password supplied")))
        return QStringLiteral("El servidor no acepta el usuario del puesto: %1").arg(message);
    return QStringLiteral("Error del servidor: %1").arg(message);
}

QString describeConnectionFailure(const QString& message)
{
    const QString described = describeFailure(QString(), message);
    if (described.startsWith(QLatin1String("Error del servidor")))
        return QStringLiteral("Sin conexión con el servidor: %1").arg(message);
    return described;
}
