// Everything SQLite: its SQL, its schema versions, its file.
#include "records/SqliteRecordStore.h"

#include "records/DriverLibraries.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sqlite3.h>
#include <string_view>
#include <unistd.h>

namespace {

const QString kDriver = QStringLiteral("QSQLITE");

// Each step brings the schema from the version before it to its own number.
// Steps are never edited once released; a change is a new step.
const char* const kMigrations[] = {
    // 1: the sessions, and the records a server has yet to confirm.
    "CREATE TABLE sessions ("
    " id TEXT PRIMARY KEY NOT NULL,"
    " station TEXT NOT NULL,"
    " started_at TEXT NOT NULL,"
    " ended_at TEXT,"
    " planned_seconds INTEGER NOT NULL,"
    " rate_per_hour INTEGER NOT NULL,"
    " cost INTEGER NOT NULL,"
    " end_reason TEXT NOT NULL CHECK (end_reason IN"
    "  ('running', 'time_up', 'stopped', 'closed', 'interrupted')),"
    " last_seen_at TEXT NOT NULL);"
    "CREATE INDEX sessions_by_start ON sessions (started_at, station);"
    "CREATE INDEX sessions_by_station ON sessions (station, started_at);"
    "CREATE INDEX sessions_running ON sessions (end_reason) WHERE end_reason = 'running';"
    "CREATE TABLE unsent (id TEXT PRIMARY KEY NOT NULL, revision INTEGER NOT NULL);",
    // 2: the records the server refused (or that cannot be read), put aside
    // with the reason, so that they no longer hold up the others.
    "CREATE TABLE set_aside (id TEXT PRIMARY KEY NOT NULL, revision INTEGER NOT NULL,"
    " reason TEXT NOT NULL, at TEXT NOT NULL);",
};
static_assert(std::size(kMigrations) == kRecordsSchemaVersion);

const char* const kUpsert =
    "INSERT INTO sessions (id, station, started_at, ended_at, planned_seconds, rate_per_hour,"
    " cost, end_reason, last_seen_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"
    " ON CONFLICT (id) DO UPDATE SET station = excluded.station, ended_at = excluded.ended_at,"
    " planned_seconds = excluded.planned_seconds, rate_per_hour = excluded.rate_per_hour,"
    " cost = excluded.cost, end_reason = excluded.end_reason,"
    " last_seen_at = excluded.last_seen_at";
const char* const kQueue = "INSERT INTO unsent (id, revision) VALUES (?, 1)"
                           " ON CONFLICT (id) DO UPDATE SET revision = unsent.revision + 1";
const char* const kColumns = "station, started_at, ended_at, planned_seconds, rate_per_hour,"
                             " cost, end_reason, last_seen_at";

// SQLite's primary result codes that matter here (Qt reports the extended
// code; the primary one is its low byte).
enum : int {
    kSqliteCorrupt = 11,
    kSqliteFull = 13,
    kSqliteNotADb = 26,
    kSqliteIoErr = 10,
    kSqliteReadOnly = 8,
    kSqliteCantOpen = 14,
    kSqliteBusy = 5,
    kSqliteLocked = 6,
};

// SQLite's words for the codes, when Qt gives the words only.
int codeFromText(const QString& text)
{
    if (text.contains(QLatin1String("disk is full")))
        return kSqliteFull;
    if (text.contains(QLatin1String("I/O error")))
        return kSqliteIoErr;
    if (text.contains(QLatin1String("readonly database")))
        return kSqliteReadOnly;
    if (text.contains(QLatin1String("unable to open")))
        return kSqliteCantOpen;
    if (text.contains(QLatin1String("not a database")))
        return kSqliteNotADb;
    if (text.contains(QLatin1String("malformed")))
        return kSqliteCorrupt;
    if (text.contains(QLatin1String("database is locked")))
        return kSqliteBusy;
    if (text.contains(QLatin1String("is locked")))
        return kSqliteLocked;
    return 0;
}

// What an SQLite result code (its primary part) means for the records.
StoreProblem problemOf(int code, const QString& detail)
{
    StoreProblem problem;
    problem.detail = detail;
    switch (code & 0xff) {
    case kSqliteCorrupt:
    case kSqliteNotADb:
        problem.kind = StoreProblem::Kind::NotARecordsFile;
        break;
    case kSqliteFull:
    case kSqliteIoErr:
    case kSqliteReadOnly:
    case kSqliteCantOpen:
        problem.kind = StoreProblem::Kind::WriteFailed;
        break;
    default:
        problem.kind = StoreProblem::Kind::Other;
    }
    return problem;
}

StoreProblem problemOf(const QSqlError& error)
{
    bool numeric = false;
    int code = error.nativeErrorCode().toInt(&numeric) & 0xff;
    if (!numeric || code == 0)
        code = codeFromText(error.databaseText());
    return problemOf(code, error.text());
}

bool run(QSqlQuery& query, StoreProblem& problem)
{
    if (query.exec())
        return true;
    problem = problemOf(query.lastError());
    return false;
}

bool run(QSqlDatabase& db, const QString& sql, StoreProblem& problem)
{
    QSqlQuery query(db);
    if (query.exec(sql))
        return true;
    problem = problemOf(query.lastError());
    return false;
}

// Ends a transaction begun with BEGIN: committed when ok, else rolled back.
// Plain statements rather than QSqlDatabase::commit(), whose errors lose
// SQLite's result code.
bool finish(QSqlDatabase& db, bool ok, StoreProblem& problem)
{
    if (ok && run(db, QStringLiteral("COMMIT"), problem))
        return true;
    StoreProblem ignored;
    run(db, QStringLiteral("ROLLBACK"), ignored);
    return false;
}

QVariant timeValue(const std::optional<std::int64_t>& ms)
{
    return ms ? QVariant(isoUtcText(*ms)) : QVariant(QMetaType(QMetaType::QString));
}

// A row of kColumns, starting at column first.
bool readRecord(const QSqlQuery& q, int first, SessionRecord& r, QHash<QString, QString>& names)
{
    const QString station = q.value(first).toString();
    auto known = names.constFind(station);
    r.station = known != names.cend() ? *known : *names.insert(station, station);
    const auto started = parseIsoUtc(q.value(first + 1).toString());
    const QVariant ended = q.value(first + 2);
    const auto reason = endReasonFromKey(q.value(first + 6).toString());
    const auto lastSeen = parseIsoUtc(q.value(first + 7).toString());
    const auto endedAt = ended.isNull() ? std::nullopt : parseIsoUtc(ended.toString());
    if (!started || !reason || !lastSeen || (!ended.isNull() && !endedAt))
        return false;
    r.startedAtMs = *started;
    r.endedAtMs = endedAt;
    r.plannedSeconds = q.value(first + 3).toInt();
    r.ratePerHour = q.value(first + 4).toInt();
    r.cost = q.value(first + 5).toLongLong();
    r.endReason = *reason;
    r.lastSeenAtMs = *lastSeen;
    return true;
}

// The file holds what customers paid: it is created private, and SQLite gives
// its -wal and -shm files the same mode.
bool createPrivateFile(const QString& path, StoreProblem& problem)
{
    const QFileInfo info(path);
    const QString dir = info.absolutePath();
    if (!QFileInfo::exists(dir)) {
        if (!QDir().mkpath(dir)) {
            problem = {StoreProblem::Kind::WriteFailed, QStringLiteral("cannot create ") + dir};
            return false;
        }
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EEXIST) {
        problem = {StoreProblem::Kind::WriteFailed,
                   QStringLiteral("cannot create %1: %2")
                       .arg(path, QString::fromLocal8Bit(std::strerror(errno)))};
        return false;
    }
    if (fd >= 0)
        ::close(fd);
    return true;
}

StoreProblem problemOf(const SqliteLibrary& sqlite, sqlite3* db)
{
    return problemOf(sqlite.errcode(db), QString::fromUtf8(sqlite.errmsg(db)));
}

// The connection's own SQLite handle, which Qt's driver hands out for work it
// does not do itself; only when the driver runs on the system's SQLite, whose
// functions are then at hand (Qt may carry a copy of its own).
sqlite3* nativeHandle(const QSqlDatabase& db)
{
    const QVariant handle = db.driver()->handle();
    if (!loadedSqlite() || !handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3* const*>(handle.constData());
}

std::string_view columnText(const SqliteLibrary& sqlite, sqlite3_stmt* st, int column)
{
    const auto* text = reinterpret_cast<const char*>(sqlite.column_text(st, column));
    return text ? std::string_view(text, std::size_t(sqlite.column_bytes(st, column)))
                : std::string_view();
}

// The report's rows straight from SQLite: for a year of records Qt's values,
// one object per column, cost more than SQLite's own reading.
bool loadNative(sqlite3* db, const QString& sql, const QStringList& values,
                std::vector<SessionRecord>& out, StoreProblem& problem)
{
    const SqliteLibrary& sqlite = *loadedSqlite();
    sqlite3_stmt* st = nullptr;
    const QByteArray text = sql.toUtf8();
    if (sqlite.prepare_v2(db, text.constData(), int(text.size()), &st, nullptr) != SQLITE_OK) {
        problem = problemOf(sqlite, db);
        return false;
    }
    for (int i = 0; i < values.size(); ++i) {
        const QByteArray v = values.at(i).toUtf8();
        sqlite.bind_text(st, i + 1, v.constData(), int(v.size()), SQLITE_TRANSIENT);
    }
    QHash<QByteArray, QString> names;
    SessionRecord r;
    std::string_view lastStation;
    QByteArray lastStationBytes;
    int rc = SQLITE_ROW;
    while ((rc = sqlite.step(st)) == SQLITE_ROW) {
        const std::string_view station = columnText(sqlite, st, 0);
        if (lastStationBytes.isNull() || station != lastStation) {
            lastStationBytes = QByteArray(station.data(), qsizetype(station.size()));
            auto known = names.constFind(lastStationBytes);
            r.station = known != names.cend()
                            ? *known
                            : *names.insert(lastStationBytes, QString::fromUtf8(lastStationBytes));
            lastStation = std::string_view(lastStationBytes.constData(),
                                           std::size_t(lastStationBytes.size()));
        }
        const auto started = parseIsoUtc(columnText(sqlite, st, 1));
        const auto reason = endReasonFromKey(columnText(sqlite, st, 6));
        const auto lastSeen = parseIsoUtc(columnText(sqlite, st, 7));
        if (!started || !reason || !lastSeen)
            continue;
        r.startedAtMs = *started;
        r.endedAtMs = sqlite.column_type(st, 2) == SQLITE_NULL ? std::nullopt
                                                                : parseIsoUtc(columnText(sqlite, st, 2));
        r.plannedSeconds = sqlite.column_int(st, 3);
        r.ratePerHour = sqlite.column_int(st, 4);
        r.cost = sqlite.column_int64(st, 5);
        r.endReason = *reason;
        r.lastSeenAtMs = *lastSeen;
        out.push_back(r);
    }
    if (rc != SQLITE_DONE)
        problem = problemOf(sqlite, db);
    sqlite.finalize(st);
    return rc == SQLITE_DONE;
}

} // namespace

struct SqliteRecordStore::SaveStatements
{
    explicit SaveStatements(const QSqlDatabase& db)
        : begin(db), commit(db), rollback(db), upsert(db), queue(db)
    {
        begin.prepare(QStringLiteral("BEGIN"));
        commit.prepare(QStringLiteral("COMMIT"));
        rollback.prepare(QStringLiteral("ROLLBACK"));
        upsert.prepare(QString::fromLatin1(kUpsert));
        queue.prepare(QString::fromLatin1(kQueue));
    }
    QSqlQuery begin, commit, rollback, upsert, queue;
};

SqliteRecordStore::SaveStatements& SqliteRecordStore::saveStatements()
{
    if (!m_save)
        m_save = std::make_unique<SaveStatements>(QSqlDatabase::database(m_connection, false));
    return *m_save;
}

SqliteRecordStore::SqliteRecordStore(QString path, Access access)
    : m_path(std::move(path)), m_access(access)
{
}

SqliteRecordStore::~SqliteRecordStore()
{
    close();
}

bool SqliteRecordStore::isOpen() const
{
    return !m_connection.isEmpty();
}

void SqliteRecordStore::close()
{
    m_save.reset();
    if (m_connection.isEmpty())
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
    m_connection.clear();
}

StoreProblem SqliteRecordStore::inspect(const QString& path)
{
    const QString name = uniqueConnectionName("inspect");
    StoreProblem problem;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(kDriver, name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"));
        if (!db.open()) {
            problem = problemOf(db.lastError());
        } else {
            QSqlQuery q(db);
            if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next()) {
                problem = problemOf(q.lastError());
            } else {
                const int version = q.value(0).toInt();
                QSqlQuery objects(db);
                if (!objects.exec(QStringLiteral(
                        "SELECT count(*), count(CASE WHEN name = 'sessions' THEN 1 END)"
                        " FROM sqlite_master")) ||
                    !objects.next()) {
                    problem = problemOf(objects.lastError());
                } else if (version > kRecordsSchemaVersion) {
                    problem = {StoreProblem::Kind::NewerSchema,
                               QStringLiteral("schema version %1, this program knows up to %2")
                                   .arg(version)
                                   .arg(kRecordsSchemaVersion)};
                } else if (version == 0 && objects.value(0).toInt() > 0) {
                    problem = {StoreProblem::Kind::NotARecordsFile,
                               QStringLiteral("a database of another program")};
                } else if (version > 0 && objects.value(1).toInt() == 0) {
                    problem = {StoreProblem::Kind::NotARecordsFile,
                               QStringLiteral("no table sessions")};
                }
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    // Only what the file holds may set it aside. A lock, a busy file, an I/O
    // error or no file handle left says nothing about it: taking it for a
    // stranger would split the records between two files.
    if (problem && problem.kind != StoreProblem::Kind::NewerSchema &&
        problem.kind != StoreProblem::Kind::NotARecordsFile)
        problem.kind = StoreProblem::Kind::Unavailable;
    return problem;
}

bool SqliteRecordStore::open(StoreProblem& problem)
{
    close();
    if (QFileInfo::exists(m_path)) {
        problem = inspect(m_path);
        if (problem)
            return false;
    } else if (m_access == Access::ReadOnly) {
        problem = {StoreProblem::Kind::Other, QStringLiteral("no records yet")};
        return false;
    } else if (!createPrivateFile(m_path, problem)) {
        return false;
    }

    const QString name = uniqueConnectionName("sqlite");
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(kDriver, name);
        db.setDatabaseName(m_path);
        db.setConnectOptions(m_access == Access::ReadOnly
                                 ? QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000")
                                 : QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        if (!db.open())
            problem = problemOf(db.lastError());
        else if (m_access == Access::ReadOnly)
            ok = true;
        else
            // WAL lets the report and the sender read while a record is
            // written; NORMAL syncs at checkpoints, which is durable enough
            // for a record rewritten every few seconds.
            ok = run(db, QStringLiteral("PRAGMA journal_mode = WAL"), problem) &&
                 run(db, QStringLiteral("PRAGMA synchronous = NORMAL"), problem);
    }
    if (!ok) {
        QSqlDatabase::removeDatabase(name);
        return false;
    }
    m_connection = name;
    if (m_access == Access::ReadWrite && !migrate(problem)) {
        close();
        return false;
    }
    return true;
}

bool SqliteRecordStore::migrate(StoreProblem& problem)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    // IMMEDIATE: two programs opening a new file at once migrate one after
    // the other, and the second finds the work done.
    if (!run(db, QStringLiteral("BEGIN IMMEDIATE"), problem))
        return false;
    QSqlQuery q(db);
    int version = -1;
    if (q.exec(QStringLiteral("PRAGMA user_version")) && q.next())
        version = q.value(0).toInt();
    q.finish();
    bool ok = version >= 0;
    if (!ok)
        problem = problemOf(q.lastError());
    if (ok && version > kRecordsSchemaVersion) {
        problem = {StoreProblem::Kind::NewerSchema, QString()};
        ok = false;
    }
    for (int step = version; ok && step < kRecordsSchemaVersion; ++step) {
        for (const QString& statement :
             QString::fromLatin1(kMigrations[step]).split(QLatin1Char(';'), Qt::SkipEmptyParts))
            ok = ok && run(db, statement, problem);
    }
    if (ok && version < kRecordsSchemaVersion)
        ok =
            run(db, QStringLiteral("PRAGMA user_version = %1").arg(kRecordsSchemaVersion), problem);
    if (ok)
        return run(db, QStringLiteral("COMMIT"), problem);
    StoreProblem ignored;
    run(db, QStringLiteral("ROLLBACK"), ignored);
    return false;
}

bool SqliteRecordStore::save(const std::vector<SessionRecord>& records, StoreProblem& problem)
{
    if (m_connection.isEmpty()) {
        problem = {StoreProblem::Kind::Other, QStringLiteral("not open")};
        return false;
    }
    SaveStatements& st = saveStatements();
    if (!run(st.begin, problem))
        return false;
    bool ok = true;
    for (const SessionRecord& r : records) {
        st.upsert.bindValue(0, r.id);
        st.upsert.bindValue(1, r.station);
        st.upsert.bindValue(2, isoUtcText(r.startedAtMs));
        st.upsert.bindValue(3, timeValue(r.endedAtMs));
        st.upsert.bindValue(4, r.plannedSeconds);
        st.upsert.bindValue(5, r.ratePerHour);
        st.upsert.bindValue(6, qlonglong(r.cost));
        st.upsert.bindValue(7, endReasonKey(r.endReason));
        st.upsert.bindValue(8, isoUtcText(r.lastSeenAtMs));
        ok = run(st.upsert, problem);
        if (ok && m_queueForServer) {
            st.queue.bindValue(0, r.id);
            ok = run(st.queue, problem);
        }
        if (!ok)
            break;
    }
    st.upsert.finish();
    st.queue.finish();
    if (ok && run(st.commit, problem))
        return true;
    StoreProblem ignored;
    run(st.rollback, ignored);
    return false;
}

bool SqliteRecordStore::closeInterrupted(const QSet<QString>& keep, int& closed,
                                         StoreProblem& problem)
{
    closed = 0;
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!run(db, QStringLiteral("BEGIN"), problem))
        return false;
    QStringList open;
    {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        if (!q.exec(QStringLiteral("SELECT id FROM sessions WHERE end_reason = 'running'"))) {
            problem = problemOf(q.lastError());
            q.finish();
            return finish(db, false, problem);
        }
        while (q.next())
            if (!keep.contains(q.value(0).toString()))
                open << q.value(0).toString();
    }
    QSqlQuery end(db);
    QSqlQuery queue(db);
    bool ok = end.prepare(QStringLiteral(
                  "UPDATE sessions SET end_reason = 'interrupted', ended_at = last_seen_at"
                  " WHERE id = ? AND end_reason = 'running'")) &&
              queue.prepare(QString::fromLatin1(kQueue));
    if (!ok)
        problem = problemOf(end.lastError());
    for (const QString& id : open) {
        if (!ok)
            break;
        end.addBindValue(id);
        ok = run(end, problem);
        if (ok && m_queueForServer) {
            queue.addBindValue(id);
            ok = run(queue, problem);
        }
    }
    end.finish();
    queue.finish();
    if (!finish(db, ok, problem))
        return false;
    closed = int(open.size());
    return true;
}

bool SqliteRecordStore::queueEverything(StoreProblem& problem)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    // SQLite wants a WHERE before ON CONFLICT when the rows come from a SELECT.
    return run(db,
               QStringLiteral("INSERT INTO unsent (id, revision) SELECT id, 1 FROM sessions"
                              " WHERE true ON CONFLICT (id) DO UPDATE SET"
                              " revision = unsent.revision + 1"),
               problem);
}

bool SqliteRecordStore::takeUnsent(int limit, std::vector<Unsent>& out, StoreProblem& problem)
{
    out.clear();
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.setForwardOnly(true);
    q.prepare(QStringLiteral(
        "SELECT s.id, u.revision, s.station, s.started_at, s.ended_at, s.planned_seconds,"
        " s.rate_per_hour, s.cost, s.end_reason, s.last_seen_at"
        " FROM unsent u JOIN sessions s ON s.id = u.id ORDER BY s.started_at LIMIT ?"));
    q.addBindValue(limit);
    if (!run(q, problem))
        return false;
    QHash<QString, QString> names;
    while (q.next()) {
        Unsent u;
        u.record.id = q.value(0).toString();
        u.revision = q.value(1).toLongLong();
        if (!readRecord(q, 2, u.record, names))
            // Named by what is wrong with it, so that an owner can find it.
            u.unreadable = QStringLiteral("no se puede leer en este equipo: inicio «%1», fin «%2»,"
                                          " motivo «%3», visto «%4»")
                               .arg(q.value(3).toString(), q.value(4).toString(),
                                    q.value(8).toString(), q.value(9).toString());
        out.push_back(std::move(u));
    }
    return true;
}

bool SqliteRecordStore::setAside(const Unsent& row, const QString& reason, StoreProblem& problem)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!run(db, QStringLiteral("BEGIN"), problem))
        return false;
    QSqlQuery take(db);
    take.prepare(QStringLiteral("DELETE FROM unsent WHERE id = ? AND revision = ?"));
    take.addBindValue(row.record.id);
    take.addBindValue(row.revision);
    bool ok = run(take, problem);
    // A newer state written meanwhile is not set aside: it is tried in turn.
    if (ok && take.numRowsAffected() > 0) {
        QSqlQuery keep(db);
        keep.prepare(QStringLiteral("INSERT OR REPLACE INTO set_aside (id, revision, reason, at)"
                                    " VALUES (?, ?, ?, ?)"));
        keep.addBindValue(row.record.id);
        keep.addBindValue(row.revision);
        keep.addBindValue(reason);
        keep.addBindValue(isoUtcText(QDateTime::currentMSecsSinceEpoch()));
        ok = run(keep, problem);
    }
    take.finish();
    return finish(db, ok, problem);
}

bool SqliteRecordStore::retrySetAside(StoreProblem& problem)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    return run(db,
               QStringLiteral("INSERT INTO unsent (id, revision) SELECT id, revision FROM set_aside"
                              " WHERE id IN (SELECT id FROM sessions) ON CONFLICT (id) DO NOTHING"),
               problem);
}

bool SqliteRecordStore::setAsideRows(int& count, QStringList& first, int limit,
                                     StoreProblem& problem)
{
    first.clear();
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.setForwardOnly(true);
    // A record changed since it was set aside waits among the unsent again.
    const QString waiting =
        QStringLiteral(" FROM set_aside WHERE id NOT IN (SELECT id FROM unsent)");
    if (!q.exec(QStringLiteral("SELECT count(*)") + waiting) || !q.next()) {
        problem = problemOf(q.lastError());
        return false;
    }
    count = q.value(0).toInt();
    q.finish();
    q.prepare(QStringLiteral("SELECT id, reason") + waiting +
              QStringLiteral(" ORDER BY at, id LIMIT ?"));
    q.addBindValue(limit);
    if (!run(q, problem))
        return false;
    while (q.next())
        first << QStringLiteral("%1 (%2)").arg(q.value(0).toString(), q.value(1).toString());
    return true;
}

bool SqliteRecordStore::absorb(const QString& leftover, StoreProblem& problem)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery attach(db);
    attach.prepare(QStringLiteral("ATTACH DATABASE ? AS leftover"));
    attach.addBindValue(leftover);
    if (!run(attach, problem))
        return false;
    attach.finish();
    bool ok = run(db, QStringLiteral("BEGIN IMMEDIATE"), problem);
    if (ok) {
        QSqlQuery has(db);
        ok = has.exec(QStringLiteral(
                 "SELECT count(*) FROM leftover.sqlite_master WHERE name = 'sessions'")) &&
             has.next();
        if (!ok)
            problem = problemOf(has.lastError());
        const bool any = ok && has.value(0).toInt() > 0;
        has.finish();
        // The state seen last wins where both files hold the same session (a
        // countdown the other run took up).
        if (any)
            ok = run(db,
                     QStringLiteral("INSERT INTO sessions (id, %1) SELECT id, %1 FROM"
                                    " leftover.sessions WHERE true ON CONFLICT (id) DO UPDATE SET"
                                    " station = excluded.station, ended_at = excluded.ended_at,"
                                    " planned_seconds = excluded.planned_seconds,"
                                    " rate_per_hour = excluded.rate_per_hour,"
                                    " cost = excluded.cost, end_reason = excluded.end_reason,"
                                    " last_seen_at = excluded.last_seen_at"
                                    " WHERE excluded.last_seen_at > sessions.last_seen_at"
                                    " OR (excluded.last_seen_at = sessions.last_seen_at"
                                    " AND sessions.end_reason = 'running')")
                         .arg(QString::fromLatin1(kColumns)),
                     problem);
        // Sending twice does no harm (upsert on id): every one of them goes.
        if (any && ok && m_queueForServer)
            ok = run(db,
                     QStringLiteral("INSERT INTO unsent (id, revision) SELECT id, 1 FROM"
                                    " leftover.sessions WHERE true ON CONFLICT (id) DO UPDATE SET"
                                    " revision = unsent.revision + 1"),
                     problem);
        ok = finish(db, ok, problem);
    }
    StoreProblem ignored;
    run(db, QStringLiteral("DETACH DATABASE leftover"), ignored);
    return ok;
}

bool SqliteRecordStore::confirmSent(const std::vector<Unsent>& sent, StoreProblem& problem)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!run(db, QStringLiteral("BEGIN"), problem))
        return false;
    QSqlQuery q(db);
    QSqlQuery accepted(db);
    bool ok = q.prepare(QStringLiteral("DELETE FROM unsent WHERE id = ? AND revision = ?")) &&
              accepted.prepare(QStringLiteral("DELETE FROM set_aside WHERE id = ?"));
    if (!ok)
        problem = problemOf(q.lastError());
    for (const Unsent& u : sent) {
        if (!ok)
            break;
        q.addBindValue(u.record.id);
        q.addBindValue(u.revision);
        ok = run(q, problem);
        if (ok) {
            accepted.addBindValue(u.record.id);
            ok = run(accepted, problem);
        }
    }
    q.finish();
    accepted.finish();
    return finish(db, ok, problem);
}

bool SqliteRecordStore::unsentCount(int& count, StoreProblem& problem)
{
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    if (!q.exec(QStringLiteral("SELECT count(*) FROM unsent")) || !q.next()) {
        problem = problemOf(q.lastError());
        return false;
    }
    count = q.value(0).toInt();
    return true;
}

QString SqliteRecordStore::reportSql(bool oneStation)
{
    return QStringLiteral("SELECT %1 FROM sessions WHERE started_at >= ? AND started_at < ?%2"
                          " ORDER BY started_at, station")
        .arg(QString::fromLatin1(kColumns),
             oneStation ? QStringLiteral(" AND station = ?") : QString());
}

bool SqliteRecordStore::load(const ReportFilter& filter, std::vector<SessionRecord>& out,
                             StoreProblem& problem)
{
    out.clear();
    const QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QStringList values = {isoUtcText(filter.fromMs), isoUtcText(filter.toMs)};
    if (!filter.station.isEmpty())
        values << filter.station;
    const QString sql = reportSql(!filter.station.isEmpty());
    if (sqlite3* native = nativeHandle(db))
        return loadNative(native, sql, values, out, problem);

    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(sql);
    for (const QString& v : values)
        q.addBindValue(v);
    if (!run(q, problem))
        return false;
    QHash<QString, QString> names;
    SessionRecord r;
    while (q.next())
        if (readRecord(q, 0, r, names))
            out.push_back(r);
    if (q.lastError().isValid()) {
        problem = problemOf(q.lastError());
        return false;
    }
    return true;
}

bool SqliteRecordStore::stations(QStringList& out, StoreProblem& problem)
{
    out.clear();
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.setForwardOnly(true);
    if (!q.exec(stationsSql())) {
        problem = problemOf(q.lastError());
        return false;
    }
    while (q.next())
        out << q.value(0).toString();
    return true;
}

namespace {

QString numberedRecordsFile(const QString& dir, int n)
{
    return QDir(dir).filePath(n == 1 ? QStringLiteral("records.sqlite")
                                     : QStringLiteral("records-%1.sqlite").arg(n));
}

constexpr int kMostRecordsFiles = 20;

} // namespace

QString chooseRecordsFile(const QString& dir, QStringList& skipped, StoreProblem* unavailable)
{
    for (int n = 1; n <= kMostRecordsFiles; ++n) {
        const QString path = numberedRecordsFile(dir, n);
        if (!QFileInfo::exists(path))
            return path;
        StoreProblem problem = SqliteRecordStore::inspect(path);
        if (!problem)
            return path;
        if (problem.kind == StoreProblem::Kind::Unavailable) {
            // Neither this file nor the next: the records wait for this one.
            problem.detail = QStringLiteral("%1: %2").arg(path, problem.detail);
            if (unavailable)
                *unavailable = problem;
            return {};
        }
        skipped << QStringLiteral("%1: %2").arg(path, problemText(problem));
    }
    return {};
}

QStringList leftoverRecordsFiles(const QString& chosen)
{
    const QFileInfo info(chosen);
    const QString dir = info.absolutePath();
    int first = 0;
    for (int n = 1; n <= kMostRecordsFiles && first == 0; ++n)
        if (numberedRecordsFile(dir, n) == info.absoluteFilePath())
            first = n;
    QStringList out;
    for (int n = first + 1; first > 0 && n <= kMostRecordsFiles; ++n) {
        const QString path = numberedRecordsFile(dir, n);
        if (QFileInfo::exists(path) && !SqliteRecordStore::inspect(path))
            out << path;
    }
    return out;
}

QString recordsDirectory()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return base + QStringLiteral("/Lurn");
}
