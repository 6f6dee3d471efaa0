#pragma once

#include "records/SessionRecord.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

class QSqlError;

// Why a records store could not do what was asked, in words for the owner.
struct StoreProblem
{
    enum class Kind {
        None,
        NotARecordsFile, // the file is not a database, or not this program's
        Unavailable,     // the file cannot be read just now (locked, busy, I/O): tried again
        NewerSchema,     // written by a later release: left as it is
        WriteFailed,     // the disk is full, or refuses the write
        BadAddress,      // the server address does not parse
        Unreachable,     // no server answers there (stopped, wrong host, network down)
        LoginRefused,    // wrong password, no password, unknown role
        NoDatabase,      // the server has no such database
        NoPrivileges,    // the role may not create or write the table
        Rejected,        // the server refuses this record's values (SQLSTATE class 22 or 23)
        Other,
    };
    Kind kind = Kind::None;
    QString detail; // the engine's own words, or what was found

    explicit operator bool() const { return kind != Kind::None; }
};

// One sentence in Spanish for the report window, the detail after it.
QString problemText(const StoreProblem& problem);
// The same for stderr, in English.
QString problemLogText(const StoreProblem& problem);

// Which records the report asks for: those started in [fromMs, toMs), of one
// station, or of all when station is empty.
struct ReportFilter
{
    std::int64_t fromMs = 0;
    std::int64_t toMs = 0;
    QString station;
};

// Where session records are kept, behind one interface for each engine. A store
// is used from one thread only: the one that opened it (Qt SQL connections
// belong to the thread that made them).
class RecordStore
{
public:
    virtual ~RecordStore() = default;

    // Connects, and brings the schema to this program's version (creating the
    // table and its indexes when they are missing). Never changes a store it
    // cannot read or that a later release wrote.
    virtual bool open(StoreProblem& problem) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // Inserts the records, or replaces those whose id is already there, all
    // or none. started_at is kept as first written.
    virtual bool save(const std::vector<SessionRecord>& records, StoreProblem& problem) = 0;

    // The records the filter asks for, by start time. The ids are left empty.
    virtual bool load(const ReportFilter& filter, std::vector<SessionRecord>& out,
                      StoreProblem& problem) = 0;
    // Every station that has records, sorted.
    virtual bool stations(QStringList& out, StoreProblem& problem) = 0;

    // Where the records are, as the report shows it.
    virtual QString location() const = 0;
};

// The schema version this program writes.
inline constexpr int kRecordsSchemaVersion = 2;

// Every station with records, sorted: the same SQL for both engines. It walks
// the station index one station at a time rather than reading every row.
QString stationsSql();

// A name for a new Qt SQL connection, unique in the process.
QString uniqueConnectionName(const char* purpose);
