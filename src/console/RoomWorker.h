#pragma once

#include "console/RoomCommand.h"
#include "console/RoomSnapshot.h"

#include <QDateTime>
#include <QObject>
#include <QSet>
#include <QSqlError>
#include <QString>

#include <chrono>

class QTimer;

// How long an order may take from the operator's click to the station's
// carrying it out.
constexpr std::int64_t kOrderValidityMs = 60'000;
// Any one statement of the counter's: a table locked by another role, or a
// server that stalls, turns into "reads fail" within this, not a frozen room.
constexpr int kStatementTimeoutMs = 4000;

// The counter's connection to the server, on its own thread: LISTENs for
// stations' changes and commands' answers, reads the room again on a
// notification (at most a few times a second) and every few seconds anyway,
// reconnects when the server goes, and inserts commands. Every slot runs on
// the worker's thread; results leave by signals.
class RoomWorker final : public QObject
{
    Q_OBJECT
public:
    explicit RoomWorker(QString serverUri);
    ~RoomWorker() override;

    void start();
    void stop();
    // clickedAt: when the operator gave the order, on the monotonic clock;
    // its validity counts from then.
    void issue(int tag, const RoomCommand& command,
               std::chrono::steady_clock::time_point clickedAt);
    // A test waits less than a real order's minute.
    void setOrderValidityMs(std::int64_t ms) { m_validityMs = ms; }

signals:
    void snapshotRead(RoomSnapshotPtr snapshot);
    // connected: the room's last read succeeded; otherwise why not (Spanish).
    void connectionChanged(bool connected, const QString& why);
    // The command was stored under id, or could not be (why).
    void commandStored(int tag, const QString& id);
    void commandFailed(int tag, const QString& why);
    // A stored command's answer: done, refused, expired; answer the station's
    // reason when refused.
    void commandAnswered(const QString& id, const QString& state, const QString& answer);

private:
    bool connectToServer();
    void closeConnection();
    void disconnectFromServer(const QString& why);
    void notified(const QString& channel);
    void readRoom();
    void readAnswers();
    void scheduleRead();
    // A read that failed: the connection is given up when it is lost, kept
    // (and read again at the next poll) when the server only refused or ran
    // out of time.
    void readFailed(const QSqlError& error);
    void setReading(bool ok, const QString& why);
    QString explain(const QSqlError& error) const;
    bool lostConnection(const QSqlError& error) const;
    enum class Insert { Stored, TooLate, Failed };
    Insert insertCommand(const QString& id, const RoomCommand& command, std::int64_t leftMs,
                         QSqlError& error);
    std::int64_t msLeft(std::chrono::steady_clock::time_point clickedAt) const;

    QString m_uri;
    QString m_connection;
    bool m_connected = false; // the connection is open
    bool m_reading = false;   // "connected" said: the last read succeeded
    QString m_lastWhy;
    std::int64_t m_validityMs = kOrderValidityMs;
    QTimer* m_poll = nullptr;
    QTimer* m_coalesce = nullptr;
    QTimer* m_retry = nullptr;
    QSet<QString> m_waiting; // ids of commands whose answer is still to come
};
