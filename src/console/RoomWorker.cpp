#include "console/RoomWorker.h"

#include "records/RecordStore.h"
#include "records/ServerAddress.h"

#include <QDate>
#include <QSqlDatabase>
#include <QSqlDriver>
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

const char* const kReadRoom =
    "SELECT s.station, s.host, s.state,"
    " (extract(epoch FROM s.started_at) * 1000)::bigint, s.planned_seconds,"
    " (extract(epoch FROM s.ends_at) * 1000)::bigint, s.rate_per_hour, s.cost,"
    " (extract(epoch FROM s.updated_at) * 1000)::bigint, coalesce(t.takings, 0),"
    " (extract(epoch FROM clock_timestamp()) * 1000)::bigint"
    " FROM stations s LEFT JOIN"
    " (SELECT station, sum(cost) AS takings FROM sessions"
    "  WHERE started_at >= ?::timestamptz AND started_at < ?::timestamptz GROUP BY station) t"
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
            if (ok)
                connect(db.driver(), &QSqlDriver::notification, this,
                        [this](const QString& channel) { notified(channel); });
        }
    }
    if (!ok) {
        QSqlDatabase::removeDatabase(name);
        if (why != m_lastWhy || m_connected)
            emit connectionChanged(false, why);
        m_lastWhy = why;
        m_connected = false;
        m_retry->start();
        return false;
    }
    m_connection = name;
    m_connected = true;
    m_lastWhy.clear();
    emit connectionChanged(true, {});
    readRoom();
    readAnswers();
    return true;
}

void RoomWorker::disconnectFromServer(const QString& why)
{
    closeConnection();
    if (why != m_lastWhy)
        emit connectionChanged(false, why);
    m_lastWhy = why;
    m_retry->start();
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
    q.prepare(QString::fromLatin1(kReadRoom));
    q.addBindValue(today.startOfDay().toUTC().toString(Qt::ISODateWithMs));
    q.addBindValue(today.addDays(1).startOfDay().toUTC().toString(Qt::ISODateWithMs));
    if (!q.exec()) {
        disconnectFromServer(explain(q.lastError()));
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
        snapshot->rows.push_back(std::move(row));
    }
    if (snapshot->rows.empty()) {
        QSqlQuery clock(QSqlDatabase::database(m_connection, false));
        if (clock.exec(
                QStringLiteral("SELECT (extract(epoch FROM clock_timestamp()) * 1000)::bigint")) &&
            clock.next())
            snapshot->serverNowMs = clock.value(0).toLongLong();
    }
    emit snapshotRead(std::move(snapshot));
}

void RoomWorker::readAnswers()
{
    if (!m_connected || m_waiting.isEmpty())
        return;
    QStringList ids(m_waiting.begin(), m_waiting.end());
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT id::text, state, coalesce(answer, ''), expires_at < now()"
                             " FROM commands WHERE id = ANY(?::uuid[])"));
    q.addBindValue(QStringLiteral("{%1}").arg(ids.join(QLatin1Char(','))));
    if (!q.exec()) {
        disconnectFromServer(explain(q.lastError()));
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

void RoomWorker::issue(int tag, const RoomCommand& c)
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
    // nothing.
    const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    QSqlError error;
    bool ok = insertCommand(id, c, error);
    if (!ok && lostConnection(error)) {
        closeConnection();
        m_retry->stop();
        if (connectToServer())
            ok = insertCommand(id, c, error);
    }
    if (!ok) {
        const QString why = m_connected ? explain(error) : m_lastWhy;
        emit commandFailed(tag, why);
        if (m_connected && lostConnection(error))
            disconnectFromServer(why);
        return;
    }
    m_waiting.insert(id);
    emit commandStored(tag, id);
}

bool RoomWorker::insertCommand(const QString& id, const RoomCommand& c, QSqlError& error)
{
    const bool start = c.kind == RoomCommand::Kind::Start;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(QStringLiteral(
        "INSERT INTO commands (id, station, kind, hours, minutes, seconds, second_rate,"
        " warn_minutes, add_minutes, message) VALUES (?::uuid, ?, ?, ?, ?, ?, ?, ?, ?, ?)"
        " ON CONFLICT (id) DO NOTHING"));
    q.addBindValue(id);
    q.addBindValue(c.station);
    q.addBindValue(kindName(c.kind));
    q.addBindValue(start ? QVariant(c.hours) : nullInt());
    q.addBindValue(start ? QVariant(c.minutes) : nullInt());
    q.addBindValue(start ? QVariant(c.seconds) : nullInt());
    q.addBindValue(start ? QVariant(c.secondRate) : QVariant(QMetaType::fromType<bool>()));
    q.addBindValue(start ? QVariant(c.warnMinutes) : nullInt());
    q.addBindValue(c.kind == RoomCommand::Kind::AddTime ? QVariant(c.addMinutes) : nullInt());
    q.addBindValue(c.kind == RoomCommand::Kind::Message ? QVariant(c.message)
                                                        : QVariant(QMetaType::fromType<QString>()));
    if (q.exec())
        return true;
    error = q.lastError();
    return false;
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
