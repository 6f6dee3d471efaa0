#pragma once

#include "platform/Beep.h"

namespace platform {

// The display's bell, through Qt.
class QtBeep final : public Beep
{
public:
    void beep() override;
};

} // namespace platform
