#include "platform/Platform.h"
#include "platform/QtBeep.h"
#include "platform/QtMessageBoxes.h"
#include "platform/SystemClock.h"
#include "platform/x11/X11AppShell.h"
#include "platform/x11/X11TopLevelWindows.h"

#include <QCoreApplication>

#include <xcb/xcb.h>

namespace platform {
namespace {

class X11Backend final : public Backend
{
public:
    X11Backend() : m_app(defaultApplicationTitle(QCoreApplication::applicationFilePath()))
    {
        Services& s = services();
        s.app = &m_app;
        s.beep = &m_beep;
        s.clock = &m_clock;
        s.messages = &m_messages;
        s.windows = &m_windows;
    }
    ~X11Backend() override { services() = Services{}; }

private:
    x11::X11TopLevelWindows m_windows; // first: it throws when there is no display
    x11::X11AppShell m_app;
    QtBeep m_beep;
    SystemClock m_clock;
    QtMessageBoxes m_messages;
};

} // namespace

std::unique_ptr<Backend> installBackend()
{
    return std::make_unique<X11Backend>();
}

} // namespace platform

namespace platform {

bool prepareToStart(std::string& why)
{
    // The program reaches into other programs' windows through X11; in a
    // Wayland session it runs through XWayland.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    if (qgetenv("QT_QPA_PLATFORM") != "xcb")
        return true;
    int screen = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screen);
    const bool ok = c && !xcb_connection_has_error(c);
    if (c)
        xcb_disconnect(c);
    if (!ok) {
        const QByteArray display = qgetenv("DISPLAY");
        why = display.isEmpty()
                  ? std::string("no X display (DISPLAY is not set); Lurn needs an X11 session")
                  : "cannot open the X display \"" + display.toStdString() + "\"";
    }
    return ok;
}

} // namespace platform
