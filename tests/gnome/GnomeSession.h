#pragma once

// What the GNOME tests need from the session tests/with-gnome-shell.sh has
// started around them: the extension spoken to directly, the tests' focus
// helper, a user's keyboard through mutter, and the programs that play
// "other programs".

#include "platform/TopLevelWindows.h"

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

// Lurn's extension, called as any client of the session bus may call it.
namespace shellExtension {

struct Window
{
    platform::WindowHandle id = 0;
    QString title;
    uint pid = 0;
};

// Its List(), topmost first; fails the test (and returns nothing) when the
// call fails.
QList<Window> list();
// Its Close(ids): the ids that were still there.
QList<platform::WindowHandle> close(const QList<platform::WindowHandle>& ids);
// The uuid of the form this shell loads: lurn-windows@lurn on GNOME 43-44,
// lurn-windows-45@lurn on 45-49.
QString uuid();
// Whether its name has an owner on the session bus.
bool isOnBus();
// Switches it on or off as the user's `gnome-extensions` does, and waits
// until its name has appeared or gone. False if that did not happen.
bool setEnabled(bool enabled);

// Position of the first window with this title in list(), topmost first;
// -1 when it is not there.
int depthOf(const QList<Window>& windows, const QString& title);

} // namespace shellExtension

// The tests' own extension (tests/gnome/focus-helper), in sessions started
// with --focus-helper.
namespace shellFocus {

// Activates the first window with exactly this title as the shell does when
// a user picks it in the overview or with Alt+Tab. False when there is none
// or the call failed.
bool activate(const QString& title);

} // namespace shellFocus

// A user's keyboard, through mutter's remote desktop interface: the events
// take the same way as a real device's, through the compositor.
class RemoteInput final
{
public:
    RemoteInput();
    ~RemoteInput();
    RemoteInput(const RemoteInput&) = delete;
    RemoteInput& operator=(const RemoteInput&) = delete;

    bool isReady() const { return !m_session.isEmpty(); }
    void key(uint keysym);
    // Lower-case letters, digits, space and ASCII punctuation that needs no
    // modifier.
    void type(const QString& text);
    // GNOME Shell starts in the overview, where new windows get no focus; a
    // user leaves it with Escape.
    void leaveOverview();

private:
    bool call(const QString& method, const QVariantList& arguments);

    QString m_session;
};

// A native Wayland program: tests/gnome/wayland_client through Qt's Wayland
// platform.
class WaylandClient final
{
public:
    explicit WaylandClient(const QStringList& arguments);
    ~WaylandClient();
    WaylandClient(const WaylandClient&) = delete;
    WaylandClient& operator=(const WaylandClient&) = delete;

    bool isShown() { return read(), m_shown; }
    bool isActive() { return read(), m_active; }
    // How many close requests each of its windows had, in order of arrival.
    QList<int> closes() { return read(), m_closes; }
    bool hasExited() const { return m_process.state() == QProcess::NotRunning; }
    qint64 pid() const { return m_process.processId(); }

private:
    void read();

    QProcess m_process;
    QByteArray m_buffer;
    bool m_shown = false;
    bool m_active = false;
    QList<int> m_closes;
};

// Titles carry the test's function and row, so that windows left by other
// cases never match.
QString titled(const QString& title);
