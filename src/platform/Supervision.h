#pragma once

#include <QString>

namespace platform {

// Whether this Lurn is the one the systemd user unit (lurn.service) runs, and
// how a Lurn started some other way (a menu, a terminal) hands the desktop to
// the unit. Only the unit's Lurn is started again when it is killed, so it is
// the one that must run. None of this needs a QCoreApplication.

// True when this process runs in the unit's own control group: the unit
// started it. A menu or a terminal start runs in another group.
bool startedByTheUnit();

// True when the user's systemd manager runs (its private socket is there).
bool userManagerRuns();

// systemctl --user start lurn.service, waited for at most timeoutMs. True
// when systemctl says the unit started (or already ran).
bool startTheUnit(int timeoutMs, QString& why);

// The unit restarts a killed Lurn a second later, for as long as the session
// lasts. One that keeps dying at once (killed again and again, or failing
// at start) should not start every second: notes this start, by the boot
// clock, in dir and answers how long to wait before going on: 0, or a few
// seconds when the last starts all came within moments of each other.
int restartBackOffMs(const QString& dir);

} // namespace platform
