#pragma once

#include "records/RecordStore.h"

#include <mutex>

struct pg_cancel;

// The records of a whole café on one PostgreSQL server, reached with Qt's
// QPSQL driver (libpq). The table schema_version holds the schema version.
// Passwords come the libpq way (~/.pgpass, PGPASSWORD), never from the URI.
class PostgresRecordStore final : public RecordStore
{
public:
    // uri: postgresql://[user@]host[:port]/database[?keyword=value...]
    explicit PostgresRecordStore(QString uri);
    ~PostgresRecordStore() override;
    PostgresRecordStore(const PostgresRecordStore&) = delete;
    PostgresRecordStore& operator=(const PostgresRecordStore&) = delete;

    bool open(StoreProblem& problem) override;
    void close() override;
    bool isOpen() const override;
    bool save(const std::vector<SessionRecord>& records, StoreProblem& problem) override;
    bool load(const ReportFilter& filter, std::vector<SessionRecord>& out,
              StoreProblem& problem) override;
    bool stations(QStringList& out, StoreProblem& problem) override;
    QString location() const override { return m_uri; }

    // Whether the connected role may read and write the table (for "Probar
    // conexión": a role that may only read gets the report but sends nothing).
    bool checkWritable(StoreProblem& problem);

    // Asks the server to cancel the statement this store is waiting on, from
    // any thread (the keeper's end, while its sender waits on a lock): the
    // statement fails, and what it was sending stays waiting.
    void cancelRunning();

    // The query the report runs, with ? for the start, the end and (when
    // oneStation) the station.
    static QString reportSql(bool oneStation);

private:
    bool readVersion(int& version, StoreProblem& problem);
    bool migrate(StoreProblem& problem);
    // A failed request: the problem, and the connection marked broken when
    // the server is gone, so that the next open() reconnects (libpq does not).
    void failed(const class QSqlError& error, StoreProblem& problem);

    QString m_uri;
    QString m_connection;
    bool m_broken = false;
    std::mutex m_cancelMutex;
    pg_cancel* m_cancel = nullptr; // libpq's, for the open connection
};
