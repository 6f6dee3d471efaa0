#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct wl_display;
struct org_kde_plasma_window_management;

// Looks at KWin's windows as a task bar would, through
// org_kde_plasma_window_management on a connection of its own, independently
// of the program's own code for it. Synchronous: for tests only.
class PlasmaProbe final
{
public:
    struct Window
    {
        std::string uuid;
        std::string title;
        std::uint32_t state = 0; // org_kde_plasma_window_management.state bits
        bool active() const { return state & 1u; }
        bool fullscreen() const { return state & 8u; }
    };

    PlasmaProbe(); // QFAILs through isValid() when the compositor refuses
    ~PlasmaProbe();
    PlasmaProbe(const PlasmaProbe&) = delete;
    PlasmaProbe& operator=(const PlasmaProbe&) = delete;

    bool isValid() const { return m_manager != nullptr; }
    // Every window, topmost first, as of now.
    std::vector<Window> windows();
    // Asks KWin to activate the first window whose title contains part.
    bool activate(const std::string& part);

    struct State; // what KWin has said so far

private:
    void roundTrip();

    wl_display* m_display = nullptr;
    org_kde_plasma_window_management* m_manager = nullptr;
    State* m_state = nullptr;
};
