#include "remote/LinkWorker.h"

#include "remote/PgConnection.h"

#include <QSocketNotifier>
#include <QTimer>

namespace {

// A station writes and reads only through the server's own functions
// (data/sql/lurn-station-functions.sql): they take the station from the role,
// check every value and notify the counter.
const char* const kWriteStation =
    "SELECT lurn_write_station($1, $2, $3, $4, $5::uuid, $6::timestamptz, $7::integer,"
    " $8::double precision, $9::integer, $10::bigint)";

// The time left is computed by the server so that a station's wrong clock
// cannot make an order look fresh or stale.
const char* const kPending =
    "SELECT id, kind, hours, minutes, seconds, second_rate, warn_minutes, add_minutes, message,"
    " issued_by, issued_at, expired, ms_left, station FROM lurn_pending_commands($1)";

const char* const kAnswer = "SELECT lurn_answer_command($1, $2::uuid, $3, $4)";

std::optional<QByteArray> text(const QString& s)
{
    return s.toUtf8();
}

template <typename T> std::optional<QByteArray> number(const std::optional<T>& v)
{
    if (!v)
        return std::nullopt;
    return QByteArray::number(*v);
}

std::optional<int> intAt(const PGresult* r, int row, int column)
{
    if (PQgetisnull(r, row, column))
        return std::nullopt;
    return QByteArray(PQgetvalue(r, row, column)).toInt();
}

QString textAt(const PGresult* r, int row, int column)
{
    return QString::fromUtf8(PQgetvalue(r, row, column), PQgetlength(r, row, column));
}

} // namespace

const char* stateName(StationStatus::State state)
{
    switch (state) {
    case StationStatus::State::Idle:
        return "idle";
    case StationStatus::State::Running:
        return "running";
    case StationStatus::State::Warning:
        return "warning";
    case StationStatus::State::Ended:
        return "ended";
    case StationStatus::State::Stopped:
        return "stopped";
    }
    return "idle";
}

LinkWorker::LinkWorker(QByteArray conninfo, QString station, QString host, QString version,
                       QString ledgerPath, LinkTiming timing)
    : m_conninfo(std::move(conninfo)), m_station(std::move(station)), m_host(std::move(host)),
      m_version(std::move(version)), m_ledger(std::move(ledgerPath)), m_timing(timing)
{
}

LinkWorker::~LinkWorker()
{
    dropConnection();
}

void LinkWorker::dropConnection()
{
    {
        std::lock_guard lock(m_cancelMutex);
        PQfreeCancel(m_cancel);
        m_cancel = nullptr;
    }
    if (m_conn)
        PQfinish(m_conn);
    m_conn = nullptr;
}

void LinkWorker::interrupt()
{
    m_stopping = true;
    std::lock_guard lock(m_cancelMutex);
    if (m_cancel) {
        char why[256];
        PQcancel(m_cancel, why, int(sizeof why));
    }
}

void LinkWorker::start()
{
    m_heartbeat = new QTimer(this);
    m_heartbeat->setInterval(m_timing.heartbeatMs);
    connect(m_heartbeat, &QTimer::timeout, this, [this] {
        if (m_conn && m_status)
            writeStation();
    });
    m_retry = new QTimer(this);
    m_retry->setSingleShot(true);
    connect(m_retry, &QTimer::timeout, this, &LinkWorker::connectNow);
    m_retryMs = m_timing.firstRetryMs;
    connectNow();
}

void LinkWorker::stop()
{
    m_stopping = true;
    delete m_notifier;
    m_notifier = nullptr;
    if (m_heartbeat)
        m_heartbeat->stop();
    if (m_retry)
        m_retry->stop();
    dropConnection();
}

void LinkWorker::setStatus(bool connected, const QString& problem)
{
    if (m_linkStatus.connected == connected && m_linkStatus.problem == problem)
        return;
    m_linkStatus = {connected, problem};
    emit statusChanged(m_linkStatus);
}

void LinkWorker::connectNow()
{
    if (m_stopping || m_conn)
        return;
    // Waits at most connect_timeout, on this thread only.
    m_conn = PQconnectdb(m_conninfo.constData());
    if (PQstatus(m_conn) != CONNECTION_OK) {
        lost(describeConnectionFailure(QString::fromUtf8(PQerrorMessage(m_conn)).simplified()));
        return;
    }
    {
        std::lock_guard lock(m_cancelMutex);
        m_cancel = PQgetCancel(m_conn);
    }
    if (!check(run(m_conn, "LISTEN lurn_commands")))
        return;
    m_notifier = new QSocketNotifier(PQsocket(m_conn), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &LinkWorker::readable);
    if (m_status && !writeStation())
        return;
    m_retryMs = m_timing.firstRetryMs;
    m_heartbeat->start();
    setStatus(true, QString());
    // Orders issued while the station was away.
    readPending();
}

void LinkWorker::lost(const QString& problem)
{
    delete m_notifier;
    m_notifier = nullptr;
    dropConnection();
    m_heartbeat->stop();
    setStatus(false, problem);
    if (m_stopping)
        return;
    // Orders handed over but not answered stay with the window; the ledger
    // keeps the answers it gives while the server is away.
    m_retry->start(m_retryMs);
    m_retryMs = std::min(m_retryMs * 2, m_timing.longestRetryMs);
}

bool LinkWorker::check(const Outcome& outcome)
{
    if (outcome.ok)
        return true;
    if (outcome.connectionLost || !m_conn || PQstatus(m_conn) != CONNECTION_OK)
        lost(outcome.problem);
    else
        setStatus(true, outcome.problem);
    return false;
}

void LinkWorker::readable()
{
    if (!m_conn)
        return;
    if (!PQconsumeInput(m_conn)) {
        lost(describeConnectionFailure(QString::fromUtf8(PQerrorMessage(m_conn)).simplified()));
        return;
    }
    drainNotifications();
}

void LinkWorker::drainNotifications()
{
    bool mine = false;
    while (m_conn) {
        PGnotify* n = PQnotifies(m_conn);
        if (!n)
            break;
        // The payload is only a hint: it spares this station re-reading for
        // another's orders. The query itself filters by this station.
        mine = mine || QString::fromUtf8(n->extra) == m_station;
        PQfreemem(n);
    }
    if (mine)
        readPending();
}

void LinkWorker::readPending()
{
    // Answering inside the loop may bring notifications of new orders: they
    // are read after this pass, not inside it.
    if (m_reading) {
        m_readAgain = true;
        return;
    }
    m_reading = true;
    do {
        m_readAgain = false;
        readPendingOnce();
    } while (m_readAgain && m_conn);
    m_reading = false;
}

void LinkWorker::readPendingOnce()
{
    if (!m_conn || m_stopping)
        return;
    Outcome o = run(m_conn, kPending, {text(m_station)});
    if (!check(o))
        return;
    const PGresult* r = o.result.get();
    for (int row = 0; row < PQntuples(r) && m_conn; ++row) {
        const QString id = textAt(r, row, 0);
        if (const CommandLedger::Entry* e = m_ledger.find(id)) {
            // Carried out or refused before, its answer lost on the way: the
            // answer again, never the order again.
            if (!writeAnswer(id, e->done ? "done" : "refused", e->answer))
                return;
            continue;
        }
        if (m_delivered.contains(id))
            continue;
        if (textAt(r, row, 11) == QLatin1String("t")) {
            if (!writeAnswer(id, "expired", QStringLiteral("Orden caducada")))
                return;
            continue;
        }
        RemoteCommand c;
        c.id = id;
        c.kind = textAt(r, row, 1);
        c.hours = intAt(r, row, 2);
        c.minutes = intAt(r, row, 3);
        c.seconds = intAt(r, row, 4);
        if (!PQgetisnull(r, row, 5))
            c.secondRate = textAt(r, row, 5) == QLatin1String("t");
        c.warnMinutes = intAt(r, row, 6);
        c.addMinutes = intAt(r, row, 7);
        if (!PQgetisnull(r, row, 8))
            c.message = textAt(r, row, 8);
        c.issuedBy = textAt(r, row, 9);
        c.issuedAt = QDateTime::fromString(textAt(r, row, 10), Qt::ISODateWithMs);
        c.expiresAt = QDateTime::currentDateTimeUtc().addMSecs(
            QByteArray(PQgetvalue(r, row, 12)).toLongLong());
        c.station = textAt(r, row, 13);
        m_delivered.insert(id);
        emit commandArrived(c);
    }
    drainNotifications();
}

void LinkWorker::publish(const StationStatus& status)
{
    m_status = status;
    m_statusAge.start();
    if (m_conn)
        writeStation();
}

bool LinkWorker::writeStation()
{
    if (m_stopping)
        return false;
    const StationStatus& s = *m_status;
    std::optional<double> left;
    if (s.remainingSeconds) {
        const bool counting =
            s.state == StationStatus::State::Running || s.state == StationStatus::State::Warning;
        const qint64 agedMs = counting ? m_statusAge.elapsed() : 0;
        left = std::max(0.0, double(*s.remainingSeconds) - double(agedMs) / 1000.0);
    }
    std::optional<QByteArray> started;
    if (s.startedAt.isValid())
        started = s.startedAt.toUTC().toString(Qt::ISODateWithMs).toUtf8();
    std::optional<QByteArray> session;
    if (!s.sessionId.isEmpty())
        session = s.sessionId.toUtf8();
    const bool ok = check(run(
        m_conn, kWriteStation,
        {text(m_station), text(m_host), text(m_version), QByteArray(stateName(s.state)), session,
         started, number(s.plannedSeconds), number(left), number(s.ratePerHour), number(s.cost)}));
    if (ok)
        drainNotifications();
    return ok;
}

void LinkWorker::answer(const QString& id, bool done, const QString& why)
{
    m_delivered.remove(id);
    // The answer goes out first, and the ledger is written to disk while the
    // server takes it: the order has been carried out already, and either
    // one keeps it from being carried out again (an answered order is not
    // read again; one still pending is answered from the ledger). Waiting
    // for the disk before sending doubled the time to the answer on a busy
    // disk; sending first widens the moment in which a crash would carry it
    // out again only by the time the statement takes to leave.
    const char* state = done ? "done" : "refused";
    const bool sent =
        m_conn && !m_stopping &&
        send(m_conn, kAnswer, {text(m_station), text(id), QByteArray(state), text(why)});
    QString problem;
    if (!m_ledger.find(id) && !m_ledger.record(id, done, why, problem))
        setStatus(m_linkStatus.connected, problem);
    if (m_conn && !m_stopping && check(collect(m_conn, sent)))
        drainNotifications();
}

bool LinkWorker::writeAnswer(const QString& id, const char* state, const QString& answer)
{
    if (m_stopping)
        return false;
    const bool ok =
        check(run(m_conn, kAnswer, {text(m_station), text(id), QByteArray(state), text(answer)}));
    if (ok)
        drainNotifications();
    return ok;
}
