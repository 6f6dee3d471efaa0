#pragma once

#include "records/RecordStore.h"

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

    // The query the report runs, with ? for the start, the end and (when
    // oneStation) the station.
    static QString reportSql(bool oneStation);

private:
    bool migrate(StoreProblem& problem);
    // A failed request: the problem, and the connection marked broken when
    // the server is gone, so that the next open() reconnects (libpq does not).
    void failed(const class QSqlError& error, StoreProblem& problem);

    QString m_uri;
    QString m_connection;
    bool m_broken = false;
};
