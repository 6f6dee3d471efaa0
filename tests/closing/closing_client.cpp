// A stand-in for "another program" in the closing tests and benchmark: plain
// xcb top-level windows with a chosen title that react to WM_DELETE_WINDOW as
// told, and report on stdout what they were asked.
//
//   closing_client --title T [--mode close|refuse|nodelete] [--unmapped]
//                  [--count N] [--wm-name-only latin1|compound]
//
// Prints "ready <id>..." once every window is mapped (and, under a window
// manager, in its client list), then "delete <id>" for each WM_DELETE_WINDOW.
// In close mode a window asked to close is destroyed and the program exits
// when it has none left. Reads commands from stdin: "raise" raises every
// window and answers "raised"; end of input ends the program.

#include <xcb/xcb.h>

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;

enum class Mode { Close, Refuse, NoDelete };
enum class TitleProperty { Both, Latin1Only, CompoundOnly };

struct Options
{
    std::string title = "closing client";
    Mode mode = Mode::Close;
    TitleProperty titleProperty = TitleProperty::Both;
    bool unmapped = false;
    int count = 1;
};

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "closing_client: %s\n", what);
    std::exit(2);
}

Options parse(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--title" && hasValue) {
            o.title = argv[++i];
        } else if (arg == "--mode" && hasValue) {
            const std::string m = argv[++i];
            o.mode = m == "refuse" ? Mode::Refuse : m == "nodelete" ? Mode::NoDelete : Mode::Close;
        } else if (arg == "--wm-name-only" && hasValue) {
            const std::string t = argv[++i];
            o.titleProperty =
                t == "compound" ? TitleProperty::CompoundOnly : TitleProperty::Latin1Only;
        } else if (arg == "--unmapped") {
            o.unmapped = true;
        } else if (arg == "--count" && hasValue) {
            o.count = std::max(1, std::atoi(argv[++i]));
        } else {
            fail("unknown or incomplete option");
        }
    }
    return o;
}

// The title is given in UTF-8; WM_NAME of type STRING holds Latin-1.
std::string utf8ToLatin1(const std::string& s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if ((c & 0xE0) == 0xC0 && i + 1 < s.size()) {
            const auto code = ((c & 0x1F) << 6) | (static_cast<unsigned char>(s[++i]) & 0x3F);
            out += code < 0x100 ? static_cast<char>(code) : '?';
        } else {
            out += '?';
        }
    }
    return out;
}

xcb_atom_t intern(xcb_connection_t* c, const char* name)
{
    Reply<xcb_intern_atom_reply_t> r(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr),
        &std::free);
    if (!r)
        fail("cannot intern an atom");
    return r->atom;
}

void setText(xcb_connection_t* c, xcb_window_t w, xcb_atom_t property, xcb_atom_t type,
             const std::string& text)
{
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, property, type, 8, text.size(), text.data());
}

// Under a window manager a window counts as shown once the manager lists it.
bool allManaged(xcb_connection_t* c, xcb_window_t root, xcb_atom_t clientList,
                const std::vector<xcb_window_t>& windows)
{
    Reply<xcb_get_property_reply_t> r(
        xcb_get_property_reply(
            c, xcb_get_property(c, 0, root, clientList, XCB_ATOM_WINDOW, 0, 1 << 16), nullptr),
        &std::free);
    if (!r)
        return false;
    const auto* ids = static_cast<const xcb_window_t*>(xcb_get_property_value(r.get()));
    const std::set<xcb_window_t> listed(ids, ids + xcb_get_property_value_length(r.get()) / 4);
    return std::all_of(windows.begin(), windows.end(),
                       [&](xcb_window_t w) { return listed.contains(w); });
}

bool windowManagerPresent(xcb_connection_t* c, xcb_window_t root, xcb_atom_t check)
{
    Reply<xcb_get_property_reply_t> r(
        xcb_get_property_reply(c, xcb_get_property(c, 0, root, check, XCB_ATOM_WINDOW, 0, 1),
                               nullptr),
        &std::free);
    return r && xcb_get_property_value_length(r.get()) == 4;
}

void say(const std::string& line)
{
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    const Options o = parse(argc, argv);
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(c))
        fail("cannot connect to the display");
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber; ++i)
        xcb_screen_next(&it);
    const xcb_window_t root = it.data->root;

    const xcb_atom_t protocols = intern(c, "WM_PROTOCOLS");
    const xcb_atom_t deleteWindow = intern(c, "WM_DELETE_WINDOW");
    const xcb_atom_t netWmName = intern(c, "_NET_WM_NAME");
    const xcb_atom_t utf8 = intern(c, "UTF8_STRING");
    const xcb_atom_t compound = intern(c, "COMPOUND_TEXT");
    const xcb_atom_t clientList = intern(c, "_NET_CLIENT_LIST");
    const xcb_atom_t wmCheck = intern(c, "_NET_SUPPORTING_WM_CHECK");

    const bool managed = !o.unmapped && windowManagerPresent(c, root, wmCheck);
    if (managed) {
        const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
    }

    std::vector<xcb_window_t> windows;
    for (int i = 0; i < o.count; ++i) {
        const xcb_window_t w = xcb_generate_id(c);
        const uint32_t values[] = {it.data->white_pixel, XCB_EVENT_MASK_STRUCTURE_NOTIFY};
        const uint32_t x = 10 + (i % 40) * 20;
        const uint32_t y = 10 + (i % 30) * 20;
        xcb_create_window(c, XCB_COPY_FROM_PARENT, w, root, x, y, 160, 60, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, it.data->root_visual,
                          XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
        const std::string title = o.count == 1 ? o.title : o.title + " #" + std::to_string(i);
        switch (o.titleProperty) {
        case TitleProperty::Both:
            setText(c, w, netWmName, utf8, title);
            setText(c, w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, utf8ToLatin1(title));
            break;
        case TitleProperty::Latin1Only:
            setText(c, w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, utf8ToLatin1(title));
            break;
        case TitleProperty::CompoundOnly:
            // ESC - A designates Latin-1 for the right half, as Xlib writes it.
            setText(c, w, XCB_ATOM_WM_NAME, compound, "\x1b-A" + utf8ToLatin1(title));
            break;
        }
        // A position of the user's choosing spares the manager its placement
        // search, which grows with the number of windows already shown.
        const uint32_t hints[18] = {1 | 2, x, y, 160, 60};
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_NORMAL_HINTS,
                            XCB_ATOM_WM_SIZE_HINTS, 32, 18, hints);
        if (o.mode != Mode::NoDelete)
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, protocols, XCB_ATOM_ATOM, 32, 1,
                                &deleteWindow);
        if (!o.unmapped)
            xcb_map_window(c, w);
        windows.push_back(w);
    }
    xcb_flush(c);

    std::set<xcb_window_t> open(windows.begin(), windows.end());
    std::size_t unmappedYet = o.unmapped ? 0 : windows.size();
    bool ready = false;
    auto announceWhenReady = [&] {
        if (ready || unmappedYet > 0 || (managed && !allManaged(c, root, clientList, windows)))
            return;
        // A round trip, so that the windows exist for everybody once we say so.
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        std::string line = "ready";
        for (xcb_window_t w : windows)
            line.append(" ").append(std::to_string(w));
        say(line);
        ready = true;
    };
    announceWhenReady();

    pollfd fds[] = {{xcb_get_file_descriptor(c), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
    std::string input;
    for (;;) {
        bool clientListChanged = false;
        while (xcb_generic_event_t* raw = xcb_poll_for_event(c)) {
            Reply<xcb_generic_event_t> event(raw, &std::free);
            switch (event->response_type & 0x7F) {
            case XCB_MAP_NOTIFY:
                if (unmappedYet > 0)
                    --unmappedYet;
                clientListChanged = true;
                break;
            case XCB_PROPERTY_NOTIFY:
                clientListChanged |=
                    reinterpret_cast<xcb_property_notify_event_t*>(raw)->atom == clientList;
                break;
            case XCB_CLIENT_MESSAGE: {
                const auto* m = reinterpret_cast<xcb_client_message_event_t*>(raw);
                if (m->type != protocols || m->data.data32[0] != deleteWindow)
                    break;
                say("delete " + std::to_string(m->window));
                if (o.mode == Mode::Close && open.erase(m->window) == 1) {
                    xcb_destroy_window(c, m->window);
                    if (open.empty()) {
                        xcb_disconnect(c);
                        return 0;
                    }
                }
                break;
            }
            default:
                break;
            }
        }
        if (clientListChanged) {
            // Its round trips may have read events that poll() below would
            // not wake up for: handle those first.
            announceWhenReady();
            continue;
        }
        if (xcb_connection_has_error(c)) {
            xcb_disconnect(c);
            return 1; // the window manager killed us, or the server went away
        }
        xcb_flush(c);

        if (poll(fds, 2, -1) < 0)
            fail("poll");
        if (fds[1].revents & (POLLIN | POLLHUP)) {
            char buffer[256];
            const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
            if (n <= 0)
                break;
            input.append(buffer, static_cast<std::size_t>(n));
            for (std::size_t eol; (eol = input.find('\n')) != std::string::npos;) {
                const std::string command = input.substr(0, eol);
                input.erase(0, eol + 1);
                if (command == "raise") {
                    const uint32_t above = XCB_STACK_MODE_ABOVE;
                    for (xcb_window_t w : open)
                        xcb_configure_window(c, w, XCB_CONFIG_WINDOW_STACK_MODE, &above);
                    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
                    say("raised");
                }
            }
        }
    }
    xcb_disconnect(c);
    return 0;
}
