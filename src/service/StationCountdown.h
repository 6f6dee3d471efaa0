#pragma once

#include "countdown/Countdown.h"

#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <cstdint>
#include <memory>

class CountdownKeeper;
namespace platform {
class CountdownFile;
}

// The seat's one countdown as the service hosts it: the same Countdown and
// CountdownKeeper the station window uses, its state kept in the service's
// own file so that a killed or restarted service takes it up. It checks no
// password: StationBus does, before it asks for anything here.
class StationCountdown final : public QObject
{
    Q_OBJECT
public:
    struct Numbers
    {
        std::int32_t hours = 0;
        std::int32_t minutes = 0;
        std::int32_t seconds = 0;
        std::int32_t warnMinutes = 0;
        std::int32_t rate1 = 0;
        std::int32_t rate2 = 0;
        bool secondRate = false;
    };

    explicit StationCountdown(const QString& statePath, QObject* parent = nullptr);
    ~StationCountdown() override;
    StationCountdown(const StationCountdown&) = delete;
    StationCountdown& operator=(const StationCountdown&) = delete;

    // Takes up the countdown an earlier run kept, if there is one to take up.
    void takeUpKept();

    bool isRunning() const { return m_countdown.isRunning(); }
    // Starts a countdown with these numbers and brings the lock up; names are
    // the programs to close at its end.
    void start(const Numbers& numbers, const QStringList& names);
    // Stops the countdown and takes the lock down: the operator is there.
    void stop();
    void unlock();

    // What GetState answers (see StationBus).
    QVariantMap state() const;

signals:
    void stateChanged();
    void warnNow();
    void closeNow(const QStringList& names);

private:
    void onEvent(CountdownEvent event);
    void onTick();

    Countdown m_countdown;
    std::unique_ptr<platform::CountdownFile> m_file;
    CountdownKeeper* m_keeper = nullptr;
    QStringList m_names;
    // The time run by a countdown that is over, which stops growing then.
    std::int64_t m_finalElapsedMs = 0;
};
