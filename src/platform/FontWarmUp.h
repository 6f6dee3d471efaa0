#pragma once

#include <thread>

namespace platform {

// Reads the system's font configuration on a thread of its own while the
// program connects to the display and builds its application object. The
// first text a window lays out needs it, and fontconfig spends some ten
// milliseconds parsing its configuration files: done beside the rest of the
// start, it no longer delays the first window.
class FontWarmUp final
{
public:
    FontWarmUp();
    // Waits for it.
    ~FontWarmUp();
    FontWarmUp(const FontWarmUp&) = delete;
    FontWarmUp& operator=(const FontWarmUp&) = delete;

    // Waits until the configuration is read: call before the first text is
    // laid out, so that it is not read twice.
    void wait();

private:
    std::thread m_thread;
};

} // namespace platform
