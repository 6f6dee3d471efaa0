#include "platform/QtBeep.h"

#include <QApplication>

namespace platform {

void QtBeep::beep()
{
    QApplication::beep();
}

} // namespace platform
