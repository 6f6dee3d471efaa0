#include "records/RecordKeeper.h"

#include "records/BackgroundThread.h"
#include "records/PostgresRecordStore.h"
#include "records/RecordSending.h"
#include "records/SqliteRecordStore.h"

#include <QFile>
#include <QFileInfo>
#include <QMetaObject>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kSettle{20};
constexpr int kSetAsideNamed = 5;

// Said once on stderr until something else is to be said.
void logOnce(QString& last, const QString& text)
{
    if (text.isEmpty() || text == last)
        return;
    last = text;
    std::fprintf(stderr, "lurn: records: %s\n", qPrintable(text));
}

// A records file numbered after the one in use was written by a run that
// could not use it at the time: its sessions are taken in (and so reported
// and sent), and it is renamed, never deleted.
void absorbLeftovers(SqliteRecordStore& store, QString& lastLogged)
{
    for (const QString& leftover : leftoverRecordsFiles(store.location())) {
        StoreProblem problem;
        if (!store.absorb(leftover, problem)) {
            logOnce(lastLogged,
                    QStringLiteral("cannot take in %1: %2").arg(leftover, problemLogText(problem)));
            continue;
        }
        QString kept = leftover + QStringLiteral(".merged");
        for (int n = 2; QFileInfo::exists(kept); ++n)
            kept = leftover + QStringLiteral(".merged-%1").arg(n);
        if (!QFile::rename(leftover, kept)) {
            logOnce(lastLogged, QStringLiteral("cannot rename %1").arg(leftover));
            continue;
        }
        for (const char* suffix : {"-wal", "-shm"})
            if (QFileInfo::exists(leftover + QLatin1String(suffix)))
                QFile::rename(leftover + QLatin1String(suffix), kept + QLatin1String(suffix));
        std::fprintf(stderr, "lurn: records: the records of %s taken into %s; the file is now %s\n",
                     qPrintable(leftover), qPrintable(store.location()), qPrintable(kept));
    }
}

} // namespace

RecordKeeper::RecordKeeper(QString directory, QString server, RecordKeeperTiming timing,
                           QObject* parent)
    : QObject(parent), m_directory(std::move(directory)), m_timing(timing)
{
    m_status.server = server.trimmed();
    m_status.link =
        m_status.server.isEmpty() ? RecordsStatus::Link::NotSet : RecordsStatus::Link::Unknown;
    m_writer = std::thread([this] { writerLoop(); });
    m_sender = std::thread([this] { senderLoop(); });
}

RecordKeeper::~RecordKeeper()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_writerWake.notify_all();
    m_senderWake.notify_all();
    m_stopWake.notify_all();
    {
        // Whatever the server holds up (a lock, a slow statement) ends now:
        // the records it was sending stay in the file for the next start.
        std::lock_guard lock(m_serverMutex);
        if (m_server)
            m_server->cancelRunning();
    }
    m_writer.join();
    m_sender.join();
}

void RecordKeeper::record(const SessionRecord& record)
{
    {
        std::lock_guard lock(m_mutex);
        m_pending.push_back(record);
    }
    m_writerWake.notify_one();
}

void RecordKeeper::closeInterrupted(const QString& keepId)
{
    {
        std::lock_guard lock(m_mutex);
        m_closeKeep = keepId;
    }
    m_writerWake.notify_one();
}

void RecordKeeper::setServer(const QString& server)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_status.server == server.trimmed())
            return;
        m_status.server = server.trimmed();
        m_status.link =
            m_status.server.isEmpty() ? RecordsStatus::Link::NotSet : RecordsStatus::Link::Unknown;
        m_status.serverProblem.clear();
        m_serverChanged = true;
        m_sendRequested = true;
        m_sendForced = true;
        publish();
    }
    m_writerWake.notify_one();
    m_senderWake.notify_one();
}

void RecordKeeper::sendNow()
{
    {
        std::lock_guard lock(m_mutex);
        m_sendRequested = true;
        m_sendForced = true;
    }
    m_senderWake.notify_one();
}

bool RecordKeeper::waitUntilWritten(int timeoutMs)
{
    std::unique_lock lock(m_mutex);
    const bool done = m_progress.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] {
        return m_pending.empty() && !m_closeKeep && !m_writerBusy;
    });
    return done && !m_writeFailed;
}

bool RecordKeeper::waitUntilSent(int timeoutMs)
{
    std::unique_lock lock(m_mutex);
    return m_progress.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] {
        return !m_status.localFile.isEmpty() && m_pending.empty() && !m_closeKeep &&
               !m_writerBusy && !m_senderBusy && !m_sendRequested && m_status.unsent == 0 &&
               m_status.link == RecordsStatus::Link::Connected;
    });
}

RecordsStatus RecordKeeper::status() const
{
    std::lock_guard lock(m_mutex);
    return m_status;
}

void RecordKeeper::publish()
{
    m_progress.notify_all();
    if (m_status == m_told)
        return;
    m_told = m_status;
    QMetaObject::invokeMethod(
        this, [this] { emit statusChanged(); }, Qt::QueuedConnection);
}

// --- the local file ------------------------------------------------------------

void RecordKeeper::writerLoop()
{
    yieldToTheWindow();
    std::unique_ptr<SqliteRecordStore> store;
    std::vector<SessionRecord> taken;     // swapped with m_pending, so both keep their room
    QHash<QString, SessionRecord> failed; // written in vain; tried again
    std::optional<QString> failedClose;   // the same for closing interrupted records
    QSet<QString> ownIds;                 // recorded by this run: never interrupted
    QString lastLogged;
    Clock::time_point retryAt = Clock::time_point::max();
    bool reopen = false; // the file could not be read just now: looked at again
    int reopenMs = m_timing.reopenMs;

    // The file is made by the first record, not before: a program that
    // never runs a countdown leaves nothing behind.
    // The problem when a file was there to open, or to be made, and could
    // not be.
    const auto openStore = [&](bool queue, bool create) {
        QStringList skipped;
        StoreProblem unavailable;
        const QString path = chooseRecordsFile(m_directory, skipped, &unavailable);
        for (const QString& s : skipped)
            logOnce(lastLogged, QStringLiteral("left untouched, written beside it: ") + s);
        StoreProblem problem;
        int unsent = 0;
        int setAside = 0;
        QStringList setAsideRows;
        if (unavailable) {
            problem = unavailable;
        } else if (path.isEmpty()) {
            problem = {StoreProblem::Kind::NotARecordsFile,
                       QStringLiteral("no usable records file in ") + m_directory};
        } else if (create || QFileInfo::exists(path)) {
            store = std::make_unique<SqliteRecordStore>(path);
            store->setQueueForServer(queue);
            if (!store->open(problem)) {
                store.reset();
            } else {
                absorbLeftovers(*store, lastLogged);
                StoreProblem ignored;
                if (queue)
                    store->retrySetAside(ignored);
                if (!store->unsentCount(unsent, ignored))
                    unsent = 0;
                if (!store->setAsideRows(setAside, setAsideRows, kSetAsideNamed, ignored))
                    setAside = 0;
            }
        }
        reopen = !store && problem.kind == StoreProblem::Kind::Unavailable;
        if (reopen) {
            retryAt = Clock::now() + std::chrono::milliseconds(reopenMs);
            reopenMs = std::min(reopenMs * 2, std::max(m_timing.retryMs, m_timing.reopenMs));
        } else {
            reopenMs = m_timing.reopenMs;
        }
        std::lock_guard lock(m_mutex);
        m_status.unsent = unsent;
        m_status.setAside = setAside;
        m_status.setAsideRows = setAsideRows;
        m_status.skippedFiles = skipped;
        m_status.localFile = store ? path : QString();
        m_status.localProblem = problem ? problemText(problem) : QString();
        if (problem)
            logOnce(lastLogged, problemLogText(problem));
        if (store)
            m_sendRequested = true;
        publish();
        return problem;
    };

    bool queue = false;
    {
        std::lock_guard lock(m_mutex);
        queue = !m_status.server.isEmpty();
    }
    openStore(queue, false);
    m_senderWake.notify_one();

    for (;;) {
        QHash<QString, SessionRecord> batch;
        std::optional<QString> closeKeep;
        bool serverChanged = false;
        {
            std::unique_lock lock(m_mutex);
            const auto ready = [this] {
                return m_stopping || !m_pending.empty() || m_closeKeep || m_serverChanged;
            };
            if (failed.isEmpty() && !failedClose && !reopen)
                m_writerWake.wait(lock, ready);
            else
                m_writerWake.wait_until(lock, retryAt, ready);
            // A record comes from the middle of a tick: the writing waits for
            // the tick to be over rather than run beside it, and takes
            // whatever else the tick hands over.
            m_stopWake.wait_for(lock, kSettle, [this] { return m_stopping; });
            const bool nothingLeft =
                m_pending.empty() && !m_closeKeep && ((failed.isEmpty() && !failedClose) || !store);
            if (m_stopping && nothingLeft)
                break;
            // Woken early: nothing to write, and the file is not due yet.
            if (reopen && !store && m_pending.empty() && !m_closeKeep && !m_serverChanged &&
                failed.isEmpty() && !failedClose && Clock::now() < retryAt)
                continue;
            batch = std::move(failed);
            failed.clear();
            std::swap(taken, m_pending);
            closeKeep = std::exchange(m_closeKeep, std::nullopt);
            if (!closeKeep)
                closeKeep = failedClose;
            failedClose.reset();
            serverChanged = std::exchange(m_serverChanged, false);
            queue = !m_status.server.isEmpty();
            m_writerBusy = true;
        }

        for (const SessionRecord& r : taken)
            batch.insert(r.id, r); // the newest state of each
        taken.clear();

        StoreProblem problem;
        if (!store) {
            problem = openStore(queue, !batch.isEmpty());
            if (!store && !problem)
                closeKeep.reset(); // no file yet: nothing was left running
        }
        bool wrote = false;
        if (!problem && store && serverChanged) {
            store->setQueueForServer(queue);
            if (queue && store->queueEverything(problem))
                wrote = true;
        }
        if (!problem && store && !batch.isEmpty()) {
            const std::vector<SessionRecord> records(batch.cbegin(), batch.cend());
            if (store->save(records, problem)) {
                for (const SessionRecord& r : records)
                    ownIds.insert(r.id);
                batch.clear();
                wrote = true;
            }
        }
        if (!problem && store && closeKeep) {
            QSet<QString> keep = ownIds;
            keep.insert(*closeKeep);
            int closed = 0;
            if (store->closeInterrupted(keep, closed, problem)) {
                wrote = wrote || closed > 0;
                if (closed > 0)
                    std::fprintf(stderr, "lurn: records: %d interrupted session(s) closed\n",
                                 closed);
                closeKeep.reset();
            }
        }
        int unsent = -1;
        if (wrote && queue) {
            StoreProblem ignored;
            store->unsentCount(unsent, ignored);
        }

        {
            std::lock_guard lock(m_mutex);
            // What failed waits for the next change or the retry, under any
            // newer state of the same records.
            for (auto it = batch.cbegin(); it != batch.cend(); ++it)
                if (std::none_of(m_pending.cbegin(), m_pending.cend(),
                                 [&](const SessionRecord& r) { return r.id == it.key(); }))
                    failed.insert(it.key(), it.value());
            if (closeKeep && !m_closeKeep)
                failedClose = closeKeep;
            m_writeFailed = bool(problem);
            if (!reopen)
                retryAt = problem ? Clock::now() + std::chrono::milliseconds(m_timing.retryMs)
                                  : Clock::time_point::max();
            if (problem) {
                m_status.localProblem = problemText(problem);
                logOnce(lastLogged, problemLogText(problem));
            } else if (wrote) {
                m_status.localProblem.clear();
                lastLogged.clear();
            }
            if (unsent >= 0)
                m_status.unsent = unsent;
            if (wrote && queue)
                m_sendRequested = true;
            m_writerBusy = false;
            if (m_stopping && problem) {
                std::fprintf(stderr, "lurn: records: %d record(s) could not be written\n",
                             int(failed.size() + m_pending.size()));
                m_pending.clear();
                m_closeKeep.reset();
                failed.clear();
                failedClose.reset();
            }
            publish();
        }
        if (wrote && queue)
            m_senderWake.notify_one();
    }
    store.reset();
}

// --- the server ------------------------------------------------------------------

void RecordKeeper::senderLoop()
{
    yieldToTheWindow();
    std::unique_ptr<PostgresRecordStore> server;
    std::unique_ptr<SqliteRecordStore> local;
    QString lastLogged;
    Clock::time_point lastFailure = Clock::time_point::min();
    Clock::time_point periodicAt = Clock::now();
    const auto useServer = [&](std::unique_ptr<PostgresRecordStore> next) {
        std::lock_guard lock(m_serverMutex);
        server = std::move(next);
        m_server = server.get();
    };

    for (;;) {
        QString uri, localFile;
        {
            std::unique_lock lock(m_mutex);
            // A change right after a failure waits a little; a forced send and
            // the periodic one (a minute after the last attempt) do not.
            for (;;) {
                if (m_stopping)
                    break;
                const Clock::time_point throttledUntil =
                    lastFailure == Clock::time_point::min()
                        ? lastFailure
                        : lastFailure + std::chrono::milliseconds(m_timing.throttleMs);
                const Clock::time_point now = Clock::now();
                if (m_sendForced || now >= periodicAt || (m_sendRequested && now >= throttledUntil))
                    break;
                const Clock::time_point until =
                    m_sendRequested ? std::min(periodicAt, throttledUntil) : periodicAt;
                m_senderWake.wait_until(lock, until);
            }
            if (m_stopping)
                break;
            m_sendRequested = false;
            m_sendForced = false;
            uri = m_status.server;
            localFile = m_status.localFile;
            m_senderBusy = true;
        }

        StoreProblem problem;
        bool connected = false;
        bool confirmFailed = false;
        QString localWhat;
        int unsent = -1;
        int setAside = -1;
        QStringList setAsideRows;
        if (uri.isEmpty()) {
            useServer(nullptr);
        } else {
            if (!server || server->location() != uri)
                useServer(std::make_unique<PostgresRecordStore>(uri));
            if (!local || local->location() != localFile) {
                local.reset();
                if (!localFile.isEmpty()) {
                    local = std::make_unique<SqliteRecordStore>(localFile);
                    StoreProblem localProblem;
                    if (!local->open(localProblem))
                        local.reset();
                }
            }
            connected = server->isOpen() || server->open(problem);
            if (connected && local) {
                const auto stopping = [this] {
                    std::lock_guard lock(m_mutex);
                    return m_stopping;
                };
                switch (sendWaiting(*server, *local, stopping, problem, localWhat)) {
                case SendOutcome::Done:
                    break;
                case SendOutcome::ServerFailed:
                    connected = false;
                    break;
                case SendOutcome::LocalFailed:
                    confirmFailed = true;
                    break;
                }
            }
            if (local) {
                StoreProblem ignored;
                local->unsentCount(unsent, ignored);
                if (!local->setAsideRows(setAside, setAsideRows, kSetAsideNamed, ignored))
                    setAside = -1;
            }
        }

        periodicAt = Clock::now() + std::chrono::milliseconds(m_timing.retryMs);
        std::lock_guard lock(m_mutex);
        m_senderBusy = false;
        if (uri != m_status.server) {
            publish();
            continue; // the server changed meanwhile: this outcome is not its
        }
        if (!uri.isEmpty()) {
            const bool fine = connected && !confirmFailed;
            m_status.link = fine ? RecordsStatus::Link::Connected : RecordsStatus::Link::Failing;
            m_status.serverProblem =
                fine            ? QString()
                : confirmFailed ? QStringLiteral("%1: %2").arg(localWhat, problemText(problem))
                                : problemText(problem);
            if (fine)
                lastLogged.clear();
            else {
                lastFailure = Clock::now();
                logOnce(lastLogged,
                        QStringLiteral("server %1: %2").arg(uri, problemLogText(problem)));
            }
        }
        if (unsent >= 0)
            m_status.unsent = unsent;
        if (setAside >= 0) {
            m_status.setAside = setAside;
            m_status.setAsideRows = setAsideRows;
        }
        publish();
    }
    useServer(nullptr);
}
