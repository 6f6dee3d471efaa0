#pragma once

#include "records/RecordStore.h"

#include <QString>

#include <functional>

class PostgresRecordStore;
class SqliteRecordStore;

// How a round of sending ended.
enum class SendOutcome {
    Done,         // nothing left to send
    ServerFailed, // the server (or the link) failed: everything waits
    LocalFailed,  // the file here cannot be read or marked: everything waits
};

// Sends what waits, oldest first, a batch at a time. A batch the server
// refuses for its values or for a right goes again one record at a time, and
// each record it still refuses for its values, or for a right with a reason
// of the server's own functions or while others of the batch pass, is set
// aside here with the server's reason, so that one bad row never holds up
// the rest; a failure of the link, the login or a right the whole role lacks
// leaves the whole batch waiting. Every round marks or sets aside at least one record,
// or finds a newer state of one, so this ends. stopping is asked between
// batches; problem and (for the file here) localWhat say why it stopped.
SendOutcome sendWaiting(PostgresRecordStore& server, SqliteRecordStore& local,
                        const std::function<bool()>& stopping, StoreProblem& problem,
                        QString& localWhat);
