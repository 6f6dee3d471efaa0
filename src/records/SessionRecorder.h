#pragma once

#include "records/SessionRecord.h"

#include <QObject>
#include <QString>

#include <optional>

class Countdown;
class RecordKeeper;
enum class CountdownEvent;

// Turns what happens to the countdown into its record: a start makes it,
// every change of its numbers updates it, its end closes it, and while it
// runs it is seen again at least every half minute. Everything is read from
// the countdown and handed to the keeper, which does the writing on threads
// of its own: a tick costs a comparison and, when the numbers changed, one
// hand-over.
//
// Times in the record are the start on the wall clock plus the time measured
// on the elapsed-time clock, so that a clock corrected during a session
// moves neither its minutes nor its day, and the minutes always match what
// was charged.
class SessionRecorder final : public QObject
{
    Q_OBJECT
public:
    // How often a running countdown's record is seen again when nothing else
    // changes (last_seen_at, which an interrupted record ends at).
    static constexpr std::int64_t kSeenEveryMs = 30'000;

    // At the first turn of the event loop, the records a previous run left
    // running are closed as interrupted, unless the countdown was taken up.
    SessionRecorder(Countdown& countdown, RecordKeeper& keeper, QString station,
                    QObject* parent = nullptr);

    // The operator closes the program: a countdown still running is given up,
    // and its record ends as closed.
    void programEnding();
    // The program is ended some other way (the session ends, a signal): the
    // countdown is kept and taken up at the next start, so its record stays
    // running, seen now.
    void programInterrupted();

    // The station's name for the records from the next start on.
    void setStation(const QString& station) { m_station = station; }

private:
    void onEvent(CountdownEvent event);
    void adoptRunning(); // a countdown this recorder did not see start
    void end(EndReason reason);
    void write();
    // The start plus the time run, never past the countdown's length when
    // the time is up: the customer bought that much.
    std::int64_t atElapsed(bool upToLength) const;

    Countdown& m_countdown;
    RecordKeeper& m_keeper;
    QString m_station;
    std::optional<SessionRecord> m_current;
    bool m_priced = false; // a tick has priced the current record
};
