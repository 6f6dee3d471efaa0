#include "platform/x11/X11TopLevelWindows.h"

#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>

namespace platform::x11 {

struct X11TopLevelWindows::Ewmh
{
    xcb_ewmh_connection_t atoms{};
    bool initialised = false;
    ~Ewmh()
    {
        // A failed initialisation has already released what it took.
        if (initialised)
            xcb_ewmh_connection_wipe(&atoms);
    }
};

void X11TopLevelWindows::Disconnect::operator()(xcb_connection_t* connection) const
{
    xcb_disconnect(connection);
}

namespace {

template <typename T> struct FreeDeleter
{
    void operator()(T* p) const { std::free(p); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeDeleter<T>>;
using PropertyReply = Reply<xcb_get_property_reply_t>;

// Enough of a property for the longest title that takes part.
constexpr std::uint32_t kTitleLongs = (TopLevelWindows::kMaxTitleBytes + 3) / 4;
// Lists of windows or atoms: the server sends what there is.
constexpr std::uint32_t kListLongs = 1u << 20;

// The reply, or nullptr when the request failed; the error is dropped because
// every caller treats a failure as "nothing there": a window that vanished
// while it was read has no title and cannot be closed.
PropertyReply takeProperty(xcb_connection_t* c, xcb_get_property_cookie_t cookie)
{
    xcb_generic_error_t* error = nullptr;
    PropertyReply reply(xcb_get_property_reply(c, cookie, &error));
    Reply<xcb_generic_error_t> dropped(error);
    return reply;
}

template <typename Id> std::vector<Id> valuesOf(const PropertyReply& reply, xcb_atom_t type)
{
    if (!reply || reply->type != type || reply->format != 32)
        return {};
    const auto* first = static_cast<const Id*>(xcb_get_property_value(reply.get()));
    return {first, first + xcb_get_property_value_length(reply.get()) / 4};
}

std::string_view bytesOf(const PropertyReply& reply)
{
    if (!reply || reply->format != 8)
        return {};
    return {static_cast<const char*>(xcb_get_property_value(reply.get())),
            static_cast<std::size_t>(xcb_get_property_value_length(reply.get()))};
}

void appendLatin1(std::string& out, unsigned char c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string latin1ToUtf8(std::string_view bytes)
{
    std::string out;
    for (char c : bytes) {
        if (out.size() >= TopLevelWindows::kMaxTitleBytes)
            break;
        appendLatin1(out, static_cast<unsigned char>(c));
    }
    return out;
}

// COMPOUND_TEXT, best effort: text in the default sets (ASCII on the left,
// Latin-1's upper half on the right) and UTF-8 segments are kept; text in any
// other designated set is left out, since naming a program by a part of its
// title in such a set is beyond what the list can hold anyway.
std::string compoundTextToUtf8(std::string_view bytes)
{
    std::string out;
    bool leftIsAscii = true;
    bool rightIsLatin1 = true;
    bool utf8Segment = false;
    for (std::size_t i = 0; i < bytes.size() && out.size() < TopLevelWindows::kMaxTitleBytes;) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c == 0x1B) { // ESC, intermediate bytes, a final byte: a change of set
            std::size_t end = i + 1;
            while (end < bytes.size() && (bytes[end] & 0xF0) == 0x20)
                ++end;
            const std::string_view sequence = bytes.substr(i + 1, end - i - 1);
            i = end + 1;
            if (end >= bytes.size())
                break;
            const char final = bytes[end];
            if (sequence == "%") {
                utf8Segment = final == 'G';
            } else if (sequence == "(" || sequence == "$(" || sequence == "$") {
                leftIsAscii = sequence == "(" && final == 'B';
            } else if (sequence == "-" || sequence == ")" || sequence == "$)") {
                rightIsLatin1 = sequence == "-" && final == 'A';
            }
            continue;
        }
        ++i;
        if (utf8Segment) {
            out += static_cast<char>(c);
        } else if (c == 0x9B) { // a direction sequence: parameters up to a final byte
            while (i < bytes.size() && (static_cast<unsigned char>(bytes[i]) & 0xC0) != 0x40)
                ++i;
            ++i;
        } else if (c < 0x80 ? (leftIsAscii || c <= 0x20) : (c >= 0xA0 && rightIsLatin1)) {
            appendLatin1(out, c);
        }
    }
    return out;
}

std::string cut(std::string_view text)
{
    return std::string(text.substr(0, std::min(text.size(), TopLevelWindows::kMaxTitleBytes)));
}

// WM_NAME: STRING is Latin-1 by the ICCCM; some programs put UTF-8 there.
std::string legacyTitleOf(const PropertyReply& reply, xcb_atom_t utf8, xcb_atom_t compoundText)
{
    if (!reply)
        return {};
    const std::string_view bytes = bytesOf(reply);
    if (reply->type == compoundText)
        return compoundTextToUtf8(bytes);
    if (reply->type == utf8)
        return cut(bytes);
    return latin1ToUtf8(bytes);
}

} // namespace

X11TopLevelWindows::X11TopLevelWindows() : m_ewmh(std::make_unique<Ewmh>())
{
    m_connection.reset(xcb_connect(nullptr, &m_screen));
    if (const int error = xcb_connection_has_error(m_connection.get()))
        throw std::runtime_error("Cannot connect to the X display to reach other programs' windows "
                                 "(xcb error " +
                                 std::to_string(error) + ")");
    xcb_connection_t* c = m_connection.get();
    const xcb_setup_t* setup = xcb_get_setup(c);
    m_idMask = setup->resource_id_mask;

    xcb_intern_atom_cookie_t* ewmhCookies = xcb_ewmh_init_atoms(c, &m_ewmh->atoms);
    const auto intern = [c](std::string_view name) {
        return xcb_intern_atom(c, 0, static_cast<std::uint16_t>(name.size()), name.data());
    };
    const xcb_intern_atom_cookie_t deleteCookie = intern("WM_DELETE_WINDOW");
    const xcb_intern_atom_cookie_t compoundCookie = intern("COMPOUND_TEXT");
    m_ewmh->initialised =
        ewmhCookies && xcb_ewmh_init_atoms_replies(&m_ewmh->atoms, ewmhCookies, nullptr);
    Reply<xcb_intern_atom_reply_t> deleteAtom(xcb_intern_atom_reply(c, deleteCookie, nullptr));
    Reply<xcb_intern_atom_reply_t> compoundAtom(xcb_intern_atom_reply(c, compoundCookie, nullptr));
    if (!m_ewmh->initialised || !deleteAtom || !compoundAtom || m_screen < 0 ||
        m_screen >= m_ewmh->atoms.nb_screens)
        throw std::runtime_error("Cannot read the X display's window properties");
    m_deleteWindow = deleteAtom->atom;
    m_compoundText = compoundAtom->atom;
    m_root = m_ewmh->atoms.screens[m_screen]->root;
}

X11TopLevelWindows::~X11TopLevelWindows() = default;

std::vector<TopLevelWindow> X11TopLevelWindows::stack()
{
    xcb_connection_t* c = m_connection.get();
    const xcb_ewmh_connection_t& ewmh = m_ewmh->atoms;
    // Nothing here asks for events; what arrives anyway (errors of requests
    // nobody waits for, mapping changes) is of no use.
    while (Reply<xcb_generic_event_t> ignored{xcb_poll_for_queued_event(c)}) {
    }

    // First round trip: who manages the screen, its clients, the root's children.
    const auto checkCookie =
        xcb_get_property(c, 0, m_root, ewmh._NET_SUPPORTING_WM_CHECK, XCB_ATOM_WINDOW, 0, 1);
    const auto clientsCookie = xcb_get_property(c, 0, m_root, ewmh._NET_CLIENT_LIST_STACKING,
                                                XCB_ATOM_WINDOW, 0, kListLongs);
    const auto treeCookie = xcb_query_tree(c, m_root);
    const std::vector<xcb_window_t> check =
        valuesOf<xcb_window_t>(takeProperty(c, checkCookie), XCB_ATOM_WINDOW);
    const xcb_window_t manager = check.empty() ? 0 : check.front();
    std::vector<xcb_window_t> clients =
        valuesOf<xcb_window_t>(takeProperty(c, clientsCookie), XCB_ATOM_WINDOW);
    if (!manager)
        clients.clear(); // left behind by a manager that has gone
    xcb_generic_error_t* treeError = nullptr;
    Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, treeCookie, &treeError));
    Reply<xcb_generic_error_t> treeErrorHolder(treeError);
    if (!tree)
        throw std::runtime_error(xcb_connection_has_error(c)
                                     ? "The connection to the X display was lost"
                                     : "Cannot list the X display's top-level windows");
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    // query_tree and the stacking list run bottom to top; we want the top first.
    std::vector<xcb_window_t> rootChildren(children,
                                           children + xcb_query_tree_children_length(tree.get()));
    std::reverse(rootChildren.begin(), rootChildren.end());
    std::reverse(clients.begin(), clients.end());

    // Second round trip: every title in one batch. Managed clients nearly
    // always have an EWMH title, so their ICCCM one is only read when they
    // lack it; the few other windows get both at once, with their protocols.
    // The manager's own windows (its frames, created on the connection that
    // made its check window) are not asked about: they carry no title, and
    // there is one for every client.
    const std::unordered_set<xcb_window_t> managed(clients.begin(), clients.end());
    const xcb_window_t managerIds = manager & ~m_idMask;
    struct Candidate
    {
        xcb_window_t window;
        bool managed;
        xcb_get_property_cookie_t name;
        xcb_get_property_cookie_t legacyName;
        xcb_get_property_cookie_t protocols;
        bool present = true;
        std::string title;
    };
    std::vector<Candidate> candidates;
    candidates.reserve(clients.size() + rootChildren.size());
    const auto titleCookie = [&](xcb_window_t w, xcb_atom_t property, xcb_atom_t type) {
        return xcb_get_property(c, 0, w, property, type, 0, kTitleLongs);
    };
    for (xcb_window_t w : clients)
        candidates.push_back(
            {w, true, titleCookie(w, ewmh._NET_WM_NAME, ewmh.UTF8_STRING), {}, {}, true, {}});
    for (xcb_window_t w : rootChildren) {
        if (managed.contains(w) || (manager && (w & ~m_idMask) == managerIds))
            continue;
        candidates.push_back(
            {w,
             false,
             titleCookie(w, ewmh._NET_WM_NAME, ewmh.UTF8_STRING),
             titleCookie(w, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY),
             xcb_get_property(c, 0, w, ewmh.WM_PROTOCOLS, XCB_ATOM_ATOM, 0, kListLongs),
             true,
             {}});
    }
    // A check window left behind by a manager that has gone does not point at itself.
    const auto recheckCookie = xcb_get_property(
        c, 0, manager ? manager : m_root, ewmh._NET_SUPPORTING_WM_CHECK, XCB_ATOM_WINDOW, 0, 1);

    m_managed.clear();
    m_takesDelete.clear();
    std::vector<Candidate*> withoutName;
    for (Candidate& k : candidates) {
        // Every reply is taken, even of a window already known to be gone,
        // so that none is left queued on the connection.
        const PropertyReply name = takeProperty(c, k.name);
        k.present = name != nullptr; // BadWindow: it went away while we were reading
        const bool hasName = name && name->type == ewmh.UTF8_STRING;
        if (hasName)
            k.title = cut(bytesOf(name));
        if (k.managed) {
            if (k.present && !hasName)
                withoutName.push_back(&k);
            continue;
        }
        const PropertyReply legacy = takeProperty(c, k.legacyName);
        const auto protocols = valuesOf<xcb_atom_t>(takeProperty(c, k.protocols), XCB_ATOM_ATOM);
        m_takesDelete[k.window] =
            std::find(protocols.begin(), protocols.end(), m_deleteWindow) != protocols.end();
        if (!hasName) {
            k.present = k.present && legacy;
            k.title = legacyTitleOf(legacy, ewmh.UTF8_STRING, m_compoundText);
        }
    }
    const std::vector<xcb_window_t> recheck =
        valuesOf<xcb_window_t>(takeProperty(c, recheckCookie), XCB_ATOM_WINDOW);
    const bool managerAlive = manager && recheck.size() == 1 && recheck.front() == manager;

    // Third round trip, only for managed windows without an EWMH title.
    std::vector<xcb_get_property_cookie_t> legacyCookies;
    legacyCookies.reserve(withoutName.size());
    for (const Candidate* k : withoutName)
        legacyCookies.push_back(
            titleCookie(k->window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY));
    for (std::size_t i = 0; i < withoutName.size(); ++i) {
        const PropertyReply legacy = takeProperty(c, legacyCookies[i]);
        withoutName[i]->present = legacy != nullptr;
        withoutName[i]->title = legacyTitleOf(legacy, ewmh.UTF8_STRING, m_compoundText);
    }
    if (xcb_connection_has_error(c))
        throw std::runtime_error("The connection to the X display was lost");

    std::vector<TopLevelWindow> result;
    result.reserve(candidates.size());
    if (managerAlive || !manager) {
        for (Candidate& k : candidates) {
            if (!k.present)
                continue;
            if (k.managed)
                m_managed.insert(k.window);
            result.push_back({k.window, std::move(k.title)});
        }
    } else {
        // The client list was left behind by a manager that has gone: its
        // windows are the root's children now, or gone. The ones we took for
        // managed have their protocols read when they are closed.
        std::unordered_map<xcb_window_t, Candidate*> byWindow;
        for (Candidate& k : candidates)
            byWindow.emplace(k.window, &k);
        for (xcb_window_t w : rootChildren) {
            const auto found = byWindow.find(w);
            if (found != byWindow.end() && found->second->present)
                result.push_back({w, std::move(found->second->title)});
        }
    }
    return result;
}

void X11TopLevelWindows::requestClose(WindowHandle window)
{
    post(window);
    flush();
}

void X11TopLevelWindows::requestCloseAll(const std::vector<WindowHandle>& windows)
{
    // One flush for the lot: flushing after each request wakes the window
    // manager while we are still sending.
    for (WindowHandle window : windows)
        post(window);
    flush();
}

void X11TopLevelWindows::post(WindowHandle window)
{
    // X11 window ids are 32 bits: anything wider names no window here.
    if (window == 0 || window > 0xFFFFFFFFu)
        return;
    if (m_managed.contains(window)) {
        sendManagerClose(window);
    } else if (const auto known = m_takesDelete.find(window); known != m_takesDelete.end()) {
        // A window that does not take WM_DELETE_WINDOW has no polite way to be
        // closed; without a manager to decide, it is left alone.
        if (known->second)
            sendDelete(window);
    } else {
        closeUnknown(window);
    }
}

// A window the last stack() did not list: ask the server what it is first.
void X11TopLevelWindows::closeUnknown(WindowHandle window)
{
    xcb_connection_t* c = m_connection.get();
    const xcb_ewmh_connection_t& ewmh = m_ewmh->atoms;
    const auto checkCookie =
        xcb_get_property(c, 0, m_root, ewmh._NET_SUPPORTING_WM_CHECK, XCB_ATOM_WINDOW, 0, 1);
    const auto clientsCookie =
        xcb_get_property(c, 0, m_root, ewmh._NET_CLIENT_LIST, XCB_ATOM_WINDOW, 0, kListLongs);
    const auto protocolsCookie =
        xcb_get_property(c, 0, xcb_window_t(window), ewmh.WM_PROTOCOLS, XCB_ATOM_ATOM, 0, kListLongs);
    const auto check = valuesOf<xcb_window_t>(takeProperty(c, checkCookie), XCB_ATOM_WINDOW);
    const auto clients = valuesOf<xcb_window_t>(takeProperty(c, clientsCookie), XCB_ATOM_WINDOW);
    const auto protocols = valuesOf<xcb_atom_t>(takeProperty(c, protocolsCookie), XCB_ATOM_ATOM);
    if (xcb_connection_has_error(c))
        throw std::runtime_error("The connection to the X display was lost");

    if (!check.empty() && std::find(clients.begin(), clients.end(), window) != clients.end()) {
        const auto recheck = valuesOf<xcb_window_t>(
            takeProperty(c, xcb_get_property(c, 0, check.front(), ewmh._NET_SUPPORTING_WM_CHECK,
                                             XCB_ATOM_WINDOW, 0, 1)),
            XCB_ATOM_WINDOW);
        if (recheck.size() == 1 && recheck.front() == check.front()) {
            sendManagerClose(window);
            return;
        }
    }
    if (std::find(protocols.begin(), protocols.end(), m_deleteWindow) != protocols.end())
        sendDelete(window);
}

// What a press on the close box does: the manager decides how to end it.
void X11TopLevelWindows::sendManagerClose(WindowHandle window)
{
    xcb_ewmh_request_close_window(&m_ewmh->atoms, m_screen, xcb_window_t(window), XCB_CURRENT_TIME,
                                  XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER);
}

void X11TopLevelWindows::sendDelete(WindowHandle window)
{
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = xcb_window_t(window);
    event.type = m_ewmh->atoms.WM_PROTOCOLS;
    event.data.data32[0] = m_deleteWindow;
    event.data.data32[1] = XCB_CURRENT_TIME;
    // The window may be gone by now; that error tells nothing we need, so it
    // is discarded rather than left to pile up on the connection.
    const xcb_void_cookie_t cookie =
        xcb_send_event_checked(m_connection.get(), 0, xcb_window_t(window), XCB_EVENT_MASK_NO_EVENT,
                               reinterpret_cast<const char*>(&event));
    xcb_discard_reply(m_connection.get(), cookie.sequence);
}

void X11TopLevelWindows::flush()
{
    if (xcb_flush(m_connection.get()) <= 0 || xcb_connection_has_error(m_connection.get()))
        throw std::runtime_error("Cannot send a close request: the connection to the X display "
                                 "was lost");
}

} // namespace platform::x11
