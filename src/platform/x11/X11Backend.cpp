#include "platform/Backend.h"
#include "platform/Platform.h"
#include "platform/QtBeep.h"
#include "platform/QtMessageBoxes.h"
#include "platform/SystemClock.h"
#include "platform/WindowSources.h"
#include "platform/x11/X11AppShell.h"

#include <QCoreApplication>

#include <xcb/xcb.h>

namespace platform {
namespace {

class X11Backend final : public Backend
{
public:
    X11Backend()
        : m_source(openWindowSource()),
          m_app(defaultApplicationTitle(QCoreApplication::applicationFilePath()))
    {
        Services& s = services();
        s.app = &m_app;
        s.beep = &m_beep;
        s.clock = &m_clock;
        s.messages = &m_messages;
        s.windows = m_source.windows.get();
    }
    ~X11Backend() override { services() = Services{}; }

    const SessionFacts& sessionFacts() const override { return m_source.facts; }
    const WindowSourceChoice& windowSourceChoice() const override { return m_source.choice; }

private:
    // The program's own windows are X11 windows whatever the desktop; other
    // programs' windows come from the source the session offers.
    WindowSource m_source; // first: it throws when there is no display
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

bool prepareToStart(int argc, char** argv, std::string& why)
{
    // The program's own windows are X11 windows everywhere: the task-bar
    // entry, the lock's refusals and the notice above all windows rest on X11
    // (in a Wayland session through XWayland). A session's QT_QPA_PLATFORM
    // (often "wayland") is not for us; only an explicit -platform argument
    // chooses otherwise, for tests.
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "-platform") == 0 || qstrcmp(argv[i], "--platform") == 0)
            return true;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
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
