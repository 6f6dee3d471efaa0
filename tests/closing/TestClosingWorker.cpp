// The closing passes on their worker thread, against an X server this test
// starts itself so that it can take the server away mid-run.

#include "ClosingClient.h"
#include "platform/x11/X11TopLevelWindows.h"
#include "station/ClosingWorker.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryFile>
#include <QTest>

#include <memory>

namespace {

// Xvfb on a display it picks itself.
class PrivateXServer final
{
public:
    PrivateXServer()
    {
        m_displayFile.open();
        m_process.setProgram(QStringLiteral("/bin/sh"));
        m_process.setArguments({QStringLiteral("-c"),
                                QStringLiteral("exec Xvfb -displayfd 3 -nolisten tcp -noreset "
                                               "3>\"$0\" >/dev/null 2>&1"),
                                m_displayFile.fileName()});
        m_process.start();
    }
    ~PrivateXServer() { stop(); }
    PrivateXServer(const PrivateXServer&) = delete;
    PrivateXServer& operator=(const PrivateXServer&) = delete;

    // ":N" once the server accepts connections, empty until then.
    QString display()
    {
        QFile file(m_displayFile.fileName());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        const QByteArray number = file.readAll().trimmed();
        return number.isEmpty() ? QString() : QStringLiteral(":") + QString::fromLatin1(number);
    }
    void stop()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

private:
    QTemporaryFile m_displayFile;
    QProcess m_process;
};

} // namespace

class TestClosingWorker final : public QObject
{
    Q_OBJECT

private slots:
    void passesRunInOrderOffTheGuiThread()
    {
        PrivateXServer server;
        QTRY_VERIFY_WITH_TIMEOUT(!server.display().isEmpty(), 30000);
        qputenv("DISPLAY", server.display().toUtf8());
        platform::x11::X11TopLevelWindows windows;
        ClosingClient stubborn({"--title", "chat que no se cierra", "--mode", "refuse"});
        ClosingClient polite({"--title", "otro chat"});
        QTRY_VERIFY_WITH_TIMEOUT(stubborn.isReady() && polite.isReady(), 30000);

        ClosingWorker worker(windows);
        QSignalSpy done(&worker, &ClosingWorker::passDone);
        worker.submit({"CHAT"});
        worker.submit({"chat que"});
        QVERIFY(worker.waitUntilIdle(30000));
        // Results come back on the GUI thread, in the order the passes ran.
        QTRY_COMPARE(done.size(), 2);
        const auto first = done.at(0).at(0).value<std::vector<platform::WindowHandle>>();
        const auto second = done.at(1).at(0).value<std::vector<platform::WindowHandle>>();
        QCOMPARE(first.size(), std::size_t(2));
        QCOMPARE(second, std::vector<platform::WindowHandle>{stubborn.windows().first()});
        QTRY_COMPARE(stubborn.deletes().size(), 2);
        QTRY_VERIFY(polite.hasExited());
    }

    void aLostDisplayIsReportedOnceAndNothingHangs()
    {
        auto server = std::make_unique<PrivateXServer>();
        QTRY_VERIFY_WITH_TIMEOUT(!server->display().isEmpty(), 30000);
        qputenv("DISPLAY", server->display().toUtf8());
        platform::x11::X11TopLevelWindows windows;
        ClosingWorker worker(windows);
        QSignalSpy done(&worker, &ClosingWorker::passDone);
        QSignalSpy failed(&worker, &ClosingWorker::failed);

        worker.submit({"chat"});
        QVERIFY(worker.waitUntilIdle(30000));
        QTRY_COMPARE(done.size(), 1);

        server.reset();
        for (int i = 0; i < 4; ++i)
            worker.submit({"chat"});
        QVERIFY(worker.waitUntilIdle(30000));
        QTRY_COMPARE(failed.size(), 1);
        QTest::qWait(50);
        QCOMPARE(failed.size(), 1);
        QVERIFY(!failed.at(0).at(0).toString().isEmpty());
        QCOMPARE(done.size(), 1);
    }

    void passesStillQueuedAtTheEndAreRun()
    {
        PrivateXServer server;
        QTRY_VERIFY_WITH_TIMEOUT(!server.display().isEmpty(), 30000);
        qputenv("DISPLAY", server.display().toUtf8());
        platform::x11::X11TopLevelWindows windows;
        ClosingClient victim({"--title", "último chat", "--mode", "refuse"});
        QTRY_VERIFY_WITH_TIMEOUT(victim.isReady(), 30000);
        {
            ClosingWorker worker(windows);
            worker.submit({"chat"});
            worker.submit({"chat"});
        } // the program ends right after the countdown's end
        QTRY_COMPARE(victim.deletes().size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestClosingWorker)
#include "TestClosingWorker.moc"
