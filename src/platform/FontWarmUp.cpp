#include "platform/FontWarmUp.h"

#include <fontconfig/fontconfig.h>

namespace platform {

FontWarmUp::FontWarmUp()
    : m_thread([] {
          // Loads the configuration and the font caches into fontconfig's
          // process-wide default configuration, the one Qt's font database
          // reads from; FcInit does nothing when it is there already.
          FcInit();
      })
{
}

FontWarmUp::~FontWarmUp()
{
    wait();
}

void FontWarmUp::wait()
{
    if (m_thread.joinable())
        m_thread.join();
}

} // namespace platform
