// Other programs' windows through the compositor's own window-management
// protocol, on a real compositor started by tests/with-wayland.sh: KWin
// (org_kde_plasma_window_management) or sway (zwlr_foreign_toplevel_manager_v1).
// The same cases run on both.
#include "SourceCall.h"
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

// Each call's deadline in these cases, which are about what the compositor
// says rather than how fast: a compositor sharing a loaded machine's two cores
// with a build may well miss the program's own kCompositorTimeout.
constexpr std::chrono::milliseconds kPatientTimeout{20000};

bool onKWin()
{
    return qgetenv("LURN_TEST_COMPOSITOR") == "kwin";
}

WindowSourceKind expectedKind()
{
    return onKWin() ? WindowSourceKind::KdePlasma : WindowSourceKind::WlrForeignToplevel;
}

// The source as the program opens it, or capped at an older protocol version.
std::unique_ptr<TopLevelWindows> openSource(std::uint32_t newestVersion = 0,
                                            std::chrono::milliseconds timeout = kPatientTimeout)
{
    auto connection = std::make_unique<platform::wayland::WaylandConnection>(timeout);
    if (onKWin())
        return std::make_unique<platform::wayland::KWinTopLevelWindows>(std::move(connection),
                                                                        newestVersion);
    return std::make_unique<platform::wayland::WlrTopLevelWindows>(
        std::move(connection),
        newestVersion ? newestVersion : platform::wayland::WlrTopLevelWindows::kVersion);
}

// The version of KWin's window management this session offers.
std::uint32_t offeredVersion()
{
    const platform::wayland::WaylandConnection connection(kPatientTimeout);
    const platform::wayland::Global* global =
        connection.findGlobal("org_kde_plasma_window_management");
    return global ? global->version : 0;
}

// A failed check, and nothing found, when the compositor does not answer.
std::vector<TopLevelWindow> withTitlePart(TopLevelWindows& source, const std::string& part)
{
    std::vector<TopLevelWindow> found;
    for (TopLevelWindow& w : valueOrFail([&] { return source.stack(); }))
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
        if (found.size() == count || QTest::currentTestFailed())
            break;
        QTest::qWait(50);
    }
    return found;
}

// The closing pass; a failed check, and nobody asked, when the compositor does
// not answer. Not made again: a pass that sent some of its requests would ask
// those windows twice.
std::vector<WindowHandle> closingPass(TopLevelWindows& source,
                                      const std::vector<std::string>& names)
{
    return valueOrFail([&] { return runClosingPass(source, names); });
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
        auto opened = callSourcePatiently([] { return openSource(); });
        QVERIFY2(opened, opened.error());
        m_source = std::move(*opened);
    }

    void cleanupTestCase() { m_source.reset(); }

    void sourceIsChosenFromTheSession()
    {
        // The program's own probe, with its own short deadlines: a loaded
        // machine's compositor may miss one, and the program falls back to
        // X11 that time; the next start sees it.
        platform::WindowSource source;
        QTRY_VERIFY2_WITH_TIMEOUT((source = platform::openWindowSource()).choice.kind ==
                                      expectedKind(),
                                  source.choice.why.c_str(), 30000);
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

        const std::vector<WindowHandle> asked = closingPass(*m_source, {name.toStdString()});
        QCOMPARE(contains(asked, window.handle), closed);
        if (closed) {
            QTRY_COMPARE_WITH_TIMEOUT(client.closeRequests(), 1, 20000);
            QTRY_VERIFY_WITH_TIMEOUT(client.hasExited(), 20000);
            QTRY_VERIFY_WITH_TIMEOUT(withTitlePart(*m_source, marker.toStdString()).empty(), 30000);
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
            const std::vector<WindowHandle> asked = closingPass(*m_source, {"chat", "stubborn"});
            QCOMPARE(asked.size(), std::size_t(1));
            QTRY_COMPARE_WITH_TIMEOUT(client.closeRequests(), pass, 20000);
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
        // At the compositor's pace: sway draws each title in the window's
        // frame, slowly on a loaded machine, and a program that outruns it is
        // dropped itself. A second source, of its own connection, shows how
        // far the compositor has come.
        auto opened = callSourcePatiently([] { return openSource(); });
        QVERIFY2(opened, opened.error());
        TopLevelWindows& pace = **opened;
        const QByteArray padding(200, 'x');
        for (int i = 1; i <= 3000; ++i) {
            const QByteArray title = "flood " + QByteArray::number(i) + " ";
            QVERIFY(client.retitle(0, title + padding));
            if (i % 50 == 0)
                QCOMPARE(waitForListed(pace, title.toStdString()).size(), std::size_t(1));
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
            QTRY_VERIFY_WITH_TIMEOUT(withTitlePart(*m_source, "vanishing chat").empty(), 30000);
        });
        const std::vector<WindowHandle> asked = closingPass(source, {"chat"});
        QCOMPARE(asked.size(), std::size_t(1));
        // The next pass works as ever.
        TestClient next(TestClientKind::Native, "next chat");
        QTRY_VERIFY_WITH_TIMEOUT(next.isReady(), 20000);
        QCOMPARE(waitForListed(*m_source, "next chat").size(), std::size_t(1));
        QCOMPARE(closingPass(*m_source, {"chat"}).size(), std::size_t(1));
        QTRY_VERIFY_WITH_TIMEOUT(next.hasExited(), 20000);
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
        QVERIFY(closingPass(source, {"chat"}).empty());
        QCOMPARE(late->closeRequests(), 0);
        QCOMPARE(closingPass(*m_source, {"chat"}).size(), std::size_t(1));
        QTRY_VERIFY_WITH_TIMEOUT(late->hasExited(), 20000);
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
        QVERIFY(closingPass(*m_source, {"nothing like it"}).empty());
        QCOMPARE(closingPass(*m_source, {"crowd"}).size(), std::size_t(count));
        QTRY_VERIFY_WITH_TIMEOUT(many.hasExited(), 60000);
    }

    // KWin's newer versions (uuids) work too, with fewer windows.
    void otherProtocolVersions_data()
    {
        QTest::addColumn<uint>("version");
        const std::vector<uint> versions = onKWin()
                                               ? std::vector<uint>{18, 17, 16, 13, 12, 11, 4, 3, 1}
                                               : std::vector<uint>{3, 2, 1};
        for (uint v : versions)
            QTest::newRow(qPrintable(QStringLiteral("version %1").arg(v))) << v;
    }

    void otherProtocolVersions()
    {
        QFETCH(uint, version);
        // KWin 6 announces every window as unmapped to a client of version
        // 12 or older (and may crash once they close): not a version to try.
        if (onKWin() && version < 13) {
            const auto offered = callSourcePatiently(offeredVersion);
            QVERIFY2(offered, offered.error());
            if (*offered >= platform::wayland::KWinTopLevelWindows::kStackingObjectVersion)
                QSKIP("this KWin does not serve versions before 13");
        }
        auto opened = callSourcePatiently([&] { return openSource(version); });
        QVERIFY2(opened, opened.error());
        std::unique_ptr<TopLevelWindows> source = std::move(*opened);
        TestClient native(TestClientKind::Native, "old native chat");
        TestClient x11(TestClientKind::X11, "old x11 chat");
        TestClient other(TestClientKind::Native, "old other");
        QTRY_VERIFY_WITH_TIMEOUT(native.isReady() && x11.isReady() && other.isReady(), 20000);
        QCOMPARE(waitForListed(*source, "old ", 3).size(), std::size_t(3));
        QCOMPARE(closingPass(*source, {"chat"}).size(), std::size_t(2));
        QTRY_VERIFY_WITH_TIMEOUT(native.hasExited() && x11.hasExited(), 20000);
        QCOMPARE(waitForListed(*source, "old ", 1).size(), std::size_t(1));
        QCOMPARE(other.closeRequests(), 0);
    }

    void hungCompositorCostsAtMostTheTimeout()
    {
        const pid_t compositor = pid_t(qEnvironmentVariableIntValue("LURN_TEST_COMPOSITOR_PID"));
        QVERIFY(compositor > 0);
        // With the program's own deadline.
        auto opened = callSourcePatiently(
            [] { return openSource(0, platform::wayland::kCompositorTimeout); });
        QVERIFY2(opened, opened.error());
        TopLevelWindows& source = **opened;
        QCOMPARE(::kill(compositor, SIGSTOP), 0);
        QElapsedTimer timer;
        timer.start();
        const auto stopped = callSource([&] { return source.stack(); });
        const qint64 waited = timer.elapsed();
        QCOMPARE(::kill(compositor, SIGCONT), 0);
        QVERIFY(!stopped);
        QVERIFY2(QByteArray(stopped.error()).contains("did not answer"), stopped.error());
        // Bounded by the deadline, with room for a loaded machine.
        QVERIFY2(waited >= platform::wayland::kCompositorTimeout.count() - 100 && waited < 15000,
                 qPrintable(QString::number(waited)));
        // Once it answers again, so does the source.
        QTRY_VERIFY_WITH_TIMEOUT(callSource([&] { return source.stack(); }), 30000);
    }

    // Last: the compositor does not come back.
    void compositorGoneIsAnErrorNotACrash()
    {
        const pid_t compositor = pid_t(qEnvironmentVariableIntValue("LURN_TEST_COMPOSITOR_PID"));
        QCOMPARE(::kill(compositor, SIGKILL), 0);
        QElapsedTimer timer;
        timer.start();
        const auto gone = callSource([&] { return m_source->stack(); });
        QVERIFY2(!gone, "a pass with the compositor gone must fail");
        // Known at once, not after the source's deadline (with room for a
        // loaded machine).
        QVERIFY(timer.elapsed() < kPatientTimeout.count() / 2);
        // Said once, the same way every time after, and at once.
        timer.restart();
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, m_source->stack());
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, m_source->requestCloseAll({1}));
        QVERIFY(timer.elapsed() < kPatientTimeout.count() / 2);
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
