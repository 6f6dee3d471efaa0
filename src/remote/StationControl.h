#pragma once

#include "remote/KeptOrders.h"
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
//
// With kept orders, an order that changes the countdown is answered (and the
// row written) only once the kept countdown names it on disk, and an order
// named there is answered from there and not carried out again.
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

    // orders: where the countdown is kept, or null (then an order is
    // answered at once, and only the link's ledger keeps it from being
    // carried out twice).
    StationControl(Countdown& countdown, StationLink& link, QString station, WindowHooks hooks,
                   KeptOrders* orders = nullptr, QObject* parent = nullptr);

    // The row as the countdown is now.
    StationStatus status() const;

    // Checks and carries out one order; answers it through the link.
    void carryOut(const RemoteCommand& command);

private:
    void onCountdownEvent(CountdownEvent event);
    void publish();
    void changeCountdown(const RemoteCommand& command, const CommandVerdict& verdict,
                         const StationFacts& facts);

    Countdown& m_countdown;
    StationLink& m_link;
    QString m_station;
    WindowHooks m_hooks;
    KeptOrders* m_orders = nullptr;
    // Orders carried out whose kept state is not on disk yet: the row waits
    // with their answers, so that the counter never sees a change a kill
    // could still undo.
    int m_unkept = 0;
    bool m_publishWaiting = false;
    StationStatus::State m_state = StationStatus::State::Idle;
    std::optional<std::int64_t> m_publishedCost;
};
