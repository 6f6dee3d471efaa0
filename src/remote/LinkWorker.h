#pragma once

#include "remote/CommandLedger.h"
#include "remote/RemoteCommand.h"
#include "remote/StationStatus.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSet>

#include <libpq-fe.h>

#include <atomic>
#include <mutex>
#include <optional>

class QSocketNotifier;
class QTimer;

// How often the link writes and how it waits to reconnect.
struct LinkTiming
{
    int heartbeatMs = 15000;
    int firstRetryMs = 500;
    int longestRetryMs = 15000;
};

// The link's work, on the link's own thread: every call into libpq, which may
// wait seconds for a silent server, happens here and never on the GUI thread.
class LinkWorker final : public QObject
{
    Q_OBJECT
public:
    LinkWorker(QByteArray conninfo, QString station, QString host, QString version,
               QString ledgerPath, LinkTiming timing);
    ~LinkWorker() override;

    void start();
    void stop();
    // From any thread, before stop(): cancels the statement the link waits
    // on (a lock the server holds it up with) and sends nothing more, so
    // that stop() comes at once.
    void interrupt();
    void publish(const StationStatus& status);
    void answer(const QString& id, bool done, const QString& why);

signals:
    void commandArrived(const RemoteCommand& command);
    void statusChanged(const LinkStatus& status);

private:
    void connectNow();
    void lost(const QString& problem);
    void dropConnection();
    void setStatus(bool connected, const QString& problem);
    void readable();
    void drainNotifications();
    void readPending();
    void readPendingOnce();
    bool writeStation();
    bool writeAnswer(const QString& id, const char* state, const QString& answer);
    // A failed request: false, and the connection dropped when it is gone.
    bool check(const struct Outcome& outcome);

    QByteArray m_conninfo;
    QString m_station, m_host, m_version;
    CommandLedger m_ledger;
    LinkTiming m_timing;
    PGconn* m_conn = nullptr;
    QSocketNotifier* m_notifier = nullptr;
    QTimer* m_heartbeat = nullptr;
    QTimer* m_retry = nullptr;
    int m_retryMs = 0;
    std::optional<StationStatus> m_status;
    QElapsedTimer m_statusAge;
    // Handed to the window in this run and not answered yet: a re-read while
    // the window carries one out must not hand it over again.
    QSet<QString> m_delivered;
    LinkStatus m_linkStatus;
    std::atomic<bool> m_stopping = false;
    std::mutex m_cancelMutex;
    PGcancel* m_cancel = nullptr; // for m_conn
    bool m_reading = false;
    bool m_readAgain = false;
};
