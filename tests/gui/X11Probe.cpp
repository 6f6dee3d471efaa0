#include "X11Probe.h"

#include <QDeadlineTimer>
#include <QRect>
#include <QTest>

#include <algorithm>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {
struct FreeDeleter
{
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeDeleter>;
} // namespace

X11Probe::X11Probe()
{
    m_c = xcb_connect(nullptr, nullptr);
    m_root = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root;
}

X11Probe::~X11Probe()
{
    xcb_disconnect(m_c);
}

xcb_atom_t X11Probe::atom(const char* name)
{
    Reply<xcb_intern_atom_reply_t> r(
        xcb_intern_atom_reply(m_c, xcb_intern_atom(m_c, 0, uint16_t(strlen(name)), name), nullptr));
    return r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
}

QByteArray X11Probe::property(xcb_window_t window, xcb_atom_t prop, xcb_atom_t type)
{
    Reply<xcb_get_property_reply_t> r(xcb_get_property_reply(
        m_c, xcb_get_property(m_c, 0, window, prop, type, 0, 1 << 20), nullptr));
    if (!r || r->type == XCB_ATOM_NONE)
        return {};
    return QByteArray(static_cast<const char*>(xcb_get_property_value(r.get())),
                      xcb_get_property_value_length(r.get()));
}

std::vector<xcb_window_t> X11Probe::clients()
{
    const QByteArray data = property(m_root, atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW);
    std::vector<xcb_window_t> ids(std::size_t(data.size()) / 4);
    if (!ids.empty())
        std::memcpy(ids.data(), data.constData(), ids.size() * 4);
    return ids;
}

QStringList X11Probe::states(xcb_window_t window)
{
    const QByteArray data = property(window, atom("_NET_WM_STATE"), XCB_ATOM_ATOM);
    QStringList names;
    for (int i = 0; i + 4 <= data.size(); i += 4) {
        xcb_atom_t a;
        std::memcpy(&a, data.constData() + i, 4);
        Reply<xcb_get_atom_name_reply_t> r(
            xcb_get_atom_name_reply(m_c, xcb_get_atom_name(m_c, a), nullptr));
        if (r)
            names << QString::fromLatin1(xcb_get_atom_name_name(r.get()),
                                         xcb_get_atom_name_name_length(r.get()));
    }
    return names;
}

std::vector<xcb_window_t> X11Probe::taskBarEntries()
{
    std::vector<xcb_window_t> entries;
    for (xcb_window_t w : clients())
        if (!states(w).contains(QStringLiteral("_NET_WM_STATE_SKIP_TASKBAR")))
            entries.push_back(w);
    return entries;
}

QString X11Probe::netWmName(xcb_window_t window)
{
    return QString::fromUtf8(property(window, atom("_NET_WM_NAME"), atom("UTF8_STRING")));
}

xcb_window_t X11Probe::clientNamed(const QString& name)
{
    for (xcb_window_t w : clients())
        if (netWmName(w) == name)
            return w;
    return 0;
}

std::vector<xcb_window_t> X11Probe::clientsOfPid(qint64 pid)
{
    std::vector<xcb_window_t> mine;
    for (xcb_window_t w : clients()) {
        const QByteArray data = property(w, atom("_NET_WM_PID"), XCB_ATOM_CARDINAL);
        if (data.size() == 4) {
            quint32 p;
            std::memcpy(&p, data.constData(), 4);
            if (p == pid)
                mine.push_back(w);
        }
    }
    return mine;
}

xcb_window_t X11Probe::waitForClientOfPid(qint64 pid, const QString& name, int ms,
                                          bool viewableOnly)
{
    QDeadlineTimer deadline(ms);
    do {
        for (xcb_window_t w : clientsOfPid(pid))
            if (netWmName(w) == name && (!viewableOnly || isViewable(w)))
                return w;
        QTest::qWait(20);
    } while (!deadline.hasExpired());
    return 0;
}

QRect X11Probe::geometry(xcb_window_t window)
{
    Reply<xcb_get_geometry_reply_t> g(
        xcb_get_geometry_reply(m_c, xcb_get_geometry(m_c, window), nullptr));
    Reply<xcb_translate_coordinates_reply_t> t(xcb_translate_coordinates_reply(
        m_c, xcb_translate_coordinates(m_c, window, m_root, 0, 0), nullptr));
    if (!g || !t)
        return {};
    return QRect(t->dst_x, t->dst_y, g->width, g->height);
}

xcb_window_t X11Probe::frameOf(xcb_window_t window)
{
    for (;;) {
        Reply<xcb_query_tree_reply_t> r(
            xcb_query_tree_reply(m_c, xcb_query_tree(m_c, window), nullptr));
        if (!r || r->parent == m_root || r->parent == XCB_WINDOW_NONE)
            return window;
        window = r->parent;
    }
}

bool X11Probe::isViewable(xcb_window_t window)
{
    Reply<xcb_get_window_attributes_reply_t> r(
        xcb_get_window_attributes_reply(m_c, xcb_get_window_attributes(m_c, window), nullptr));
    return r && r->map_state == XCB_MAP_STATE_VIEWABLE;
}

xcb_window_t X11Probe::activeWindow()
{
    const QByteArray data = property(m_root, atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW);
    xcb_window_t w = 0;
    if (data.size() == 4)
        std::memcpy(&w, data.constData(), 4);
    return w;
}

bool X11Probe::isAbove(xcb_window_t a, xcb_window_t b)
{
    const QByteArray data = property(m_root, atom("_NET_CLIENT_LIST_STACKING"), XCB_ATOM_WINDOW);
    std::vector<xcb_window_t> ids(std::size_t(data.size()) / 4);
    if (!ids.empty())
        std::memcpy(ids.data(), data.constData(), ids.size() * 4);
    const auto ia = std::find(ids.begin(), ids.end(), a);
    const auto ib = std::find(ids.begin(), ids.end(), b);
    return ia != ids.end() && ib != ids.end() && ia > ib;
}
