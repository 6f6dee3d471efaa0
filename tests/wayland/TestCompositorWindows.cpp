// Other programs' windows through the compositor's own window-management
// protocol, on a real compositor started by tests/with-wayland.sh: KWin
// (org_kde_plasma_window_management) or sway (zwlr_foreign_toplevel_manager_v1).
// The same cases run on both.
#include "TestClients.h"
#include "platform/WindowSources.h"
#include "platform/wayland/KWinTopLevelWindows.h"
#include "platform/wayland/WaylandConnection.h"
#include "platform/wayland/WaylandWindows.h"
#include "platform/wayland/WlrTopLevelWindows.h"
#include "station/ClosingPass.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QtTest>

#include <csignal>
#include <functional>
#include <memory>
#include <stdexcept>

using platform::TopLevelWindow;
using platform::TopLevelWindows;
using platform::WindowHandle;
using platform::WindowSourceKind;
using TestClientKind = TestClient::Kind;

Q_DECLARE_METATYPE(TestClientKind)

namespace {

constexpr int kMarkerBytes = 4;

bool onKWin()
{
    return qgetenv("LURN_TEST_COMPOSITOR") == "kwin";
}

WindowSourceKind expectedKind()
{
    return onKWin() ? WindowSourceKind::KdePlasma : WindowSourceKind::WlrForeignToplevel;
}

// The source as the program opens it, or capped at an older protocol version.
std::unique_ptr<TopLevelWindows> openSource(std::uint32_t newestVersion = 0)
{
    auto connection = std::make_unique<platform::wayland::WaylandConnection>();
    if (onKWin())
        return std::make_unique<platform::wayland::KWinTopLevelWindows>(
            std::move(connection),
            newestVersion);
    return std::make_unique<platform::wayland::WlrTopLevelWindows>(
        std::move(connection),
        newestVersion ? newestVersion : platform::wayland::WlrTopLevelWindows::kVersion);
}

// The version of KWin's window management this session offers.
std::uint32_t offeredVersion()
{
    platform::wayland::WaylandConnection connection;
    const platform::wayland::Global* global =
        connection.findGlobal("org_kde_plasma_window_management");
    return global ? global->version : 0;
}

std::vector<TopLevelWindow> withTitlePart(TopLevelWindows& source, const std::string& part)
{
    std::vector<TopLevelWindow> found;
    for (TopLevelWindow& w : source.stack())
        if (w.title.find(part) != std::string::npos)
            found.push_back(std::move(w));
    return found;
}

// The windows whose title holds part, once there are count of them.
std::vector<TopLevelWindow> waitForListed(TopLevelWindows& source, const std::string& part,
                                          std::size_t count = 1)
{
    std::vector<TopLevelWindow> found;
    QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        found = withTitlePart(source, part);
        if (found.size() == count)
            break;
        QTest::qWait(50);
    }
    return found;
}

bool contains(const std::vector<WindowHandle>& handles, WindowHandle h)
{
    return std::find(handles.begin(), handles.end(), h) != handles.end();
}

bool isUtf8(const std::string& s)
{
    const QByteArray bytes(s.data(), qsizetype(s.size()));
    return QString::fromUtf8(bytes).toUtf8() == bytes;
}

// A source that lets something happen between the pass's reading of the
// windows and its close requests.
class Interleaved final : public TopLevelWindows
{
public:
    Interleaved(TopLevelWindows& inner, std::function<void()> between)
        : m_inner(inner), m_between(std::move(between))
    {
    }
    std::vector<TopLevelWindow> stack() override
    {
        std::vector<TopLevelWindow> windows = m_inner.stack();
        m_between();
        return windows;
    }
    void requestClose(WindowHandle window) override { m_inner.requestClose(window); }
    void requestCloseAll(const std::vector<WindowHandle>& windows) override
    {
        m_inner.requestCloseAll(windows);
    }

private:
    TopLevelWindows& m_inner;
    std::function<void()> m_between;
};

} // namespace

class TestCompositorWindows final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"), "run under with-wayland.sh");
        m_source = openSource();
    }

    void cleanupTestCase() { m_source.reset(); }

    void sourceIsChosenFromTheSession()
    {
        const platform::WindowSource source = platform::openWindowSource();
        QCOMPARE(source.choice.kind, expectedKind());
        QVERIFY(source.choice.operatorNotice.empty());
        QVERIFY2(source.choice.why.find(onKWin() ? "org_kde_plasma_window_management"
                                                 : "zwlr_foreign_toplevel_manager_v1") !=
                     std::string::npos,
                 source.choice.why.c_str());
        QVERIFY(source.windows);
    }

    void matchingWindowsAreClosed_data()
    {
        QTest::addColumn<TestClientKind>("kind");
        QTest::addColumn<QByteArray>("title");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("closed");
        QTest::addColumn<int>("listedBytes"); // -1: whatever it takes

        // Every title starts with a marker of kMarkerBytes that tells its row's
        // window from the others.
        const auto filler = [](int bytes) { return QByteArray(bytes - kMarkerBytes, 'a'); };

        const auto native = TestClientKind::Native;
        const auto x11 = TestClientKind::X11;
        QTest::newRow("native, matching")
            << native << QByteArray("Team chat") << "chat" << true << -1;
        QTest::newRow("native, other title")
            << native << QByteArray("Notes") << "chat" << false << -1;
        QTest::newRow("XWayland, matching") << x11 << QByteArray("X chat") << "chat" << true << -1;
        QTest::newRow("XWayland, other title")
            << x11 << QByteArray("X notes") << "chat" << false << -1;
        QTest::newRow("letters a-z in any case")
            << native << QByteArray("Team CHAT") << "Chat" << true << -1;
        QTest::newRow("native, UTF-8 title")
            << native << QByteArray("Señal de vídeo — Ñandú") << "vídeo — Ñ" << true << -1;
        QTest::newRow("XWayland, UTF-8 title")
            << x11 << QByteArray("Señal de vídeo — Ñandú") << "vídeo — Ñ" << true << -1;
        // KWin reads the bytes as UTF-8 and repairs them; sway passes them on.
        QTest::newRow("XWayland, title not UTF-8")
            << x11 << QByteArray("caf\xE9 \xFF\xFE chat") << "chat" << true << -1;
        QTest::newRow("name ends at byte 254") << native << filler(250) + "chat"
                                               << "chat" << true << 254;
        QTest::newRow("name ends at byte 255") << native << filler(251) + "chat"
                                               << "chat" << false << 254;
        QTest::newRow("title cut at a character's end") << native << filler(253) + "é chat"
                                                        << "a" << true << 253;
    }

    void matchingWindowsAreClosed()
    {
        QFETCH(TestClientKind, kind);
        QFETCH(QByteArray, title);
        QFETCH(QString, name);
        QFETCH(bool, closed);
        QFETCH(int, listedBytes);

        const QByteArray marker =
            QByteArray::number(++m_row).rightJustified(kMarkerBytes - 1, '#') + " ";
        TestClient client(kind, marker + title);
        QTRY_VERIFY_WITH_TIMEOUT(client.isReady(), 20000);
        const std::vector<TopLevelWindow> listed = waitForListed(*m_source, marker.toStdString());
        QCOMPARE(listed.size(), std::size_t(1));
        const TopLevelWindow& window = listed.front();
        QVERIFY(window.handle != 0);
        QVERIFY(window.title.size() <= TopLevelWindows::kMaxTitleBytes);
        QVERIFY2(isUtf8(window.title), window.title.c_str());
        if (listedBytes >= 0)
            QCOMPARE(int(window.title.size()), listedBytes);

        const std::vector<WindowHandle> asked = runClosingPass(*m_source, {name.toStdString()});
        QCOMPARE(contains(asked, window.handle), closed);
        if (closed) {
            QTRY_COMPARE_WITH_TIMEOUT(client.closeRequests(), 1, 10000);
            QTRY_VERIFY_WITH_TIMEOUT(client.hasExited(), 10000);
            QTRY_VERIFY_WITH_TIMEOUT(withTitlePart(*m_source, marker.toStdString()).empty(), 10000);
        } else {
            QCOMPARE(withTitlePart(*m_source, marker.toStdString()).size(), std::size_t(1));
            QCOMPARE(client.closeRequests(), 0);
        }
    }

    void refusingWindowIsAskedOncePerPass_data()
    {
        QTest::addColumn<TestClientKind>("kind");
        QTest::newRow("native") << TestClientKind::Native;
        QTest::newRow("XWayland") << TestClientKind::X11;
    }

    void refusingWindowIsAskedOncePerPass()
    {
        QFETCH(TestClientKind, kind);
        TestClient client(kind, "stubborn chat", {"--mode", "refuse"});
        QTRY_VERIFY_WITH_TIMEOUT(client.isReady(), 20000);
        QCOMPARE(waitForListed(*m_source, "stubborn chat").size(), std::size_t(1));
        // The closing pass runs twice when the time is up.
        for (int pass = 1; pass <= 2; ++pass) {
            const std::vector<WindowHandle> asked = runClosingPass(*m_source, {"chat", "stubborn"});
            QCOMPARE(asked.size(), std::size_t(1));
            QTRY_COMPARE_WITH_TIMEOUT(client.closeRequests(), pass, 10000);
        }
        QTest::qWait(300); // no further request is on its way
        QCOMPARE(client.closeRequests(), 2);
        QCOMPARE(withTitlePart(*m_source, "stubborn chat").size(), std::size_t(1));
    }

    void titleChangesAreFollowed()
    {
        TestClient client(TestClientKind::Native, "before");
        QTRY_VERIFY_WITH_TIMEOUT(client.isReady(), 20000);
        const std::vector<TopLevelWindow> before = waitForListed(*m_source, "before");
        QCOMPARE(before.size(), std::size_t(1));
        QVERIFY(client.retitle(0, "after the change"));
        const std::vector<TopLevelWindow> after = waitForListed(*m_source, "after the change");
        QCOMPARE(after.size(), std::size_t(1));
        QCOMPARE(after.front().handle, before.front().handle);
        QVERIFY(withTitlePart(*m_source, "before").empty());
    }

    void eventsAreReadBetweenPasses()
    {
        // Between passes only the source's own thread reads what the
        // compositor says, and a compositor drops a client that lets it pile
        // up. After a pass (which the thread stands aside for), far more
        // title changes than the socket holds: the next pass still works and
        // sees the last one.
        TestClient client(TestClientKind::Native, "flood 0");
        QTRY_VERIFY_WITH_TIMEOUT(client.isReady(), 20000);
        QCOMPARE(waitForListed(*m_source, "flood 0").size(), std::size_t(1));
        // A millisecond apart: sway draws each title in the window's frame,
        // and a program that outruns it is dropped itself.
        const QByteArray padding(200, 'x');
        for (int i = 1; i <= 3000; ++i) {
            QVERIFY(client.retitle(0, "flood " + QByteArray::number(i) + " " + padding));
            QTest::qWait(1);
        }
        QCOMPARE(waitForListed(*m_source, "flood 3000 ").size(), std::size_t(1));
    }

    void windowVanishingDuringThePass()
    {
        auto client = std::make_unique<TestClient>(TestClientKind::Native, "vanishing chat");
        QTRY_VERIFY_WITH_TIMEOUT(client->isReady(), 20000);
        QCOMPARE(waitForListed(*m_source, "vanishing chat").size(), std::size_t(1));
        // Gone, and known to be gone, after the pass has read the windows and
        // before it asks them to close.
        Interleaved source(*m_source, [&] {
            client->kill();
            QTRY_VERIFY_WITH_TIMEOUT(withTitlePart(*m_source, "vanishing chat").empty(), 10000);
        });
        const std::vector<WindowHandle> asked = runClosingPass(source, {"chat"});
        QCOMPARE(asked.size(), std::size_t(1));
        // The next pass works as ever.
        TestClient next(TestClientKind::Native, "next chat");
        QTRY_VERIFY_WITH_TIMEOUT(next.isReady(), 20000);
        QCOMPARE(waitForListed(*m_source, "next chat").size(), std::size_t(1));
        QCOMPARE(runClosingPass(*m_source, {"chat"}).size(), std::size_t(1));
        QTRY_VERIFY_WITH_TIMEOUT(next.hasExited(), 10000);
    }

    void windowAppearingDuringThePass()
    {
        std::unique_ptr<TestClient> late;
        Interleaved source(*m_source, [&] {
            late = std::make_unique<TestClient>(TestClientKind::Native, "late chat");
            QTRY_VERIFY_WITH_TIMEOUT(late->isReady(), 20000);
            QCOMPARE(waitForListed(*m_source, "late chat").size(), std::size_t(1));
        });
        // Not in the pass that was under way; in the next one.
        QVERIFY(runClosingPass(source, {"chat"}).empty());
        QCOMPARE(late->closeRequests(), 0);
        QCOMPARE(runClosingPass(*m_source, {"chat"}).size(), std::size_t(1));
        QTRY_VERIFY_WITH_TIMEOUT(late->hasExited(), 10000);
    }

    void order()
    {
        TestClient first(TestClientKind::Native, "ordered first");
        QTRY_VERIFY_WITH_TIMEOUT(first.isReady(), 20000);
        QCOMPARE(waitForListed(*m_source, "ordered ").size(), std::size_t(1));
        TestClient second(TestClientKind::Native, "ordered second");
        QTRY_VERIFY_WITH_TIMEOUT(second.isReady(), 20000);
        const std::vector<TopLevelWindow> listed = waitForListed(*m_source, "ordered ", 2);
        QCOMPARE(listed.size(), std::size_t(2));
        QVERIFY(listed[0].handle != listed[1].handle);
        // KWin gives its stacking order, topmost (the newer window) first;
        // wlroots only the order the windows were opened in.
        QCOMPARE(listed[0].title, onKWin() ? "ordered second" : "ordered first");
    }

    void manyWindows()
    {
        // As many as the test machines' XWayland and Qt clients manage at once.
        constexpr int count = 200;
        TestClient many(TestClientKind::Native, "crowd", {"--count", QString::number(count)});
        QTRY_VERIFY_WITH_TIMEOUT(many.isReady(), 60000);
        QCOMPARE(waitForListed(*m_source, "crowd #", count).size(), std::size_t(count));
        QVERIFY(runClosingPass(*m_source, {"nothing like it"}).empty());
        QCOMPARE(runClosingPass(*m_source, {"crowd"}).size(), std::size_t(count));
        QTRY_VERIFY_WITH_TIMEOUT(many.hasExited(), 60000);
    }

    // KWin's newer versions (uuids) work too, with fewer windows.
    void otherProtocolVersions_data()
    {
        QTest::addColumn<uint>("version");
        const std::vector<uint> versions =
            onKWin() ? std::vector<uint>{18, 17, 16, 13, 12, 11, 4, 3, 1} : std::vector<uint>{3, 2, 1};
        for (uint v : versions)
            QTest::newRow(qPrintable(QStringLiteral("version %1").arg(v))) << v;
    }

    void otherProtocolVersions()
    {
        QFETCH(uint, version);
        // KWin 6 announces every window as unmapped to a client of version
        // 12 or older (and may crash once they close): not a version to try.
        if (onKWin() && version < 13 &&
            offeredVersion() >= platform::wayland::KWinTopLevelWindows::kStackingObjectVersion)
            QSKIP("this KWin does not serve versions before 13");
        std::unique_ptr<TopLevelWindows> source = openSource(version);
        TestClient native(TestClientKind::Native, "old native chat");
        TestClient x11(TestClientKind::X11, "old x11 chat");
        TestClient other(TestClientKind::Native, "old other");
        QTRY_VERIFY_WITH_TIMEOUT(native.isReady() && x11.isReady() && other.isReady(), 20000);
        QCOMPARE(waitForListed(*source, "old ", 3).size(), std::size_t(3));
        QCOMPARE(runClosingPass(*source, {"chat"}).size(), std::size_t(2));
        QTRY_VERIFY_WITH_TIMEOUT(native.hasExited() && x11.hasExited(), 10000);
        QCOMPARE(waitForListed(*source, "old ", 1).size(), std::size_t(1));
        QCOMPARE(other.closeRequests(), 0);
    }

    void hungCompositorCostsAtMostTheTimeout()
    {
        const pid_t compositor = pid_t(qEnvironmentVariableIntValue("LURN_TEST_COMPOSITOR_PID"));
        QVERIFY(compositor > 0);
        QCOMPARE(::kill(compositor, SIGSTOP), 0);
        QElapsedTimer timer;
        timer.start();
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, m_source->stack());
        const qint64 waited = timer.elapsed();
        QCOMPARE(::kill(compositor, SIGCONT), 0);
        QVERIFY2(waited >= platform::wayland::kCompositorTimeout.count() - 100 &&
                     waited < platform::wayland::kCompositorTimeout.count() + 1000,
                 qPrintable(QString::number(waited)));
        // Once it answers again, so does the source.
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                try {
                    m_source->stack();
                    return true;
                } catch (const std::runtime_error&) {
                    return false;
                }
            }(),
            10000);
    }

    // Last: the compositor does not come back.
    void compositorGoneIsAnErrorNotACrash()
    {
        const pid_t compositor = pid_t(qEnvironmentVariableIntValue("LURN_TEST_COMPOSITOR_PID"));
        QCOMPARE(::kill(compositor, SIGKILL), 0);
        QElapsedTimer timer;
        timer.start();
        QString error;
        try {
            m_source->stack();
        } catch (const std::runtime_error& e) {
            error = QString::fromUtf8(e.what());
        }
        QVERIFY2(!error.isEmpty(), "a pass with the compositor gone must fail");
        QVERIFY(timer.elapsed() < platform::wayland::kCompositorTimeout.count() + 1000);
        // Said once, the same way every time after, and at once.
        timer.restart();
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, m_source->stack());
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, m_source->requestCloseAll({1}));
        QVERIFY(timer.elapsed() < 100);
        // And a source cannot be opened any more.
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, openSource());
        platform::SessionFacts facts;
        platform::wayland::probeCompositor(facts);
        QVERIFY(!facts.waylandError.empty());
        QVERIFY(facts.waylandGlobals.empty());
    }

private:
    std::unique_ptr<TopLevelWindows> m_source;
    int m_row = 0;
};

QTEST_GUILESS_MAIN(TestCompositorWindows)
#include "TestCompositorWindows.moc"
