#pragma once

#include "records/SessionRecord.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// What the report window says about where the records go.
struct RecordsStatus
{
    QString localFile;        // the SQLite file written; empty until it is open
    QStringList skippedFiles; // files left untouched, and why (Spanish)
    QString localProblem;     // the last failure to write locally (Spanish); empty when fine
    QString server;           // the server's URI; empty when records stay on this computer
    enum class Link {
        NotSet,    // no server
        Unknown,   // not tried yet
        Connected, // the last request succeeded
        Failing,   // the last request failed: serverProblem says why
    };
    Link link = Link::NotSet;
    QString serverProblem;    // Spanish
    int unsent = 0;           // records written here that the server has yet to confirm
    int setAside = 0;         // records the server refused (or unreadable), kept here
    QStringList setAsideRows; // the first of them: "id (reason)"

    bool operator==(const RecordsStatus&) const = default;
};

// How long the keeper waits before trying again.
struct RecordKeeperTiming
{
    int retryMs = 60'000;   // a failed write or send is tried again after this
    int throttleMs = 5'000; // after a failed send, changes wait this long to try again
    // A records file that cannot be read just now (locked, busy) is looked at
    // again after this, then twice as long each time, up to retryMs.
    int reopenMs = 1'000;
};

// Keeps the session records: every record is written to the SQLite file on
// this computer, and, when a server is set, then sent to it. Two threads do
// the work, so that neither a slow disk nor a slow or dead server delays the
// window: one writes the file, one sends what the server has not confirmed
// (after each write, a minute after a failure, and at start). The calling
// thread only hands records over.
class RecordKeeper final : public QObject
{
    Q_OBJECT
public:
    // directory: where the records file lives ($XDG_DATA_HOME/Lurn); server:
    // a postgresql:// URI or empty.
    RecordKeeper(QString directory, QString server,
                 RecordKeeperTiming timing = RecordKeeperTiming{}, QObject* parent = nullptr);
    // Writes what is still waiting, then ends both threads; a record the
    // server has not confirmed is sent at the next start. A statement the
    // server holds up is cancelled, so this never waits on the server
    // longer than a connection attempt (connect_timeout).
    ~RecordKeeper() override;
    RecordKeeper(const RecordKeeper&) = delete;
    RecordKeeper& operator=(const RecordKeeper&) = delete;

    // Hands a record over to be written (a newer state of a record replaces
    // one still waiting). Returns at once.
    void record(const SessionRecord& record);
    // Closes as interrupted the records a previous run left running, except
    // keepId (a countdown this run resumed) and those this run has recorded.
    void closeInterrupted(const QString& keepId);
    // A new server URI (or none), as set in the report window. The records
    // already on this computer are sent to it too.
    void setServer(const QString& server);
    // Sends now what is waiting, without waiting for a change or the minute.
    void sendNow();

    // Waits until everything handed over has been written, at most timeoutMs;
    // false if not (or if the last write failed).
    bool waitUntilWritten(int timeoutMs);
    // Waits until the server has confirmed every record, at most timeoutMs.
    bool waitUntilSent(int timeoutMs);

    RecordsStatus status() const;

signals:
    // status() has changed; emitted in the keeper's thread.
    void statusChanged();

private:
    void writerLoop();
    void senderLoop();
    // With m_mutex held: wakes the waits, and tells statusChanged when the
    // status differs from what was last told.
    void publish();

    const QString m_directory;
    const RecordKeeperTiming m_timing;

    mutable std::mutex m_mutex;
    std::condition_variable m_writerWake;
    std::condition_variable m_senderWake;
    std::condition_variable m_progress;
    std::condition_variable m_stopWake;   // only the end of the keeper
    std::vector<SessionRecord> m_pending; // in the order handed over
    std::optional<QString> m_closeKeep;
    bool m_serverChanged = false;
    bool m_writerBusy = false;
    bool m_writeFailed = false;
    bool m_sendRequested = false;
    bool m_sendForced = false;
    bool m_senderBusy = false;
    bool m_stopping = false;
    RecordsStatus m_status;
    RecordsStatus m_told; // what statusChanged last told

    // The sender's connection, for the end to cancel what it waits on.
    std::mutex m_serverMutex;
    class PostgresRecordStore* m_server = nullptr;

    std::thread m_writer;
    std::thread m_sender;
};
