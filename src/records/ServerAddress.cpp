#include "records/ServerAddress.h"

#include <QCoreApplication>

#include <QByteArray>
#include <QStringList>

namespace {

// Percent-decodes; nothing when a % is not followed by two hex digits or the
// result is not UTF-8.
std::optional<QString> decoded(QStringView text)
{
    QByteArray bytes;
    const QByteArray utf8 = text.toUtf8();
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        if (utf8[i] != '%') {
            bytes += utf8[i];
            continue;
        }
        if (i + 2 >= utf8.size())
            return std::nullopt;
        bool ok = false;
        const int value = utf8.mid(i + 1, 2).toInt(&ok, 16);
        if (!ok)
            return std::nullopt;
        bytes += char(value);
        i += 2;
    }
    const QString result = QString::fromUtf8(bytes);
    if (result.toUtf8() != bytes)
        return std::nullopt;
    return result;
}

bool isKeyword(const QString& key)
{
    if (key.isEmpty())
        return false;
    for (QChar c : key)
        if (!(c >= u'a' && c <= u'z') && c != u'_')
            return false;
    return true;
}

QString quotedValue(QString value)
{
    value.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    value.replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + value + QLatin1Char('\'');
}

// Every wait bounded: a connection attempt, and a request on a connection
// whose server or network has gone silent.
const std::pair<const char*, const char*> kDefaults[] = {
    {"connect_timeout", "5"},     {"tcp_user_timeout", "10000"}, {"keepalives", "1"},
    {"keepalives_idle", "30"},    {"keepalives_interval", "10"}, {"keepalives_count", "3"},
    {"application_name", "lurn"},
};

// And every wait on the server itself: a statement (10 s; the report's year
// of records takes well under a second), a lock (3 s: another's lock never
// holds Lurn up for long) and a transaction left open by a client that
// stalled (15 s, so that its locks go with it). A café's own options come
// after these, so that they win.
const char* const kServerTimeouts = "-c statement_timeout=10s -c lock_timeout=3s"
                                    " -c idle_in_transaction_session_timeout=15s";

} // namespace

std::optional<ServerAddress> parseServerAddress(const QString& uri, QString& why)
{
    const QString text = uri.trimmed();
    QStringView rest;
    for (const char* scheme : {"postgresql://", "postgres://"}) {
        if (text.startsWith(QLatin1String(scheme), Qt::CaseInsensitive)) {
            rest = QStringView(text).mid(qsizetype(qstrlen(scheme)));
            break;
        }
    }
    if (rest.isNull()) {
        why = QCoreApplication::translate("ServerAddress",
                                          "La dirección debe empezar por postgresql:// "
                                          "(por ejemplo postgresql://lurn@caja.local/cafe).");
        return std::nullopt;
    }

    ServerAddress address;
    const auto fail = [&why](const QString& reason) {
        why = reason;
        return std::nullopt;
    };

    QStringView query;
    if (const qsizetype q = rest.indexOf(u'?'); q >= 0) {
        query = rest.mid(q + 1);
        rest = rest.left(q);
    }
    QStringView path;
    if (const qsizetype slash = rest.indexOf(u'/'); slash >= 0) {
        path = rest.mid(slash + 1);
        rest = rest.left(slash);
    }
    if (const qsizetype at = rest.lastIndexOf(u'@'); at >= 0) {
        const QStringView userInfo = rest.left(at);
        rest = rest.mid(at + 1);
        if (userInfo.contains(u':'))
            return fail(QCoreApplication::translate(
                "ServerAddress", "La contraseña no va en la dirección: póngala en "
                                 "~/.pgpass o en PGPASSWORD."));
        const auto user = decoded(userInfo);
        if (!user)
            return fail(QCoreApplication::translate(
                "ServerAddress", "El usuario de la dirección tiene un código % no válido."));
        address.user = *user;
    }

    // host[:port] items, separated by commas; an IPv6 host is in brackets.
    QStringList hosts, ports;
    bool anyPort = false;
    if (!rest.isEmpty()) {
        for (QStringView item : rest.split(u',')) {
            QStringView host = item, port;
            if (item.startsWith(u'[')) {
                const qsizetype close = item.indexOf(u']');
                if (close < 0)
                    return fail(QCoreApplication::translate("ServerAddress",
                                                            "Falta el ] de una dirección IPv6."));
                host = item.mid(1, close - 1);
                const QStringView after = item.mid(close + 1);
                if (!after.isEmpty() && !after.startsWith(u':'))
                    return fail(QCoreApplication::translate(
                        "ServerAddress", "Sobra texto tras una dirección IPv6."));
                port = after.mid(1);
            } else if (const qsizetype colon = item.lastIndexOf(u':'); colon >= 0) {
                host = item.left(colon);
                port = item.mid(colon + 1);
            }
            const auto h = decoded(host);
            if (!h)
                return fail(QCoreApplication::translate(
                    "ServerAddress", "El servidor de la dirección tiene un código % "
                                     "no válido."));
            for (QChar c : port)
                if (!c.isDigit())
                    return fail(QCoreApplication::translate("ServerAddress",
                                                            "El puerto «%1» no es un número.")
                                    .arg(port.toString()));
            anyPort = anyPort || !port.isEmpty();
            hosts << *h;
            ports << port.toString();
        }
    }
    address.host = hosts.join(QLatin1Char(','));
    if (anyPort)
        address.port = ports.join(QLatin1Char(','));

    if (!path.isEmpty()) {
        const auto database = decoded(path);
        if (!database)
            return fail(QCoreApplication::translate(
                "ServerAddress", "La base de datos de la dirección tiene un código % "
                                 "no válido."));
        address.database = *database;
    }

    if (!query.isEmpty()) {
        for (QStringView pair : query.split(u'&', Qt::SkipEmptyParts)) {
            const qsizetype eq = pair.indexOf(u'=');
            if (eq < 0)
                return fail(QCoreApplication::translate("ServerAddress",
                                                        "El parámetro «%1» no tiene valor.")
                                .arg(pair.toString()));
            const auto key = decoded(pair.left(eq));
            const auto value = decoded(pair.mid(eq + 1));
            if (!key || !value || !isKeyword(*key))
                return fail(
                    QCoreApplication::translate("ServerAddress", "El parámetro «%1» no es válido.")
                        .arg(pair.toString()));
            // Secrets never go into Lurn.conf, which the customers' user can read.
            if (*key == QLatin1String("password") || *key == QLatin1String("sslpassword"))
                return fail(QCoreApplication::translate(
                    "ServerAddress", "La contraseña no va en la dirección: póngala en "
                                     "~/.pgpass o en PGPASSWORD."));
            // Qt's driver separates keywords with semicolons.
            if (value->contains(QLatin1Char(';')))
                return fail(QCoreApplication::translate("ServerAddress",
                                                        "El parámetro «%1» no puede llevar «;».")
                                .arg(*key));
            if (*key == QLatin1String("host"))
                address.host = *value;
            else if (*key == QLatin1String("port"))
                address.port = *value;
            else if (*key == QLatin1String("dbname"))
                address.database = *value;
            else if (*key == QLatin1String("user"))
                address.user = *value;
            else
                address.options.emplace_back(*key, *value);
        }
    }
    for (const QString* part : {&address.host, &address.database, &address.user})
        if (part->contains(QLatin1Char(';')))
            return fail(
                QCoreApplication::translate("ServerAddress", "La dirección no puede llevar «;»."));
    return address;
}

QString connectOptions(const ServerAddress& address)
{
    QStringList out;
    // Qt's driver takes the port as one number; libpq takes a list.
    if (!address.port.isEmpty())
        out << QStringLiteral("port=") + quotedValue(address.port);
    bool ownOptions = false;
    for (const auto& [key, value] : address.options) {
        const bool options = key == QLatin1String("options");
        ownOptions = ownOptions || options;
        out << key + QLatin1Char('=') +
                   quotedValue(options ? QLatin1String(kServerTimeouts) + QLatin1Char(' ') + value
                                       : value);
    }
    if (!ownOptions)
        out << QStringLiteral("options=") + quotedValue(QLatin1String(kServerTimeouts));
    for (const auto& [key, value] : kDefaults) {
        bool given = false;
        for (const auto& option : address.options)
            given = given || option.first == QLatin1String(key);
        if (!given)
            out << QLatin1String(key) + QLatin1Char('=') + QLatin1String(value);
    }
    return out.join(QLatin1Char(';'));
}
