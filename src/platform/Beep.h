#pragma once

namespace platform {

// The desktop's default sound, the one ordinary message boxes make.
class Beep
{
public:
    virtual ~Beep() = default;
    // Sounds without waiting for the sound to finish.
    virtual void beep() = 0;
};

} // namespace platform
