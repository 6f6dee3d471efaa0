#pragma once

namespace platform {

class AppShell;
class Beep;
class Clock;
class MessageBoxes;
class TopLevelWindows;

// What the program needs from outside itself. The backend chosen at build time
// (platform/Backend.h) points these at its implementations; a host without a
// desktop sets only what it uses (the clock); tests may swap single members
// (the clock, the beep) for fakes.
struct Services
{
    AppShell* app = nullptr;
    Beep* beep = nullptr;
    Clock* clock = nullptr;
    MessageBoxes* messages = nullptr;
    TopLevelWindows* windows = nullptr;
};

Services& services();

} // namespace platform
