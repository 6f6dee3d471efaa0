#pragma once

#include "console/RoomCommand.h"
#include "console/RoomSnapshot.h"

#include <QObject>
#include <QString>

class QThread;
class RoomWorker;

// The room as the counter's window sees it: snapshots of every station and
// the fate of the commands it sends, read on a thread of its own so that a
// slow or vanished server never holds up the window.
class RoomSource final : public QObject
{
    Q_OBJECT
public:
    // serverUri: the Servidor setting (a postgresql:// URI).
    explicit RoomSource(const QString& serverUri, QObject* parent = nullptr);
    ~RoomSource() override;
    RoomSource(const RoomSource&) = delete;
    RoomSource& operator=(const RoomSource&) = delete;

    // Sends a command; its tag comes back in commandStored/commandFailed.
    // Its validity counts from this call, on the monotonic clock.
    int issue(const RoomCommand& command);
    // How long an order stays valid (kOrderValidityMs unless a test waits less).
    void setOrderValidityMs(std::int64_t ms);

signals:
    void snapshotRead(RoomSnapshotPtr snapshot);
    void connectionChanged(bool connected, const QString& why);
    void commandStored(int tag, const QString& id);
    void commandFailed(int tag, const QString& why);
    void commandAnswered(const QString& id, const QString& state, const QString& answer);

private:
    QThread* m_thread;
    RoomWorker* m_worker;
    int m_nextTag = 1;
};
