#pragma once

#include "remote/RemoteCommand.h"
#include "remote/StationStatus.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>
#include <utility>

class Countdown;
class StationLink;
enum class CountdownEvent;

// Between the counter's link and the countdown: an order from the counter
// drives the countdown as the main window's buttons do (a start brings the
// lock up, more time changes the fields, a stop stops), and every change of
// the countdown goes to the station's row.
class StationControl final : public QObject
{
public:
    struct WindowHooks
    {
        // The two rate fields as the main window shows them: nothing when
        // the text is not a number.
        std::function<std::pair<std::optional<int>, std::optional<int>>()> rateFields;
        // Shows a message from the counter to the customer.
        std::function<void(const QString&)> showMessage;
    };

    StationControl(Countdown& countdown, StationLink& link, QString station, WindowHooks hooks,
                   QObject* parent = nullptr);

    // The row as the countdown is now.
    StationStatus status() const;

    // Checks and carries out one order; answers it through the link.
    void carryOut(const RemoteCommand& command);

private:
    void onCountdownEvent(CountdownEvent event);
    void publish();

    Countdown& m_countdown;
    StationLink& m_link;
    QString m_station;
    WindowHooks m_hooks;
    StationStatus::State m_state = StationStatus::State::Idle;
    std::optional<std::int64_t> m_publishedCost;
};
