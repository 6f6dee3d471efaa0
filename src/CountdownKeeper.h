#pragma once

#include "Ufer.h"
#include "rules/SavedCountdown.h"

#include <QObject>

#include <cstdint>

namespace platform {
class CountdownFile;
}

// Keeps the running countdown's state in its file whenever it changes, so
// that the next start of the program can take it up (TfmFer::resumeCountdown)
// after a kill, a crash or the end of the session. The state is kept while a
// countdown runs or the lock is up, and the file is removed once neither is
// left. The writing runs on the file's own thread.
class CountdownKeeper final : public QObject
{
public:
    // How often the state is kept while the countdown only ticks: the last
    // moment known alive, for a reboot to count from.
    static constexpr std::int64_t kRefreshMs = 60'000;

    CountdownKeeper(TfmFer& window, platform::CountdownFile& file);

    void onCountdownEvent(CountdownEvent event);
    // The countdown the window took up from the file: its start on the wall
    // clock and whether the lock was up are the file's, not the window's.
    void takeUp(const SavedCountdown& saved);
    // Something kept that no event reports changed (the chosen rate, the
    // list, the password): kept again if anything is being kept.
    void changed();
    // The operator closed the program: nothing is left to take up.
    void abandon();

    // The state as the window holds it now.
    SavedCountdown snapshot() const;

private:
    void keep();

    TfmFer& m_window;
    platform::CountdownFile& m_file;
    bool m_locked = false;
    bool m_kept = false; // the file holds a state of this run
    std::int64_t m_startUtcMs = 0;
    std::int64_t m_keptBootMs = 0;
};
