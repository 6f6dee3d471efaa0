// Sending the records this computer holds to the server, and what to do with
// the ones the server refuses.
#include "records/RecordSending.h"

#include "records/PostgresRecordStore.h"
#include "records/SqliteRecordStore.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <cstdio>
#include <vector>

namespace {

constexpr int kBatchSize = 200;

// The server's sentence without the statement it quotes (the values may be
// long) or the row it shows.
QString serverReason(const QString& detail)
{
    static const QRegularExpression tail(QStringLiteral(" (LINE \\d+:|DETAIL:|CONTEXT:).*$"));
    QString reason = detail;
    reason.remove(tail);
    return reason;
}

// The server's function refuses a record with a reason of its own ("lurn:
// the session … is of another station"): the refusal is that record's, not
// a right the role lacks.
bool refusesThatRecord(const StoreProblem& problem)
{
    return problem.detail.contains(QLatin1String("lurn: "));
}

} // namespace

SendOutcome sendWaiting(PostgresRecordStore& server, SqliteRecordStore& local,
                        const std::function<bool()>& stopping, StoreProblem& problem,
                        QString& localWhat)
{
    using Unsent = SqliteRecordStore::Unsent;
    const auto localFailed = [&](const char* what) {
        localWhat = QCoreApplication::translate("RecordSending", what);
        return SendOutcome::LocalFailed;
    };
    while (!stopping()) {
        std::vector<Unsent> batch;
        if (!local.takeUnsent(kBatchSize, batch, problem))
            return localFailed(QT_TRANSLATE_NOOP(
                "RecordSending", "No se pueden leer en este equipo los registros pendientes"));
        if (batch.empty())
            return SendOutcome::Done;
        std::vector<Unsent> readable;
        for (Unsent& u : batch) {
            if (u.unreadable.isEmpty())
                readable.push_back(std::move(u));
            else if (!local.setAside(u, u.unreadable, problem))
                return localFailed(QT_TRANSLATE_NOOP(
                    "RecordSending", "No se puede apartar en este equipo un registro ilegible"));
        }
        if (readable.empty())
            continue;
        std::vector<SessionRecord> records;
        records.reserve(readable.size());
        for (const Unsent& u : readable)
            records.push_back(u.record);
        std::vector<Unsent> accepted;
        if (server.save(records, problem)) {
            accepted = std::move(readable);
        } else if (problem.kind != StoreProblem::Kind::Rejected &&
                   problem.kind != StoreProblem::Kind::NoPrivileges) {
            return SendOutcome::ServerFailed;
        } else {
            // Refused for a right: set aside only when the refusal is about
            // that record (the server's function names it), or when other
            // records of the batch pass. A right the whole role lacks
            // refuses every record: they all wait, none is set aside.
            std::vector<std::pair<Unsent*, StoreProblem>> denied;
            const auto setAside = [&](Unsent& u, const StoreProblem& why) {
                std::fprintf(stderr, "lurn: records: record %s set aside: %s\n",
                             qPrintable(u.record.id), qPrintable(why.detail));
                return local.setAside(u, serverReason(why.detail), problem);
            };
            for (Unsent& u : readable) {
                if (stopping())
                    break; // what is left waits for the next start
                StoreProblem one;
                if (server.save({u.record}, one)) {
                    accepted.push_back(std::move(u));
                } else if (one.kind == StoreProblem::Kind::Rejected ||
                           (one.kind == StoreProblem::Kind::NoPrivileges &&
                            refusesThatRecord(one))) {
                    if (!setAside(u, one))
                        return localFailed(QT_TRANSLATE_NOOP(
                            "RecordSending",
                            "No se puede apartar en este equipo un registro rechazado"));
                } else if (one.kind == StoreProblem::Kind::NoPrivileges) {
                    denied.emplace_back(&u, one);
                } else {
                    StoreProblem ignored;
                    local.confirmSent(accepted, ignored);
                    problem = one;
                    return SendOutcome::ServerFailed;
                }
            }
            if (!denied.empty() && accepted.empty()) {
                StoreProblem ignored;
                local.confirmSent(accepted, ignored);
                problem = denied.front().second;
                return SendOutcome::ServerFailed;
            }
            for (auto& [u, why] : denied)
                if (!setAside(*u, why))
                    return localFailed(QT_TRANSLATE_NOOP(
                        "RecordSending",
                        "No se puede apartar en este equipo un registro rechazado"));
        }
        // Sent, but not marked so here (a full disk, a read-only file
        // system): sending the same batch again at once would go on for
        // ever. It waits like any failure, and is shown.
        if (!local.confirmSent(accepted, problem))
            return localFailed(QT_TRANSLATE_NOOP(
                "RecordSending", "Enviado, pero no se puede anotar en este equipo"));
    }
    return SendOutcome::Done;
}
