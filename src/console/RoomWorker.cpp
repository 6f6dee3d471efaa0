#include "console/RoomWorker.h"

#include "records/RecordStore.h"
#include "records/ServerAddress.h"
#include "rules/StoredValueBounds.h"

#include <QDate>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlField>
#include <QSqlQuery>
#include <QStringList>
#include <QTimer>
#include <QUuid>
#include <QVariant>

namespace {

const QString kStationsChannel = QStringLiteral("lurn_stations");
const QString kAnswersChannel = QStringLiteral("lurn_answers");
// Every few seconds anyway: a lost notification, or a station gone quiet,
// shows all the same.
constexpr int kPollMs = 3000;
// Notifications from 100 stations come in bursts; one read serves a burst.
constexpr int kCoalesceMs = 250;
constexpr int kRetryMs = 2000;

// Every value is read so that none a station can have written fails the
// read: an infinite time comes back as NULL and is named in the last column
// but one; a day's sum of costs is taken only over sound sessions and held
// inside 64 bits. What is out of range is judged by checkStoredValues().
const char* const kReadRoom =
    "SELECT s.station, s.host, s.state,"
    " CASE WHEN isfinite(s.started_at) THEN (extract(epoch FROM s.started_at) * 1000)::bigint END,"
    " s.planned_seconds,"
    " CASE WHEN isfinite(s.ends_at) THEN (extract(epoch FROM s.ends_at) * 1000)::bigint END,"
    " s.rate_per_hour, s.cost,"
    " CASE WHEN isfinite(s.updated_at) THEN (extract(epoch FROM s.updated_at) * 1000)::bigint END,"
    " coalesce(t.takings, 0), (extract(epoch FROM clock_timestamp()) * 1000)::bigint,"
    " concat_ws(',', CASE WHEN NOT isfinite(s.started_at) THEN 'started_at' END,"
    "  CASE WHEN NOT isfinite(s.ends_at) THEN 'ends_at' END,"
    "  CASE WHEN NOT isfinite(s.updated_at) THEN 'updated_at' END),"
    " coalesce(t.doubtful, 0)"
    " FROM stations s LEFT JOIN"
    " (SELECT station,"
    "  least(sum(cost) FILTER (WHERE sound), 9223372036854775807)::bigint AS takings,"
    "  count(*) FILTER (WHERE NOT sound) AS doubtful"
    "  FROM (SELECT station, cost,"
    "   cost BETWEEN 0 AND ? AND (ended_at IS NULL OR isfinite(ended_at)) AS sound"
    "   FROM sessions WHERE started_at >= ?::timestamptz AND started_at < ?::timestamptz) d"
    "  GROUP BY station) t"
    " USING (station) ORDER BY s.station";

std::optional<std::int64_t> optionalNumber(const QSqlQuery& q, int column)
{
    const QVariant v = q.value(column);
    if (v.isNull())
        return std::nullopt;
    return v.toLongLong();
}

QVariant nullInt()
{
    return QVariant(QMetaType::fromType<int>());
}

} // namespace

RoomWorker::RoomWorker(QString serverUri) : m_uri(std::move(serverUri)) {}

RoomWorker::~RoomWorker() = default;

void RoomWorker::start()
{
    m_poll = new QTimer(this);
    m_poll->setInterval(kPollMs);
    connect(m_poll, &QTimer::timeout, this, [this] {
        if (m_connected) {
            readRoom();
            readAnswers();
        }
    });
    m_coalesce = new QTimer(this);
    m_coalesce->setSingleShot(true);
    m_coalesce->setInterval(kCoalesceMs);
    connect(m_coalesce, &QTimer::timeout, this, &RoomWorker::readRoom);
    m_retry = new QTimer(this);
    m_retry->setSingleShot(true);
    m_retry->setInterval(kRetryMs);
    connect(m_retry, &QTimer::timeout, this, &RoomWorker::connectToServer);
    m_poll->start();
    connectToServer();
}

void RoomWorker::stop()
{
    closeConnection();
    // The timers belong to this thread: they go here, before the thread
    // ends and the worker is deleted from the window's thread.
    delete m_poll;
    delete m_coalesce;
    delete m_retry;
    m_poll = m_coalesce = m_retry = nullptr;
}

void RoomWorker::closeConnection()
{
    if (!m_connection.isEmpty()) {
        {
            QSqlDatabase db = QSqlDatabase::database(m_connection, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_connection);
        m_connection.clear();
    }
    m_connected = false;
}

bool RoomWorker::connectToServer()
{
    if (!m_retry)
        return false; // stopped
    QString why;
    const std::optional<ServerAddress> address = parseServerAddress(m_uri, why);
    if (!address) {
        // Nothing to retry: the address stays wrong until the settings change.
        emit connectionChanged(false, tr("La dirección del servidor no es válida: %1").arg(why));
        return false;
    }
    const QString name = uniqueConnectionName("room");
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        if (!db.isValid()) {
            why = tr("Falta el controlador de PostgreSQL de Qt (libqt6sql6-psql)");
        } else {
            db.setHostName(address->host);
            db.setDatabaseName(address->database);
            db.setUserName(address->user);
            db.setConnectOptions(connectOptions(*address));
            ok = db.open();
            if (!ok)
                why = explain(db.lastError());
            else
                ok = db.driver()->subscribeToNotification(kStationsChannel) &&
                     db.driver()->subscribeToNotification(kAnswersChannel);
            if (db.isOpen() && !ok && why.isEmpty())
                why = explain(db.driver()->lastError());
            if (ok) {
                connect(db.driver(), &QSqlDriver::notification, this,
                        [this](const QString& channel) { notified(channel); });
                // On top of what every connection of Lurn's sets: the room is
                // read every few seconds, so a read that takes longer says
                // the server does not answer.
                QSqlQuery(db).exec(
                    QStringLiteral("SET statement_timeout = %1").arg(kStatementTimeoutMs));
            }
        }
    }
    if (!ok) {
        QSqlDatabase::removeDatabase(name);
        m_connected = false;
        setReading(false, why);
        m_retry->start();
        return false;
    }
    m_connection = name;
    m_connected = true;
    // "Conectado" waits for the first read: a server that takes the login
    // but cannot be read (a table locked by another role) is not connected
    // for the operator.
    readRoom();
    readAnswers();
    return m_connected; // the first read may have found the connection gone
}

void RoomWorker::disconnectFromServer(const QString& why)
{
    closeConnection();
    setReading(false, why);
    m_retry->start();
}

void RoomWorker::setReading(bool ok, const QString& why)
{
    if (ok) {
        if (!m_reading) {
            m_reading = true;
            m_lastWhy.clear();
            emit connectionChanged(true, {});
        }
        return;
    }
    if (m_reading || why != m_lastWhy)
        emit connectionChanged(false, why);
    m_reading = false;
    m_lastWhy = why;
}

void RoomWorker::readFailed(const QSqlError& error)
{
    if (lostConnection(error))
        disconnectFromServer(explain(error));
    else
        setReading(false, explain(error));
}

void RoomWorker::notified(const QString& channel)
{
    if (channel == kStationsChannel)
        scheduleRead();
    else if (channel == kAnswersChannel)
        readAnswers();
}

void RoomWorker::scheduleRead()
{
    if (!m_coalesce->isActive())
        m_coalesce->start();
}

void RoomWorker::readRoom()
{
    if (!m_connected)
        return;
    const QDate today = QDate::currentDate();
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.setForwardOnly(true);
    // Preparing takes the tables' locks as well, and may run out of time.
    const bool prepared = q.prepare(QString::fromLatin1(kReadRoom));
    q.addBindValue(qlonglong(kMaxStoredCost));
    q.addBindValue(today.startOfDay().toUTC().toString(Qt::ISODateWithMs));
    q.addBindValue(today.addDays(1).startOfDay().toUTC().toString(Qt::ISODateWithMs));
    if (!prepared || !q.exec()) {
        readFailed(q.lastError());
        return;
    }
    auto snapshot = std::make_shared<RoomSnapshot>();
    while (q.next()) {
        StationRow row;
        row.station = q.value(0).toString();
        row.host = q.value(1).toString();
        row.state = q.value(2).toString();
        row.startedAtMs = optionalNumber(q, 3);
        row.plannedSeconds = optionalNumber(q, 4);
        row.endsAtMs = optionalNumber(q, 5);
        row.ratePerHour = optionalNumber(q, 6);
        row.cost = optionalNumber(q, 7);
        row.updatedAtMs = q.value(8).toLongLong();
        row.takingsToday = q.value(9).toLongLong();
        snapshot->serverNowMs = q.value(10).toLongLong();
        row.doubtful = q.value(11).toString();
        row.doubtfulSessionsToday = q.value(12).toLongLong();
        snapshot->rows.push_back(std::move(row));
    }
    for (StationRow& row : snapshot->rows)
        checkStoredValues(row, snapshot->serverNowMs);
    if (snapshot->rows.empty()) {
        QSqlQuery clock(QSqlDatabase::database(m_connection, false));
        if (clock.exec(
                QStringLiteral("SELECT (extract(epoch FROM clock_timestamp()) * 1000)::bigint")) &&
            clock.next())
            snapshot->serverNowMs = clock.value(0).toLongLong();
    }
    setReading(true, {});
    emit snapshotRead(std::move(snapshot));
}

void RoomWorker::readAnswers()
{
    if (!m_connected || m_waiting.isEmpty())
        return;
    QStringList ids(m_waiting.begin(), m_waiting.end());
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.setForwardOnly(true);
    const bool prepared =
        q.prepare(QStringLiteral("SELECT id::text, state, coalesce(answer, ''), expires_at < now()"
                                 " FROM commands WHERE id = ANY(?::uuid[])"));
    q.addBindValue(QStringLiteral("{%1}").arg(ids.join(QLatin1Char(','))));
    if (!prepared || !q.exec()) {
        readFailed(q.lastError());
        return;
    }
    while (q.next()) {
        const QString id = q.value(0).toString();
        QString state = q.value(1).toString();
        const QString answer = q.value(2).toString();
        // A station that is away never answers; past its expiry the command
        // will never be carried out, so the counter need not wait for it.
        if (state == QLatin1String("pending") && q.value(3).toBool())
            state = QStringLiteral("expired");
        if (state != QLatin1String("pending")) {
            m_waiting.remove(id);
            emit commandAnswered(id, state, answer);
        }
    }
}

std::int64_t RoomWorker::msLeft(std::chrono::steady_clock::time_point clickedAt) const
{
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - clickedAt);
    return m_validityMs - std::int64_t(waited.count());
}

void RoomWorker::issue(int tag, const RoomCommand& c,
                       std::chrono::steady_clock::time_point clickedAt)
{
    // The operator's order is worth a try at once rather than at the next
    // retry: the server may be back already.
    if (!m_connected && m_retry && m_retry->isActive()) {
        m_retry->stop();
        connectToServer();
    }
    if (!m_connected) {
        emit commandFailed(tag,
                           m_lastWhy.isEmpty() ? tr("sin conexión con el servidor") : m_lastWhy);
        return;
    }
    // The id is made here: an insert whose connection turns out dead (the
    // server restarted since the last read) is sent once more on a new
    // connection, and if the first did reach the server, the second adds
    // nothing. Neither goes once the order's validity, counted from the
    // click, has run out: the operator has been told it was not sent.
    const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    QSqlError error;
    std::int64_t left = msLeft(clickedAt);
    Insert result = left > 0 ? insertCommand(id, c, left, error) : Insert::TooLate;
    if (result == Insert::Failed && lostConnection(error)) {
        closeConnection();
        m_retry->stop();
        if (connectToServer()) {
            left = msLeft(clickedAt);
            result = left > 0 ? insertCommand(id, c, left, error) : Insert::TooLate;
        }
    }
    switch (result) {
    case Insert::Stored:
        m_waiting.insert(id);
        emit commandStored(tag, id);
        return;
    case Insert::TooLate:
        emit commandFailed(tag, tr("no se pudo guardar dentro de sus %1 s de validez; "
                                   "ya no se enviará")
                                    .arg(m_validityMs / 1000.0));
        return;
    case Insert::Failed:
        break;
    }
    const QString why = m_connected ? explain(error) : m_lastWhy;
    emit commandFailed(tag, why);
    if (m_connected && lostConnection(error))
        disconnectFromServer(why);
}

RoomWorker::Insert RoomWorker::insertCommand(const QString& id, const RoomCommand& c,
                                             std::int64_t leftMs, QSqlError& error)
{
    const bool start = c.kind == RoomCommand::Kind::Start;
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    // One statement with its values in it, not a prepared one: preparing
    // waits for the table's lock on its own, and the time left must be
    // counted up to the very statement that stores the row.
    const auto literal = [&db](const QVariant& value) {
        QSqlField field(QString(), value.metaType());
        field.setValue(value);
        return db.driver()->formatValue(field);
    };
    const QStringList values = {
        literal(id),
        literal(c.station),
        literal(kindName(c.kind)),
        literal(start ? QVariant(c.hours) : nullInt()),
        literal(start ? QVariant(c.minutes) : nullInt()),
        literal(start ? QVariant(c.seconds) : nullInt()),
        literal(start ? QVariant(c.secondRate) : QVariant(QMetaType::fromType<bool>())),
        literal(start ? QVariant(c.warnMinutes) : nullInt()),
        literal(c.kind == RoomCommand::Kind::AddTime ? QVariant(c.addMinutes) : nullInt()),
        literal(c.kind == RoomCommand::Kind::Message ? QVariant(c.message)
                                                     : QVariant(QMetaType::fromType<QString>())),
    };
    // It expires what was left of its validity after the server's clock at
    // this statement, and the row is stored only if that is still ahead when
    // the insert runs: a statement held up (by a lock, say) until past its
    // validity stores nothing, even if the statement timeout did not end it.
    // Put together in one go: a value's own text (a station's name is the
    // station's to choose) must never be read as a place for another.
    static const char* const casts[] = {"::uuid",    "::text",    "::text",    "::integer",
                                        "::integer", "::integer", "::boolean", "::integer",
                                        "::integer", "::text"};
    QString insert = QStringLiteral(
        "INSERT INTO commands (id, station, kind, hours, minutes, seconds, second_rate,"
        " warn_minutes, add_minutes, message, expires_at) SELECT ");
    for (qsizetype i = 0; i < values.size(); ++i)
        insert += values[i] + QLatin1String(casts[i]) + QStringLiteral(", ");
    insert += QStringLiteral("deadline FROM (SELECT statement_timestamp() + %1 * interval '1 ms'"
                             " AS deadline) d WHERE clock_timestamp() < deadline"
                             " ON CONFLICT (id) DO NOTHING")
                  .arg(leftMs);
    QSqlQuery q(db);
    if (!q.exec(insert)) {
        error = q.lastError();
        return Insert::Failed;
    }
    if (q.numRowsAffected() > 0)
        return Insert::Stored;
    // Nothing inserted: either its time ran out inside the server, or an
    // earlier try of the same order, on a connection that then broke, did
    // store it.
    QSqlQuery stored(db);
    if (!stored.exec(QStringLiteral("SELECT 1 FROM commands WHERE id = %1::uuid").arg(values[0]))) {
        error = stored.lastError();
        return Insert::Failed;
    }
    return stored.next() ? Insert::Stored : Insert::TooLate;
}

QString RoomWorker::explain(const QSqlError& error) const
{
    const QString code = error.nativeErrorCode();
    const QString text = error.databaseText().trimmed().isEmpty() ? error.text().trimmed()
                                                                  : error.databaseText().trimmed();
    if (code == QLatin1String("42501"))
        return tr("El rol de este PC no tiene permiso en el servidor (%1)").arg(text);
    if (code == QLatin1String("42P01"))
        return tr("El servidor aún no tiene las tablas de la sala: ningún puesto de "
                  "esta versión se ha conectado todavía (%1)")
            .arg(text);
    if (lostConnection(error))
        return tr("No se puede conectar con el servidor: %1").arg(text);
    // The statement timeout, or a lock another role holds.
    if (code == QLatin1String("57014") || code == QLatin1String("55P03"))
        return tr("El servidor no contesta a tiempo (¿una tabla bloqueada?): %1").arg(text);
    return tr("Error del servidor: %1").arg(text);
}

bool RoomWorker::lostConnection(const QSqlError& error) const
{
    const QString code = error.nativeErrorCode();
    // A server's refusal always carries its SQLSTATE; none means libpq lost
    // the connection itself.
    if (error.type() == QSqlError::ConnectionError || code.isEmpty() ||
        code.startsWith(QLatin1String("08")) || code.startsWith(QLatin1String("57P")))
        return true;
    const QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    return !db.isOpen();
}
