#pragma once
// A plain libpq session on the private server that tests/with-postgres.sh
// starts, as a psql user would have.
#include <QProcess>
#include <QString>
#include <QTest>

#include <libpq-fe.h>

inline QString env(const char* name)
{
    return QString::fromLocal8Bit(qgetenv(name));
}

inline QString uri(const QString& user, const QString& database)
{
    return QStringLiteral("postgresql://%1@/%2?host=%3").arg(user, database, env("LURN_PG_HOST"));
}

// A plain libpq session, as a psql user would have.
class Sql final
{
public:
    Sql(const QString& user, const QString& database)
    {
        const QByteArray info = QStringLiteral("host='%1' dbname='%2' user='%3'")
                                    .arg(env("LURN_PG_HOST"), database, user)
                                    .toUtf8();
        m_conn = PQconnectdb(info.constData());
        PQsetNoticeProcessor(
            m_conn, [](void*, const char*) {}, nullptr);
    }
    ~Sql() { PQfinish(m_conn); }
    Sql(const Sql&) = delete;
    Sql& operator=(const Sql&) = delete;

    bool ok() const { return PQstatus(m_conn) == CONNECTION_OK; }

    // The first value of the first row, the count of rows changed for a
    // change, or "denied" / "error: ..." when the server refuses.
    QString value(const QString& sql)
    {
        PGresult* r = PQexec(m_conn, sql.toUtf8().constData());
        QString out;
        const ExecStatusType status = PQresultStatus(r);
        if (status == PGRES_TUPLES_OK && PQntuples(r) > 0 && PQnfields(r) > 0)
            out = QString::fromUtf8(PQgetvalue(r, 0, 0));
        else if (status == PGRES_TUPLES_OK)
            out = QStringLiteral("no rows");
        else if (status == PGRES_COMMAND_OK)
            out = QString::fromLatin1(PQcmdTuples(r));
        else if (qstrcmp(PQresultErrorField(r, PG_DIAG_SQLSTATE), "42501") == 0)
            out = QStringLiteral("denied");
        else
            out =
                QStringLiteral("error: ") + QString::fromUtf8(PQresultErrorMessage(r)).simplified();
        PQclear(r);
        return out;
    }

private:
    PGconn* m_conn = nullptr;
};

#ifdef LURN_SETUP_SQL
// What a server set up by the script holds at first (setUpCafeWithRoles).
#define PC01_SESSION "00000000-0000-4000-8000-000000000c01"
#define PC02_SESSION "00000000-0000-4000-8000-000000000c02"
#define PC01_ENDED "00000000-0000-4000-8000-000000000e01"
#define PC01_COMMAND "00000000-0000-4000-8000-00000000a001"
#define PC02_COMMAND "00000000-0000-4000-8000-00000000a002"
#define START "2025-12-10 10:00:00+00"

// A database of its own set up by the script, with PC01 and PC02 (roles
// lurn_pc01 and lurn_pc02), a running session each and an ended one of PC01,
// one stations row and one pending command each. False, with a warning, when
// it could not be made.
inline bool setUpCafeWithRoles(const QString& database)
{
    const auto fail = [](const QString& why) {
        qWarning("%s", qPrintable(why));
        return false;
    };
    {
        Sql admin(QStringLiteral("postgres"), QStringLiteral("postgres"));
        admin.value(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(database));
        const QString made = admin.value(QStringLiteral("CREATE DATABASE %1").arg(database));
        if (!made.isEmpty())
            return fail(made);
    }
    QProcess psql;
    psql.start(env("LURN_PG_BIN") + QStringLiteral("/psql"),
               {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-v"),
                QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-h"), env("LURN_PG_HOST"),
                QStringLiteral("-U"), QStringLiteral("postgres"), QStringLiteral("-d"), database,
                QStringLiteral("-f"), QStringLiteral(LURN_SETUP_SQL)});
    psql.setEnvironment(QProcess::systemEnvironment()
                        << QStringLiteral("PGOPTIONS=-c client_min_messages=warning"));
    if (!psql.waitForFinished(60000) || psql.exitCode() != 0)
        return fail(QString::fromUtf8(psql.readAllStandardError()));
    Sql db(QStringLiteral("postgres"), database);
    for (const char* sql : {
             "SELECT lurn_add_station('lurn_pc01', 'PC01')",
             "SELECT lurn_add_station('lurn_pc02', 'PC02')",
             "INSERT INTO sessions VALUES ('" PC01_SESSION "', 'PC01', '" START "', NULL,"
             " 3600, 60, 30, 'running', '" START "'),"
             " ('" PC02_SESSION "', 'PC02', '" START "', NULL, 3600, 60, 30, 'running',"
             " '" START "'),"
             " ('" PC01_ENDED "', 'PC01', '" START "', timestamptz '" START "' + interval"
             " '1 hour', 3600, 60, 60, 'time_up', timestamptz '" START "' + interval '1 hour')",
             "INSERT INTO stations (station, state) VALUES ('PC01', 'running'),"
             " ('PC02', 'running')",
             "INSERT INTO commands (id, station, kind, issued_by) VALUES ('" PC01_COMMAND "',"
             " 'PC01', 'stop', 'lurn_counter'), ('" PC02_COMMAND "', 'PC02', 'stop',"
             " 'lurn_counter')",
         }) {
        const QString outcome = db.value(QString::fromUtf8(sql));
        if (outcome.startsWith(QLatin1String("error")))
            return fail(outcome);
    }
    return true;
}
#endif
