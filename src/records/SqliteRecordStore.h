#pragma once

#include "records/RecordStore.h"

#include <QSet>
#include <QString>

#include <memory>

class QSqlQuery;

// The records kept on this computer, in one SQLite file (WAL, mode 0600). The
// file's PRAGMA user_version is the schema version. Besides the table sessions
// the file holds the table unsent: the records a server has yet to confirm.
class SqliteRecordStore final : public RecordStore
{
public:
    enum class Access {
        ReadWrite, // creates the file and the schema when missing
        ReadOnly,  // for the report: never changes the file
    };

    explicit SqliteRecordStore(QString path, Access access = Access::ReadWrite);
    ~SqliteRecordStore() override;
    SqliteRecordStore(const SqliteRecordStore&) = delete;
    SqliteRecordStore& operator=(const SqliteRecordStore&) = delete;

    bool open(StoreProblem& problem) override;
    void close() override;
    bool isOpen() const override;
    bool save(const std::vector<SessionRecord>& records, StoreProblem& problem) override;
    bool load(const ReportFilter& filter, std::vector<SessionRecord>& out,
              StoreProblem& problem) override;
    bool stations(QStringList& out, StoreProblem& problem) override;
    QString location() const override { return m_path; }

    // Whether save() also queues the records for the server.
    void setQueueForServer(bool queue) { m_queueForServer = queue; }

    // Closes every record still marked running, except those in keep, as
    // interrupted at its last_seen_at with the cost it had then; closed tells
    // how many.
    bool closeInterrupted(const QSet<QString>& keep, int& closed, StoreProblem& problem);

    // Queues every record for the server: a newly set server gets this
    // station's earlier records too.
    bool queueEverything(StoreProblem& problem);

    // A record waiting for the server, with the count of local writes it has
    // seen: a confirmation of an older revision leaves it waiting.
    struct Unsent
    {
        SessionRecord record; // only the id when unreadable
        qint64 revision = 0;
        QString unreadable; // why the stored row cannot be read (Spanish); empty when fine
    };
    // The oldest records waiting for the server, the unreadable ones among
    // them (to be set aside rather than hold up the rest).
    bool takeUnsent(int limit, std::vector<Unsent>& out, StoreProblem& problem);
    // Accepted by the server: no longer waiting, nor set aside.
    bool confirmSent(const std::vector<Unsent>& sent, StoreProblem& problem);
    bool unsentCount(int& count, StoreProblem& problem);

    // Takes a record the server refuses (or that cannot be read) out of the
    // queue, and keeps it in the file with the reason. It is queued again
    // when it changes or when a server is set.
    bool setAside(const Unsent& row, const QString& reason, StoreProblem& problem);
    // Queues the records set aside once more (at a start: the server, or its
    // owner's rule, may take them now); those refused again go back aside.
    bool retrySetAside(StoreProblem& problem);
    // How many records are set aside, and the first (up to limit) as
    // "id (reason)".
    bool setAsideRows(int& count, QStringList& first, int limit, StoreProblem& problem);

    // Takes in the sessions of another Lurn records file (a run's records
    // written beside this file while it could not be used), queued for the
    // server when records are; a session in both keeps its latest state.
    bool absorb(const QString& leftover, StoreProblem& problem);

    // Looks at an existing file without changing it: a Lurn records file of
    // this or an older version gives no problem.
    static StoreProblem inspect(const QString& path);

    // The query the report runs, with ? for the start, the end and (when
    // oneStation) the station.
    static QString reportSql(bool oneStation);

private:
    bool migrate(StoreProblem& problem);
    // The statements save() runs, prepared once: a record is saved every
    // few seconds for hours.
    struct SaveStatements;
    SaveStatements& saveStatements();

    QString m_path;
    std::unique_ptr<SaveStatements> m_save;
    Access m_access;
    QString m_connection;
    bool m_queueForServer = false;
};

// The records file in dir ($XDG_DATA_HOME/Lurn): records.sqlite, or, when that
// one is not a records file this program can use, the first usable
// records-N.sqlite beside it (a missing one counts as usable). Each file passed
// over is described in skipped, in Spanish. A file that cannot be read just
// now (locked, busy, I/O) is never passed over: the answer is then empty, and
// unavailable says why.
QString chooseRecordsFile(const QString& dir, QStringList& skipped,
                          StoreProblem* unavailable = nullptr);

// The Lurn records files numbered after chosen (records-N.sqlite): written by
// a run that could not use chosen at the time, and taken into it since.
QStringList leftoverRecordsFiles(const QString& chosen);

// $XDG_DATA_HOME/Lurn, normally ~/.local/share/Lurn.
QString recordsDirectory();
