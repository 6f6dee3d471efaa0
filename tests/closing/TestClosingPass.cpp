// The closing pass against a real X server and real client windows: run once
// with openbox managing the windows and once with no window manager at all.

#include "ClosingClient.h"
#include "SourceCall.h"
#include "platform/x11/X11TopLevelWindows.h"
#include "station/ClosingPass.h"

#include <QTest>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

using platform::WindowHandle;

namespace {

// What the source lists, and a closing pass: a failed check, and nothing, when
// the X server is gone (the source throws then).
std::vector<platform::TopLevelWindow> stackOf(platform::TopLevelWindows& windows)
{
    return valueOrFail([&] { return windows.stack(); });
}

std::vector<WindowHandle> closingPass(platform::TopLevelWindows& windows,
                                      const std::vector<std::string>& names)
{
    return valueOrFail([&] { return runClosingPass(windows, names); });
}

bool windowManagerRuns()
{
    std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> c(xcb_connect(nullptr, nullptr),
                                                                   &xcb_disconnect);
    const char name[] = "_NET_SUPPORTING_WM_CHECK";
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
        xcb_intern_atom_reply(c.get(), xcb_intern_atom(c.get(), 1, sizeof name - 1, name), nullptr),
        &std::free);
    if (!atom || atom->atom == XCB_ATOM_NONE)
        return false;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c.get())).data->root;
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> check(
        xcb_get_property_reply(
            c.get(), xcb_get_property(c.get(), 0, root, atom->atom, XCB_ATOM_WINDOW, 0, 1),
            nullptr),
        &std::free);
    return check && xcb_get_property_value_length(check.get()) == 4;
}

// Titles carry the test's name, so that windows of other cases never match.
QString titled(const char* title)
{
    return QString::fromUtf8(title) + QStringLiteral(" [") +
           QString::fromUtf8(QTest::currentTestFunction()) + QStringLiteral("/") +
           QString::fromUtf8(QTest::currentDataTag()) + QStringLiteral("]");
}

std::vector<std::string> names(std::initializer_list<const char*> list)
{
    return {list.begin(), list.end()};
}

std::vector<WindowHandle> handles(std::initializer_list<WindowHandle> list)
{
    return list;
}

} // namespace

class TestClosingPass final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void readsTitles_data();
    void readsTitles();
    void asksMatchingWindowsUpperFirst_data();
    void asksMatchingWindowsUpperFirst();
    void leavesOtherWindowsAlone();
    void asksRefusingWindowOncePerPass();
    void passesOverEntriesMatchingNothing_data();
    void passesOverEntriesMatchingNothing();
    void asksHiddenWindows();
    void windowWithoutDeleteProtocol();
    void passesOverVanishedWindows();

private:
    // Null, and a failed check, when the client did not start.
    ClosingClient* start(const QStringList& arguments);
    int depth(WindowHandle window);

    std::unique_ptr<platform::x11::X11TopLevelWindows> m_windows;
    std::vector<std::unique_ptr<ClosingClient>> m_clients;
    bool m_managed = false;
};

void TestClosingPass::initTestCase()
{
    m_managed = windowManagerRuns();
    auto opened = callSource([] { return std::make_unique<platform::x11::X11TopLevelWindows>(); });
    QVERIFY2(opened, opened.error());
    m_windows = std::move(*opened);
}

void TestClosingPass::cleanup()
{
    m_clients.clear();
}

ClosingClient* TestClosingPass::start(const QStringList& arguments)
{
    m_clients.push_back(std::make_unique<ClosingClient>(arguments));
    ClosingClient& client = *m_clients.back();
    [&] { QTRY_VERIFY_WITH_TIMEOUT(client.isReady() || client.hasExited(), 60000); }();
    if (!client.isReady()) {
        QTest::qFail("closing_client did not start", __FILE__, __LINE__);
        return nullptr;
    }
    return &client;
}

// Position of the window in the stack, topmost first; -1 when it is not there.
int TestClosingPass::depth(WindowHandle window)
{
    const auto stack = stackOf(*m_windows);
    const auto it = std::find_if(stack.begin(), stack.end(),
                                 [window](const auto& w) { return w.handle == window; });
    return it == stack.end() ? -1 : static_cast<int>(it - stack.begin());
}

void TestClosingPass::readsTitles_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("title");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("UTF-8 in _NET_WM_NAME")
        << QStringList() << QByteArray("Tr\xc3\xa8s \xe2\x98\x83 bien")
        << QByteArray("Tr\xc3\xa8s \xe2\x98\x83 bien");
    QTest::newRow("Latin-1 in WM_NAME only")
        << QStringList{"--wm-name-only", "latin1"} << QByteArray("Caf\xc3\xa9 ol\xc3\xa9")
        << QByteArray("Caf\xc3\xa9 ol\xc3\xa9");
    QTest::newRow("compound text in WM_NAME only")
        << QStringList{"--wm-name-only", "compound"} << QByteArray("Se\xc3\xb1or")
        << QByteArray("Se\xc3\xb1or");
    QTest::newRow("long title cut at 254 bytes")
        << QStringList() << QByteArray(300, 'L') << QByteArray(254, 'L');
    QTest::newRow("Latin-1 title cut at 254 bytes of UTF-8")
        << QStringList{"--wm-name-only", "latin1"} << QByteArray("\xc3\xa9").repeated(200)
        << QByteArray("\xc3\xa9").repeated(127);
}

void TestClosingPass::readsTitles()
{
    QFETCH(QStringList, options);
    QFETCH(QByteArray, title);
    QFETCH(QByteArray, expected);

    ClosingClient* const started =
        start(options + QStringList{"--title", QString::fromUtf8(title)});
    QVERIFY(started);
    ClosingClient& client = *started;
    const WindowHandle window = client.windows().first();
    const auto stack = stackOf(*m_windows);
    const auto it = std::find_if(stack.begin(), stack.end(),
                                 [window](const auto& w) { return w.handle == window; });
    QVERIFY(it != stack.end());
    QCOMPARE(QByteArray::fromStdString(it->title), expected);
}

void TestClosingPass::asksMatchingWindowsUpperFirst_data()
{
    QTest::addColumn<bool>("raiseFirst");
    QTest::newRow("first started raised") << true;
    QTest::newRow("second started raised") << false;
}

void TestClosingPass::asksMatchingWindowsUpperFirst()
{
    QFETCH(bool, raiseFirst);
    ClosingClient* const firstClient = start({"--title", titled("Untitled - Notepad")});
    QVERIFY(firstClient);
    ClosingClient& first = *firstClient;
    ClosingClient* const secondClient = start({"--title", titled("NOTEPAD.TXT - Editor")});
    QVERIFY(secondClient);
    ClosingClient& second = *secondClient;
    ClosingClient& upper = raiseFirst ? first : second;
    ClosingClient& lower = raiseFirst ? second : first;
    upper.raise();
    QTRY_VERIFY(depth(upper.windows().first()) >= 0 &&
                depth(upper.windows().first()) < depth(lower.windows().first()));

    const WindowHandle upperWindow = upper.windows().first();
    const WindowHandle lowerWindow = lower.windows().first();
    QCOMPARE(FindWindowByTitlePart(stackOf(*m_windows), "notepad"), upperWindow);
    QCOMPARE(closingPass(*m_windows, names({"notepad"})), handles({upperWindow, lowerWindow}));
    QTRY_VERIFY(upper.hasExited() && lower.hasExited());
    QCOMPARE(upper.deletes(), QList<WindowHandle>{upperWindow});
    QCOMPARE(lower.deletes(), QList<WindowHandle>{lowerWindow});
}

void TestClosingPass::leavesOtherWindowsAlone()
{
    ClosingClient* const otherClient = start({"--title", titled("Calculator")});
    QVERIFY(otherClient);
    ClosingClient& other = *otherClient;
    ClosingClient* const chatClient = start({"--title", titled("Chat - Room 1")});
    QVERIFY(chatClient);
    ClosingClient& chat = *chatClient;
    const WindowHandle chatWindow = chat.windows().first();

    QCOMPARE(closingPass(*m_windows, names({"chat"})), handles({chatWindow}));
    QTRY_VERIFY(chat.hasExited());
    QVERIFY(!other.hasExited());
    QVERIFY(other.deletes().isEmpty());
    QVERIFY(depth(other.windows().first()) >= 0);
}

void TestClosingPass::asksRefusingWindowOncePerPass()
{
    ClosingClient* const stubbornClient =
        start({"--title", titled("Stubborn chat"), "--mode", "refuse"});
    QVERIFY(stubbornClient);
    ClosingClient& stubborn = *stubbornClient;
    const WindowHandle window = stubborn.windows().first();

    // Two entries that both match: still one request in the pass.
    QCOMPARE(closingPass(*m_windows, names({"chat", "STUBBORN"})), handles({window}));
    QTRY_COMPARE(stubborn.deletes(), QList<WindowHandle>{window});
    QCOMPARE(closingPass(*m_windows, names({"chat", "STUBBORN"})), handles({window}));
    QTRY_COMPARE(stubborn.deletes(), (QList<WindowHandle>{window, window}));
    QVERIFY(!stubborn.hasExited());
}

void TestClosingPass::passesOverEntriesMatchingNothing_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::newRow("no entries") << QStringList();
    QTest::newRow("entry found nowhere") << QStringList{"no such program anywhere"};
    QTest::newRow("empty entry") << QStringList{QString()};
}

void TestClosingPass::passesOverEntriesMatchingNothing()
{
    QFETCH(QStringList, entries);
    ClosingClient* const bystanderClient = start({"--title", titled("Bystander")});
    QVERIFY(bystanderClient);
    ClosingClient& bystander = *bystanderClient;
    std::vector<std::string> list;
    for (const QString& entry : entries)
        list.push_back(entry.toStdString());

    QCOMPARE(closingPass(*m_windows, list), handles({}));
    QVERIFY(!bystander.hasExited());
    QVERIFY(bystander.deletes().isEmpty());
}

void TestClosingPass::asksHiddenWindows()
{
    ClosingClient* const hiddenClient = start({"--title", titled("Hidden chat"), "--unmapped"});
    QVERIFY(hiddenClient);
    ClosingClient& hidden = *hiddenClient;
    const WindowHandle window = hidden.windows().first();

    QCOMPARE(FindWindowByTitlePart(stackOf(*m_windows), "hidden chat"), window);
    QCOMPARE(closingPass(*m_windows, names({"hidden chat"})), handles({window}));
    QTRY_VERIFY(hidden.hasExited());
    QCOMPARE(hidden.deletes(), QList<WindowHandle>{window});
}

// A client that does not take WM_DELETE_WINDOW: under a window manager the
// request ends it as the close box would (openbox kills it); with nobody to
// decide, it is left alone.
void TestClosingPass::windowWithoutDeleteProtocol()
{
    ClosingClient* const rudeClient = start({"--title", titled("Rude chat"), "--mode", "nodelete"});
    QVERIFY(rudeClient);
    ClosingClient& rude = *rudeClient;
    const WindowHandle window = rude.windows().first();

    QCOMPARE(closingPass(*m_windows, names({"rude chat"})), handles({window}));
    if (m_managed) {
        QTRY_VERIFY(rude.hasExited());
        QTRY_COMPARE(depth(window), -1);
    } else {
        QVERIFY(!rude.hasExited());
        QVERIFY(depth(window) >= 0);
    }
    QVERIFY(rude.deletes().isEmpty());
}

void TestClosingPass::passesOverVanishedWindows()
{
    // Windows that go away between the stack and the request.
    ClosingClient* const hiddenClient = start({"--title", titled("Hidden chat"), "--unmapped"});
    QVERIFY(hiddenClient);
    ClosingClient& hidden = *hiddenClient;
    ClosingClient* const shownClient = start({"--title", titled("Shown chat")});
    QVERIFY(shownClient);
    ClosingClient& shown = *shownClient;
    const WindowHandle hiddenWindow = hidden.windows().first();
    const WindowHandle shownWindow = shown.windows().first();
    QVERIFY(FindWindowByTitlePart(stackOf(*m_windows), "hidden chat") == hiddenWindow);
    hidden.kill();
    shown.kill();
    platform::x11::X11TopLevelWindows observer;
    QTRY_VERIFY(FindWindowByTitlePart(stackOf(observer), "chat [") == 0);
    valueOrFail([&] { m_windows->requestClose(hiddenWindow); });
    valueOrFail([&] { m_windows->requestClose(shownWindow); });

    ClosingClient* const manyClient =
        start({"--title", titled("Vanishing chat"), "--count", "200"});
    QVERIFY(manyClient);
    ClosingClient& many = *manyClient;
    const QList<WindowHandle> gone = many.windows();

    // The stack is read while the server destroys the windows one by one.
    many.kill();
    QTRY_VERIFY(FindWindowByTitlePart(stackOf(*m_windows), "vanishing chat") == 0);
    // Asking windows that no longer exist is not an error, with or without
    // a manager, and leaves the connection usable.
    for (WindowHandle window : gone)
        valueOrFail([&] { m_windows->requestClose(window); });
    QCOMPARE(closingPass(*m_windows, names({"vanishing chat"})), handles({}));

    ClosingClient* const afterClient = start({"--title", titled("Chat after")});
    QVERIFY(afterClient);
    ClosingClient& after = *afterClient;
    QCOMPARE(closingPass(*m_windows, names({"chat after"})), handles({after.windows().first()}));
    QTRY_VERIFY(after.hasExited());
}

QTEST_GUILESS_MAIN(TestClosingPass)
#include "TestClosingPass.moc"
