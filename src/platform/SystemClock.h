#pragma once

#include "platform/Clock.h"

namespace platform {

// The local date and time from the operating system.
class SystemClock final : public Clock
{
public:
    DayFraction now() const override;
};

} // namespace platform
