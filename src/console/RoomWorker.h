#pragma once

#include "console/RoomCommand.h"
#include "console/RoomSnapshot.h"

#include <QDateTime>
#include <QObject>
#include <QSet>
#include <QSqlError>
#include <QString>

class QTimer;

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
    void issue(int tag, const RoomCommand& command);

signals:
    void snapshotRead(RoomSnapshotPtr snapshot);
    // connected: the room is being read; otherwise why not (Spanish).
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
    QString explain(const QSqlError& error) const;
    bool lostConnection(const QSqlError& error) const;
    bool insertCommand(const QString& id, const RoomCommand& command, QSqlError& error);

    QString m_uri;
    QString m_connection;
    bool m_connected = false;
    QString m_lastWhy;
    QTimer* m_poll = nullptr;
    QTimer* m_coalesce = nullptr;
    QTimer* m_retry = nullptr;
    QSet<QString> m_waiting; // ids of commands whose answer is still to come
};
