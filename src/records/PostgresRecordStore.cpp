// Everything PostgreSQL: its SQL, its schema versions, its errors.
#include "records/PostgresRecordStore.h"

#include "records/DriverLibraries.h"

#include "records/ServerAddress.h"
#include "records/StationFunctionsSql.h"

#include <QHash>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <charconv>
#include <string_view>
#include <vector>

namespace {

const QString kDriver = QStringLiteral("QPSQL");

// Each step brings the schema from the version before it to its own number,
// one statement per entry (a function body holds semicolons of its own).
// IF NOT EXISTS: an owner may have created the tables by hand, from the README.
// The server's schema runs ahead of the station's SQLite file: version 2 adds
// the counter link's tables, which only a server has; version 3 the functions
// through which a station writes (data/sql/lurn-station-functions.sql, one
// request of many statements), the same ones the set-up script installs.
const std::vector<std::vector<const char*>> kMigrations = {
    // 1: the sessions.
    {
        "CREATE TABLE IF NOT EXISTS sessions ("
        " id uuid PRIMARY KEY,"
        " station text NOT NULL,"
        " started_at timestamptz NOT NULL,"
        " ended_at timestamptz,"
        " planned_seconds integer NOT NULL,"
        " rate_per_hour integer NOT NULL,"
        " cost bigint NOT NULL,"
        " end_reason text NOT NULL CHECK (end_reason IN"
        "  ('running', 'time_up', 'stopped', 'closed', 'interrupted')),"
        " last_seen_at timestamptz NOT NULL)",
        "CREATE INDEX IF NOT EXISTS sessions_by_start ON sessions (started_at, station)",
        "CREATE INDEX IF NOT EXISTS sessions_by_station ON sessions (station, started_at)",
    },
    // 2: the counter link: each station's live state and the counter's commands.
    {
        "CREATE TABLE IF NOT EXISTS stations ("
        " station text PRIMARY KEY,"
        " host text NOT NULL DEFAULT '',"
        " lurn_version text NOT NULL DEFAULT '',"
        " state text NOT NULL CHECK (state IN ('idle','running','warning','ended','stopped')),"
        " session_id uuid,"
        " started_at timestamptz,"
        " planned_seconds integer,"
        " ends_at timestamptz,"
        " rate_per_hour integer,"
        " cost bigint,"
        " updated_at timestamptz NOT NULL DEFAULT now())",
        "CREATE TABLE IF NOT EXISTS commands ("
        " id uuid PRIMARY KEY DEFAULT gen_random_uuid(),"
        " station text NOT NULL,"
        " kind text NOT NULL,"
        " hours integer, minutes integer, seconds integer,"
        " second_rate boolean,"
        " warn_minutes integer,"
        " add_minutes integer,"
        " message text,"
        " issued_by text NOT NULL DEFAULT current_user,"
        " issued_at timestamptz NOT NULL DEFAULT now(),"
        " expires_at timestamptz NOT NULL DEFAULT now() + interval '60 seconds',"
        " state text NOT NULL DEFAULT 'pending'"
        "  CHECK (state IN ('pending','done','refused','expired')),"
        " answered_at timestamptz,"
        " answer text)",
        "CREATE INDEX IF NOT EXISTS commands_pending ON commands (station) WHERE state = 'pending'",
        "CREATE OR REPLACE FUNCTION lurn_command_issued() RETURNS trigger LANGUAGE plpgsql AS"
        " $$BEGIN PERFORM pg_notify('lurn_commands', NEW.station); RETURN NULL; END$$",
        "CREATE OR REPLACE TRIGGER commands_issued AFTER INSERT ON commands"
        " FOR EACH ROW EXECUTE FUNCTION lurn_command_issued()",
        "CREATE OR REPLACE FUNCTION lurn_command_answered() RETURNS trigger LANGUAGE plpgsql AS"
        " $$BEGIN PERFORM pg_notify('lurn_answers', NEW.id::text); RETURN NULL; END$$",
        "CREATE OR REPLACE TRIGGER commands_answered AFTER UPDATE OF state ON commands"
        " FOR EACH ROW WHEN (OLD.state IS DISTINCT FROM NEW.state)"
        " EXECUTE FUNCTION lurn_command_answered()",
    },
    // 3: the station writes through functions that check every value.
    {
        kStationFunctionsSql,
    },
};
const int kServerSchemaVersion = int(kMigrations.size());

// Two migrators of an empty database (no schema_version yet to lock) wait for
// each other on this key. Any role may take it, so the wait is bounded by the
// connection's lock_timeout; once schema_version exists the lock is that
// table's, which a role without a right on it cannot take.
constexpr qint64 kMigrationLock = 0x4c75726e; // "Lurn"

// Through the server's own function, which takes the station from the role
// and refuses what the rules forbid (see lurn-station-functions.sql).
const char* const kWriteSession =
    "SELECT lurn_write_session(?::uuid, ?::text, ?::timestamptz, ?::timestamptz, ?::integer,"
    " ?::integer, ?::bigint, ?::text, ?::timestamptz)";

bool containsAny(const QString& text, std::initializer_list<const char*> words)
{
    for (const char* w : words)
        if (text.contains(QLatin1String(w), Qt::CaseInsensitive))
            return true;
    return false;
}

// Qt gives the SQLSTATE for a failed request, but only libpq's text for a
// failed connection: both are looked at.
StoreProblem problemOf(const QSqlError& error)
{
    const QString code = error.nativeErrorCode();
    QString text = error.databaseText().simplified();
    if (text.isEmpty())
        text = error.driverText();
    using Kind = StoreProblem::Kind;
    Kind kind = Kind::Other;
    // Class 22 (data exception) and 23 (integrity constraint violation) are
    // about the values sent, not the link: the other records can still go.
    if (code.startsWith(QLatin1String("22")) || code.startsWith(QLatin1String("23")))
        kind = Kind::Rejected;
    else if (code == QLatin1String("3D000") || (text.contains(QLatin1String("database \"")) &&
                                                text.contains(QLatin1String("does not exist"))))
        kind = Kind::NoDatabase;
    else if (code.startsWith(QLatin1String("28")) ||
             containsAny(text, {"password authentication failed", "no password supplied",
                                "authentication failed", "role \"", "Peer authentication",
                                "pg_hba.conf"}))
        kind = Kind::LoginRefused;
    else if (code == QLatin1String("42501") ||
             containsAny(text, {"permission denied", "must be owner"}))
        kind = Kind::NoPrivileges;
    else if (code.startsWith(QLatin1String("08")) || code.startsWith(QLatin1String("57P")) ||
             containsAny(text, {"could not connect", "connection refused", "no such file",
                                "timeout expired", "server closed the connection",
                                "no connection to the server", "could not translate host",
                                "connection to server", "terminating connection",
                                "could not send data", "could not receive data"}))
        kind = Kind::Unreachable;
    return {kind, text};
}

// The connection's own libpq handle, which Qt's driver hands out for work it
// does not do itself.
PGconn* nativeHandle(const QSqlDatabase& db)
{
    const QVariant handle = db.driver()->handle();
    // The type's name is the one the first registration of it gave: Qt's
    // driver says PGconn*, a process that also includes libpq's header may
    // say pg_conn*.
    if (!loadedPq() || !handle.isValid() ||
        (qstrcmp(handle.typeName(), "PGconn*") != 0 && qstrcmp(handle.typeName(), "pg_conn*") != 0))
        return nullptr;
    return *static_cast<PGconn* const*>(handle.constData());
}

std::int64_t number(const PqLibrary& pq, const PGresult* result, int row, int column)
{
    const char* text = pq.getvalue(result, row, column);
    std::int64_t value = 0;
    std::from_chars(text, text + pq.getlength(result, row, column), value);
    return value;
}

// The report's rows straight from libpq: for a year of records Qt's values,
// one object per column, cost more than the server's answer itself.
bool loadNative(PGconn* conn, const QString& sql, const QStringList& values,
                std::vector<SessionRecord>& out, QString& error, QString& sqlState)
{
    const PqLibrary& pq = *loadedPq();
    // libpq numbers its parameters where Qt writes ?.
    QString numbered;
    int n = 0;
    for (QChar c : sql)
        numbered += c == u'?' ? QStringLiteral("$%1").arg(++n) : QString(c);
    std::vector<QByteArray> bytes;
    std::vector<const char*> params;
    for (const QString& v : values)
        bytes.push_back(v.toUtf8());
    for (const QByteArray& b : bytes)
        params.push_back(b.constData());
    PGresult* result = pq.execParams(conn, numbered.toUtf8().constData(), int(params.size()),
                                     nullptr, params.data(), nullptr, nullptr, 0);
    if (pq.resultStatus(result) != PGRES_TUPLES_OK) {
        error = QString::fromUtf8(pq.resultErrorMessage(result)).simplified();
        if (error.isEmpty())
            error = QString::fromUtf8(pq.errorMessage(conn)).simplified();
        sqlState = QString::fromLatin1(pq.resultErrorField(result, PG_DIAG_SQLSTATE));
        pq.clear(result);
        return false;
    }
    const int rows = pq.ntuples(result);
    out.reserve(std::size_t(rows));
    SessionRecord r;
    std::string_view lastStation;
    for (int i = 0; i < rows; ++i) {
        const std::string_view station(pq.getvalue(result, i, 0),
                                       std::size_t(pq.getlength(result, i, 0)));
        if (i == 0 || station != lastStation) {
            r.station = QString::fromUtf8(station.data(), qsizetype(station.size()));
            lastStation = station; // lives as long as the result
        }
        const auto reason = endReasonFromKey(
            std::string_view(pq.getvalue(result, i, 6), std::size_t(pq.getlength(result, i, 6))));
        if (!reason)
            continue;
        r.startedAtMs = number(pq, result, i, 1);
        r.endedAtMs = pq.getisnull(result, i, 2)
                          ? std::nullopt
                          : std::optional<std::int64_t>(number(pq, result, i, 2));
        r.plannedSeconds = std::int32_t(number(pq, result, i, 3));
        r.ratePerHour = std::int32_t(number(pq, result, i, 4));
        r.cost = number(pq, result, i, 5);
        r.endReason = *reason;
        r.lastSeenAtMs = number(pq, result, i, 7);
        out.push_back(r);
    }
    pq.clear(result);
    return true;
}

QVariant timeValue(const std::optional<std::int64_t>& ms)
{
    return ms ? QVariant(isoUtcText(*ms)) : QVariant(QMetaType(QMetaType::QString));
}

} // namespace

PostgresRecordStore::PostgresRecordStore(QString uri) : m_uri(std::move(uri)) {}

PostgresRecordStore::~PostgresRecordStore()
{
    close();
}

bool PostgresRecordStore::isOpen() const
{
    return !m_connection.isEmpty() && !m_broken;
}

void PostgresRecordStore::cancelRunning()
{
    std::lock_guard lock(m_cancelMutex);
    if (!m_cancel)
        return;
    char why[256];
    loadedPq()->cancel(m_cancel, why, int(sizeof why));
}

void PostgresRecordStore::close()
{
    {
        std::lock_guard lock(m_cancelMutex);
        if (m_cancel)
            loadedPq()->freeCancel(m_cancel);
        m_cancel = nullptr;
    }
    if (m_connection.isEmpty())
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
    m_connection.clear();
    m_broken = false;
}

void PostgresRecordStore::failed(const QSqlError& error, StoreProblem& problem)
{
    problem = problemOf(error);
    if (problem.kind == StoreProblem::Kind::Unreachable)
        m_broken = true;
}

bool PostgresRecordStore::open(StoreProblem& problem)
{
    close();
    QString why;
    const std::optional<ServerAddress> address = parseServerAddress(m_uri, why);
    if (!address) {
        problem = {StoreProblem::Kind::BadAddress, why};
        return false;
    }
    const QString name = uniqueConnectionName("postgres");
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(kDriver, name);
        if (!db.isValid()) {
            problem = {StoreProblem::Kind::Other,
                       QStringLiteral("Qt's PostgreSQL driver (QPSQL) is not installed")};
        } else {
            db.setHostName(address->host);
            db.setDatabaseName(address->database);
            db.setUserName(address->user);
            db.setConnectOptions(connectOptions(*address));
            ok = db.open();
            if (!ok)
                problem = problemOf(db.lastError());
        }
    }
    if (!ok) {
        QSqlDatabase::removeDatabase(name);
        return false;
    }
    m_connection = name;
    if (PGconn* native = nativeHandle(QSqlDatabase::database(m_connection, false))) {
        std::lock_guard lock(m_cancelMutex);
        m_cancel = loadedPq()->getCancel(native);
    }
    if (!migrate(problem)) {
        close();
        return false;
    }
    return true;
}

bool PostgresRecordStore::readVersion(int& version, StoreProblem& problem)
{
    // A station's role reads no table: from version 3 on it asks the function.
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    version = 0;
    if (!q.exec(QStringLiteral("SELECT to_regprocedure('lurn_schema_version()') IS NOT NULL,"
                               " to_regclass('schema_version') IS NOT NULL")) ||
        !q.next()) {
        failed(q.lastError(), problem);
        return false;
    }
    const bool function = q.value(0).toBool();
    const bool table = q.value(1).toBool();
    if (!table)
        return true; // nothing made yet (whatever functions a dropped table left)
    if (!q.exec(function
                    ? QStringLiteral("SELECT lurn_schema_version()")
                    : QStringLiteral("SELECT coalesce(max(version), 0) FROM schema_version")) ||
        !q.next()) {
        failed(q.lastError(), problem);
        return false;
    }
    version = q.value(0).toInt();
    return true;
}

bool PostgresRecordStore::migrate(StoreProblem& problem)
{
    // Read without any lock: a server already current (every start of every
    // station but the first) takes none, so nobody's lock can hold it up.
    int version = 0;
    if (!readVersion(version, problem))
        return false;
    if (version > kServerSchemaVersion) {
        problem = {StoreProblem::Kind::NewerSchema,
                   QStringLiteral("schema version %1 on the server, this program knows up to %2")
                       .arg(version)
                       .arg(kServerSchemaVersion)};
        return false;
    }
    if (version == kServerSchemaVersion)
        return true;

    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.transaction()) {
        failed(db.lastError(), problem);
        return false;
    }
    QSqlQuery q(db);
    // Migrators wait for each other, within the connection's lock_timeout: a
    // migration held up fails with the server's reason and is tried again.
    bool ok =
        q.exec(QStringLiteral("SELECT to_regclass('schema_version') IS NOT NULL")) && q.next();
    const bool table = ok && q.value(0).toBool();
    ok = ok &&
         q.exec(table ? QStringLiteral("LOCK TABLE schema_version IN SHARE ROW EXCLUSIVE MODE")
                      : QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(kMigrationLock));
    // Another migrator may have gone first.
    ok = ok &&
         q.exec(QStringLiteral(
             "CREATE TABLE IF NOT EXISTS schema_version (version integer NOT NULL)")) &&
         q.exec(QStringLiteral("SELECT coalesce(max(version), 0) FROM schema_version")) && q.next();
    if (ok)
        version = q.value(0).toInt();
    for (int step = version; ok && step < kServerSchemaVersion; ++step)
        for (const char* statement : kMigrations[std::size_t(step)])
            ok = ok && q.exec(QString::fromUtf8(statement));
    if (ok && version < kServerSchemaVersion)
        ok = q.exec(QStringLiteral("DELETE FROM schema_version")) &&
             q.exec(QStringLiteral("INSERT INTO schema_version (version) VALUES (%1)")
                        .arg(kServerSchemaVersion));
    if (!ok)
        failed(q.lastError(), problem);
    q.finish();
    if (ok && db.commit())
        return true;
    if (ok)
        failed(db.lastError(), problem);
    if (!m_broken)
        db.rollback();
    return false;
}

bool PostgresRecordStore::checkWritable(StoreProblem& problem)
{
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    if (!q.exec(QStringLiteral(
            "SELECT has_function_privilege('lurn_write_session(uuid, text, timestamptz,"
            " timestamptz, integer, integer, bigint, text, timestamptz)', 'EXECUTE')")) ||
        !q.next()) {
        failed(q.lastError(), problem);
        return false;
    }
    if (!q.value(0).toBool()) {
        problem = {StoreProblem::Kind::NoPrivileges,
                   QStringLiteral("EXECUTE on the function lurn_write_session is needed")};
        return false;
    }
    return true;
}

bool PostgresRecordStore::save(const std::vector<SessionRecord>& records, StoreProblem& problem)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.isOpen()) {
        problem = {StoreProblem::Kind::Unreachable, QStringLiteral("not connected")};
        return false;
    }
    if (!db.transaction()) {
        failed(db.lastError(), problem);
        return false;
    }
    bool ok = true;
    QSqlError error;
    {
        QSqlQuery upsert(db);
        ok = upsert.prepare(QString::fromLatin1(kWriteSession));
        for (const SessionRecord& r : records) {
            if (!ok)
                break;
            upsert.addBindValue(r.id);
            upsert.addBindValue(r.station);
            upsert.addBindValue(isoUtcText(r.startedAtMs));
            upsert.addBindValue(timeValue(r.endedAtMs));
            upsert.addBindValue(r.plannedSeconds);
            upsert.addBindValue(r.ratePerHour);
            upsert.addBindValue(qlonglong(r.cost));
            upsert.addBindValue(endReasonKey(r.endReason));
            upsert.addBindValue(isoUtcText(r.lastSeenAtMs));
            ok = upsert.exec();
        }
        error = upsert.lastError();
    }
    if (ok && db.commit())
        return true;
    failed(ok ? db.lastError() : error, problem);
    if (!m_broken)
        db.rollback();
    return false;
}

QString PostgresRecordStore::reportSql(bool oneStation)
{
    return QStringLiteral(
               // An infinite time (which a station's role can write) reads as
               // the year 10000 or the year 1, and the report shows it as
               // doubtful, rather than failing the whole read.
               "SELECT station, (extract(epoch FROM started_at) * 1000)::bigint,"
               " CASE WHEN isfinite(ended_at) THEN (extract(epoch FROM ended_at) * 1000)::bigint"
               "  WHEN ended_at > 'epoch' THEN 253402300800000"
               "  WHEN ended_at IS NOT NULL THEN -62135596800000 END,"
               " planned_seconds, rate_per_hour, cost, end_reason,"
               " CASE WHEN isfinite(last_seen_at)"
               "  THEN (extract(epoch FROM last_seen_at) * 1000)::bigint"
               "  WHEN last_seen_at > 'epoch' THEN 253402300800000 ELSE -62135596800000 END"
               " FROM sessions WHERE started_at >= ? AND started_at < ?%1"
               " ORDER BY started_at, station")
        .arg(oneStation ? QStringLiteral(" AND station = ?") : QString());
}

bool PostgresRecordStore::load(const ReportFilter& filter, std::vector<SessionRecord>& out,
                               StoreProblem& problem)
{
    out.clear();
    const QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QStringList values = {isoUtcText(filter.fromMs), isoUtcText(filter.toMs)};
    if (!filter.station.isEmpty())
        values << filter.station;
    const QString sql = reportSql(!filter.station.isEmpty());
    if (PGconn* native = nativeHandle(db)) {
        QString error, sqlState;
        if (loadNative(native, sql, values, out, error, sqlState))
            return true;
        failed(QSqlError(QString(), error, QSqlError::StatementError, sqlState), problem);
        return false;
    }

    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(sql);
    for (const QString& v : values)
        q.addBindValue(v);
    if (!q.exec()) {
        failed(q.lastError(), problem);
        return false;
    }
    QHash<QString, QString> names;
    SessionRecord r;
    while (q.next()) {
        const QString station = q.value(0).toString();
        auto known = names.constFind(station);
        r.station = known != names.cend() ? *known : *names.insert(station, station);
        r.startedAtMs = q.value(1).toLongLong();
        const QVariant ended = q.value(2);
        r.endedAtMs =
            ended.isNull() ? std::nullopt : std::optional<std::int64_t>(ended.toLongLong());
        r.plannedSeconds = q.value(3).toInt();
        r.ratePerHour = q.value(4).toInt();
        r.cost = q.value(5).toLongLong();
        const auto reason = endReasonFromKey(q.value(6).toString());
        r.lastSeenAtMs = q.value(7).toLongLong();
        if (!reason)
            continue;
        r.endReason = *reason;
        out.push_back(r);
    }
    return true;
}

bool PostgresRecordStore::stations(QStringList& out, StoreProblem& problem)
{
    out.clear();
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.setForwardOnly(true);
    if (!q.exec(stationsSql())) {
        failed(q.lastError(), problem);
        return false;
    }
    while (q.next())
        out << q.value(0).toString();
    return true;
}
