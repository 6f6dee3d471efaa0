#pragma once
// A plain libpq session on the private server that tests/with-postgres.sh
// starts, as a psql user would have.
#include <QString>

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


