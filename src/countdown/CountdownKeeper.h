#pragma once

#include "countdown/Countdown.h"
#include "remote/KeptOrders.h"
#include "rules/SavedCountdown.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform {
class CountdownFile;
}

// What the main window shows that is kept with the countdown, so that the
// window comes back as it was: the fields as typed (they may differ from the
// numbers, "00" or an edit not yet checked), the list and the password.
struct KeptWindowTexts
{
    std::string hoursText;
    std::string minutesText;
    std::string secondsText;
    std::string warnText;
    std::string rate1Text;
    std::string rate2Text;
    std::string password;
    std::vector<std::string> names;
    bool showTime = true;
};

// The countdown a kept state describes, having run elapsedMs (as
// planResume found), for Countdown::takeUp.
Countdown::TakenUp takenUpFrom(const SavedCountdown& saved, std::int64_t elapsedMs);

// Keeps the running countdown's state in its file whenever it changes, so
// that the next start of the program can take it up (TfmFer::resumeCountdown)
// after a kill, a crash or the end of the session. The state is kept while a
// countdown runs or the lock is up, and the file is removed once neither is
// left. The writing runs on the file's own thread.
//
// The counter's orders that changed the countdown are kept with it (see
// KeptOrders), so that the numbers an order changed and the order's id reach
// the disk in one write.
class CountdownKeeper final : public QObject, public KeptOrders
{
public:
    // How often the state is kept while the countdown only ticks: the last
    // moment known alive, for a reboot to count from.
    static constexpr std::int64_t kRefreshMs = 60'000;
    // An order is remembered this long past its expiry by this computer's
    // clock (the counter no longer hands it over then, but a clock put
    // forward meanwhile must not make it look expired), and at most this
    // many of the latest.
    static constexpr std::int64_t kOrderMemoryMs = 3'600'000;
    static constexpr std::size_t kMaxOrders = 64;

    // windowTexts: what the window shows now, asked for at every save.
    CountdownKeeper(Countdown& countdown, platform::CountdownFile& file,
                    std::function<KeptWindowTexts()> windowTexts, QObject* parent = nullptr);

    void onCountdownEvent(CountdownEvent event);
    // The countdown was taken up from the file: the file is this run's now,
    // and the orders it names were carried out.
    void tookUp(std::vector<KeptOrder> orders);
    // Something kept that no event reports changed (the list, the password):
    // kept again if anything is being kept.
    void changed();
    // The operator closed the program: nothing is left to take up.
    void abandon();

    SavedCountdown snapshot() const;

    std::optional<Outcome> keptOutcome(const QString& id) const override;
    void noteOrder(const QString& id, const Outcome& outcome, std::int64_t expiresUtcMs) override;
    void keepNow(std::function<void()> then) override;

private:
    void keep();

    Countdown& m_countdown;
    platform::CountdownFile& m_file;
    std::function<KeptWindowTexts()> m_windowTexts;
    bool m_kept = false; // the file holds a state of this run
    std::int64_t m_keptBootMs = 0;
    std::vector<KeptOrder> m_orders; // oldest first
};
