#include "platform/x11/X11AppShell.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QGuiApplication>
#include <QTimer>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>

namespace platform::x11 {

// The owner of the task-bar entry. It only ever shows minimised: when the task
// bar brings it back, it minimises itself again and tells the shell.
class OwnerWindow final : public QWidget
{
public:
    OwnerWindow(std::function<void()> activated, std::function<void()> closeRequested)
        : m_activated(std::move(activated)), m_closeRequested(std::move(closeRequested))
    {
        setAttribute(Qt::WA_QuitOnClose, false);
        setObjectName(QStringLiteral("lurnTaskBarOwner"));
        setGeometry(0, 0, 1, 1);
    }

protected:
    void changeEvent(QEvent* event) override
    {
        QWidget::changeEvent(event);
        if (event->type() == QEvent::WindowStateChange && isVisible() &&
            !(windowState() & Qt::WindowMinimized)) {
            // Leave the state change first, then minimise again.
            QTimer::singleShot(0, this, [this] {
                showMinimized();
                m_activated();
            });
        }
    }

    void closeEvent(QCloseEvent* event) override
    {
        // Closing the task-bar entry means closing the program, which only the
        // main window may agree to.
        event->ignore();
        QTimer::singleShot(0, this, [this] { m_closeRequested(); });
    }

private:
    std::function<void()> m_activated;
    std::function<void()> m_closeRequested;
};

namespace {

struct FreeDeleter
{
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeDeleter>;

xcb_connection_t* qtConnection()
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t internAtom(xcb_connection_t* c, const char* name)
{
    Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

bool isOrdinaryTopLevel(const QWidget* w)
{
    if (!w->isWindow())
        return false;
    const Qt::WindowType type = w->windowType();
    return type != Qt::Popup && type != Qt::ToolTip && type != Qt::SplashScreen &&
           type != Qt::Desktop && !w->testAttribute(Qt::WA_DontShowOnScreen);
}

} // namespace

X11AppShell::X11AppShell(const QString& initialTitle) : m_title(initialTitle)
{
    m_x11 = QGuiApplication::platformName() == QLatin1String("xcb") && qtConnection();
    m_owner = new OwnerWindow([this] { onTaskBarActivation(); }, [this] { onTaskBarClose(); });
    m_owner->setWindowTitle(m_title);
    m_owner->setWindowIconText(m_title);
    m_owner->showMinimized();
    qApp->installEventFilter(this);
    if (m_x11)
        qApp->installNativeEventFilter(this);
}

X11AppShell::~X11AppShell()
{
    if (m_x11)
        qApp->removeNativeEventFilter(this);
    qApp->removeEventFilter(this);
    delete m_owner;
}

QWidget* X11AppShell::ownerWindow() const
{
    return m_owner;
}

void X11AppShell::prepareWindow(QWidget* window)
{
    // A window without its X window yet is marked when it is first shown
    // (eventFilter): creating the X windows of the windows that are not shown
    // at start would only delay the start.
    if (window && window != m_owner && isOrdinaryTopLevel(window) &&
        window->testAttribute(Qt::WA_WState_Created))
        markSkipTaskbar(window);
}

void X11AppShell::setMainWindow(QWidget* window)
{
    m_main = window;
}

bool X11AppShell::eventFilter(QObject* watched, QEvent* event)
{
    // Every window is shown after this event and before the window is mapped,
    // message boxes included: the last moment to keep it off the task bar.
    if (event->type() == QEvent::Show && watched->isWidgetType()) {
        auto* w = static_cast<QWidget*>(watched);
        if (w != m_owner && isOrdinaryTopLevel(w))
            markSkipTaskbar(w);
    }
    return QObject::eventFilter(watched, event);
}

bool X11AppShell::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_DESTROY_NOTIFY)
        return false;
    auto* destroyed = reinterpret_cast<xcb_destroy_notify_event_t*>(event);
    if (destroyed->event != destroyed->window)
        return false;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        // internalWinId(): asking winId() would create windows.
        if (w->internalWinId() == destroyed->window) {
            // Not from inside Qt's event dispatch.
            QTimer::singleShot(0, this, [this, w = QPointer<QWidget>(w)] { rebuild(w); });
            break;
        }
    }
    return false;
}

void X11AppShell::rebuild(QPointer<QWidget> window)
{
    if (!window || !window->windowHandle())
        return;
    const bool shown = window->isVisible();
    const bool minimised = window->isMinimized();
    auto* dialog = qobject_cast<QDialog*>(window.data());
    const bool modalRun = dialog && shown && dialog->isModal();
    if (modalRun)
        m_lostModals.insert(dialog);
    // Hiding ends a modal run in it (runModal() starts it again); then Qt's
    // side of the dead window is dropped.
    if (shown)
        window->hide();
    if (!window)
        return;
    window->windowHandle()->destroy();
    if (!window)
        return;
    // Qt keeps believing the widget has its native window; telling it
    // otherwise makes the next show create a new one.
    window->setAttribute(Qt::WA_WState_Created, false);
    if (modalRun || !shown)
        return;
    if (minimised)
        window->showMinimized();
    else
        window->show();
}

int X11AppShell::runModal(QDialog* dialog)
{
    for (;;) {
        const int result = dialog->exec();
        if (!m_lostModals.remove(dialog))
            return result;
    }
}

void X11AppShell::markSkipTaskbar(QWidget* window)
{
    if (!m_x11)
        return;
    xcb_connection_t* c = qtConnection();
    const auto id = xcb_window_t(window->winId());
    static const xcb_atom_t netWmState = internAtom(c, "_NET_WM_STATE");
    static const xcb_atom_t skipTaskbar = internAtom(c, "_NET_WM_STATE_SKIP_TASKBAR");
    if (netWmState == XCB_ATOM_NONE || skipTaskbar == XCB_ATOM_NONE)
        return;

    // Qt merges the states it knows about into whatever the property already
    // holds when it maps the window, so adding ours beforehand sticks.
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, id, netWmState, XCB_ATOM_ATOM, 0, 1024), nullptr));
    std::vector<xcb_atom_t> atoms;
    if (reply && reply->format == 32 && reply->type == XCB_ATOM_ATOM) {
        auto* data = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
        atoms.assign(data, data + xcb_get_property_value_length(reply.get()) / 4);
    }
    if (std::find(atoms.begin(), atoms.end(), skipTaskbar) != atoms.end())
        return;

    if (window->isVisible() && window->windowHandle() && window->windowHandle()->isExposed()) {
        // Already mapped: ask the window manager, as EWMH wants.
        xcb_client_message_event_t msg{};
        msg.response_type = XCB_CLIENT_MESSAGE;
        msg.format = 32;
        msg.window = id;
        msg.type = netWmState;
        msg.data.data32[0] = 1; // add
        msg.data.data32[1] = skipTaskbar;
        msg.data.data32[3] = 1;
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        xcb_send_event(c, 0, root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                       reinterpret_cast<const char*>(&msg));
    } else {
        atoms.push_back(skipTaskbar);
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, netWmState, XCB_ATOM_ATOM, 32,
                            uint32_t(atoms.size()), atoms.data());
    }
    xcb_flush(c);
}

void X11AppShell::markCriticalNotification(QWidget* window)
{
    if (!m_x11)
        return;
    xcb_connection_t* c = qtConnection();
    const auto id = xcb_window_t(window->winId());
    static const xcb_atom_t windowType = internAtom(c, "_NET_WM_WINDOW_TYPE");
    static const xcb_atom_t critical =
        internAtom(c, "_KDE_NET_WM_WINDOW_TYPE_CRITICAL_NOTIFICATION");
    static const xcb_atom_t dialog = internAtom(c, "_NET_WM_WINDOW_TYPE_DIALOG");
    static const xcb_atom_t normal = internAtom(c, "_NET_WM_WINDOW_TYPE_NORMAL");
    if (windowType == XCB_ATOM_NONE || critical == XCB_ATOM_NONE)
        return;

    // KWin puts an active full-screen window above every keep-above window,
    // but keeps critical notifications above that. Window managers that do
    // not know the type take the next one in the list, the one Qt gave.
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, id, windowType, XCB_ATOM_ATOM, 0, 64), nullptr));
    std::vector<xcb_atom_t> types;
    if (reply && reply->format == 32 && reply->type == XCB_ATOM_ATOM) {
        auto* data = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
        types.assign(data, data + xcb_get_property_value_length(reply.get()) / 4);
    }
    if (std::find(types.begin(), types.end(), critical) != types.end())
        return;
    if (types.empty())
        types.push_back(window->windowType() == Qt::Dialog ? dialog : normal);
    types.insert(types.begin(), critical);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, windowType, XCB_ATOM_ATOM, 32,
                        uint32_t(types.size()), types.data());
    xcb_flush(c);
}

void X11AppShell::minimise()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w == m_owner || !w->isVisible() || !isOrdinaryTopLevel(w))
            continue;
        // A window that runs a modal loop cannot be hidden without ending its
        // loop; it is minimised instead, and the window manager hides it.
        const bool modal = w->isModal();
        m_hidden.push_back({w, modal});
        if (modal)
            w->showMinimized();
        else
            w->hide();
    }
    m_minimised = true;
}

void X11AppShell::restore()
{
    std::vector<Hidden> hidden;
    hidden.swap(m_hidden);
    // Bring back in the order they were hidden, modal windows last so that
    // they come up above the windows they block.
    for (const Hidden& h : hidden)
        if (h.window && !h.minimisedInPlace)
            h.window->show();
    for (const Hidden& h : hidden)
        if (h.window && h.minimisedInPlace)
            h.window->showNormal();
    m_minimised = false;
    QWidget* front = QApplication::activeModalWidget();
    if (!front)
        front = m_main;
    if (front && front->isVisible()) {
        front->raise();
        front->activateWindow();
    }
}

void X11AppShell::onTaskBarActivation()
{
    // While a modal window is up (the lock), the task-bar entry only brings
    // that window back; the windows it blocks stay hidden.
    QWidget* modal = QApplication::activeModalWidget();
    if (m_minimised && !modal) {
        restore();
        return;
    }
    QWidget* front = modal ? modal : m_main.data();
    if (!front)
        return;
    if (front->isMinimized())
        front->showNormal();
    else if (!front->isVisible())
        front->show();
    front->raise();
    front->activateWindow();
}

void X11AppShell::bringToFront()
{
    onTaskBarActivation();
}

void X11AppShell::onTaskBarClose()
{
    if (m_main)
        m_main->close();
}

void X11AppShell::setTitle(const QString& title)
{
    m_title = title;
    m_owner->setWindowTitle(title);
    m_owner->setWindowIconText(title);
}

void X11AppShell::processPendingEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void X11AppShell::makeTopMost(QWidget* window)
{
    markCriticalNotification(window);
    QWindow* handle = window->windowHandle();
    if (handle && !(handle->flags() & Qt::WindowStaysOnTopHint))
        handle->setFlag(Qt::WindowStaysOnTopHint, true);
    window->raise();
}

} // namespace platform::x11
