// Lurn: ends the listed programs when a customer's time is up.
#include "console/ConsoleProgram.h"
#include "language/Language.h"
#include "platform/AppShell.h"
#include "platform/Backend.h"
#include "platform/FontWarmUp.h"
#include "platform/MessageBoxes.h"
#include "platform/Platform.h"
#include "platform/SessionEnd.h"
#include "platform/SettingsStore.h"
#include "platform/SingleInstance.h"
#include "platform/Supervision.h"
#include "platform/WindowPlacement.h"
#include "platform/WindowSourceChoice.h"
#include "platform/WindowSources.h"
#include "records/RecordsSettings.h"
#include "remote/StationControl.h"
#include "remote/StationLink.h"
#include "report/ProgramRecords.h"
#include "station/AfterFirstFrame.h"
#include "station/Artwork.h"
#include "station/CommandLine.h"
#include "station/EventGuard.h"
#include "station/ProgramWindows.h"
#include "station/Ufer.h"
#include "station/uDemanaClau.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QLocale>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <unistd.h>

namespace {

bool g_running = false;

// The exit status when there is no display to show the windows on: the
// session is gone, and the systemd unit does not start the program again
// (RestartPreventExitStatus in data/lurn.service.in). 0 is the operator's
// close, and the signals that end the program give 128 + their number.
constexpr int kNoDisplay = 3;

// Qt ends the process with exit() when the connection to the X server breaks;
// the settings are saved on the way out all the same.
void saveOnAbruptExit()
{
    if (!g_running || !fmFer)
        return;
    g_running = false;
    try {
        fmFer->write_Registry();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "lurn: %s\n", qPrintable(errorBoxText(QString::fromUtf8(e.what()))));
    }
    fmFer->waitUntilCountdownKept(1000);
}

constexpr int kRunsHere = -1;

// A start from a menu or a terminal where the user's systemd manager runs:
// only the unit's Lurn is started again when killed, so the unit is started
// instead of this copy. This one runs after all only when the unit's Lurn
// does not come (no unit installed, no display in the manager's environment).
int startTheUnitInstead(platform::SingleInstance& instance)
{
    instance.release();
    QString why;
    if (platform::startTheUnit(10000, why)) {
        const QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired()) {
            switch (instance.claim(why)) {
            case platform::SingleInstance::Claim::Second:
                instance.askFirstToFront(900, why);
                std::fprintf(stderr, "lurn: started lurn.service, which runs Lurn\n");
                return 0;
            case platform::SingleInstance::Claim::First:
                instance.release();
                break;
            case platform::SingleInstance::Claim::Unknown:
                return kRunsHere;
            }
            ::usleep(50'000);
        }
        why = QStringLiteral("lurn.service started but no Lurn came up");
    }
    std::fprintf(stderr, "lurn: %s; Lurn runs without the unit\n", qPrintable(why));
    if (instance.claim(why) == platform::SingleInstance::Claim::Second) {
        instance.askFirstToFront(900, why);
        return 0;
    }
    return kRunsHere;
}

// One Lurn per desktop, and the unit's wins. kRunsHere when this start is the
// one; otherwise the exit status to end with. A start that finds another Lurn
// asks it to come to the front and ends with 0, except the unit's: that one
// asks a Lurn started some other way to hand over and takes its place, and
// never ends with 0 (a chosen end for systemd) while it is not running.
int claimDesktop(platform::SingleInstance& instance, bool supervised)
{
    QString why;
    const QDeadlineTimer deadline(15000);
    for (;;) {
        switch (instance.claim(why)) {
        case platform::SingleInstance::Claim::First:
            if (!supervised && platform::userManagerRuns())
                return startTheUnitInstead(instance);
            return kRunsHere;
        case platform::SingleInstance::Claim::Unknown:
            std::fprintf(stderr, "lurn: %s: another Lurn on this desktop would not be noticed\n",
                         qPrintable(why));
            return kRunsHere;
        case platform::SingleInstance::Claim::Second:
            break;
        }
        if (!supervised) {
            if (instance.askFirstToFront(900, why))
                std::fprintf(stderr, "lurn: Lurn already runs on this desktop; it was brought to "
                                     "the front\n");
            else
                std::fprintf(stderr, "lurn: Lurn already runs on this desktop (%s)\n",
                             qPrintable(why));
            return 0;
        }
        switch (instance.askFirstToHandOver(900, why)) {
        case platform::SingleInstance::HandOver::Given:
            if (instance.waitForLock(10000))
                return kRunsHere;
            break;
        case platform::SingleInstance::HandOver::Kept:
            std::fprintf(stderr, "lurn: the unit's Lurn already runs on this desktop\n");
            return 0;
        case platform::SingleInstance::HandOver::NoAnswer:
            break;
        }
        // Still starting, or on its way out, or about to start the unit.
        if (deadline.hasExpired()) {
            std::fprintf(stderr,
                         "lurn: another Lurn holds this desktop and does not hand it "
                         "over (%s)\n",
                         qPrintable(why));
            return 1;
        }
        ::usleep(100'000);
    }
}

// Ends the program with the running countdown kept for the next start, as a
// signal or the unit's taking over want it: the settings saved, the session's
// record written still open, and the process ended right here, without
// leaving the event loop. A lock that is up takes the end of its loop for an
// opened lock and would keep the countdown unlocked, giving the next start
// free time. The one-per-desktop lock goes with the process.
[[noreturn]] void endKeepingCountdown(std::unique_ptr<ProgramRecords>& records, int status)
{
    g_running = false;
    fmFer->saveSettingsNow();
    records.reset();
    fmFer->waitUntilCountdownKept(2000);
    std::fflush(stderr);
    std::_Exit(status);
}

// The counter's link, on a station whose Servidor is set: the station's row
// and the counter's orders, which drive the countdown as its buttons do.
struct CounterLink
{
    std::unique_ptr<StationLink> link;
    std::unique_ptr<StationControl> control;
};

CounterLink startCounterLink(TfmFer& window)
{
    const RecordsSettings settings = storedRecordsSettings();
    if (settings.server.isEmpty())
        return {};
    CounterLink counter;
    counter.link = std::make_unique<StationLink>(settings.server, settings.station,
                                                 StationLink::defaultLedgerPath());
    QObject::connect(counter.link.get(), &StationLink::statusChanged, [](const LinkStatus& s) {
        if (!s.connected && !s.problem.isEmpty())
            std::fprintf(stderr, "lurn: counter link: %s\n", qPrintable(s.problem));
    });
    StationControl::WindowHooks hooks;
    hooks.rateFields = [&window] {
        const auto number = [](const QLineEdit* field) -> std::optional<int> {
            bool ok = false;
            const int value = field->text().toInt(&ok);
            return ok ? std::optional<int>(value) : std::nullopt;
        };
        return std::pair{number(window.edTarifa1), number(window.edTarifa2)};
    };
    hooks.showMessage = [&window](const QString& text) {
        guarded([&] { window.showCounterMessage(text); });
    };
    counter.control =
        std::make_unique<StationControl>(window.countdown(), *counter.link, settings.station,
                                         std::move(hooks), &window.keptOrders());
    return counter;
}

int diagnose(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    useLanguage(storedLanguage());
    const platform::SessionFacts facts = platform::probeSession();
    const platform::WindowSourceChoice choice =
        platform::chooseWindowSource(facts, platform::installedReadmePath());
    std::string why;
    const bool x11 = platform::prepareToStart(argc, argv, why);
    std::printf("lurn %s\n%sx11 display: %s\n", LURN_VERSION,
                platform::describeSession(facts, choice).c_str(),
                x11 ? qgetenv("DISPLAY").constData() : why.c_str());
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    CommandLine line = parseCommandLine(argc, argv);
    // What the command line itself prints is said in the operator's language.
    std::optional<QCoreApplication> textOnly;
    if (!line.error.empty() || line.mode == CommandLine::Mode::Help) {
        textOnly.emplace(argc, argv);
        useLanguage(storedLanguage());
        line = parseCommandLine(argc, argv);
    }
    if (!line.error.empty()) {
        std::fprintf(stderr, "lurn: %s\n%s", line.error.c_str(), commandLineHelp().c_str());
        return 2;
    }
    switch (line.mode) {
    case CommandLine::Mode::Help:
        std::printf("%s", commandLineHelp().c_str());
        return 0;
    case CommandLine::Mode::Version:
        std::printf("lurn %s\n", LURN_VERSION);
        return 0;
    case CommandLine::Mode::Diagnose:
        return diagnose(argc, argv);
    case CommandLine::Mode::Report:
        return runReportAlone(argc, argv);
    case CommandLine::Mode::Console:
        return runConsoleAlone(argc, argv);
    case CommandLine::Mode::Run:
        break;
    }

    std::string why;
    if (!platform::prepareToStart(argc, argv, why)) {
        std::fprintf(stderr, "lurn: %s\n", why.c_str());
        return kNoDisplay;
    }
    // Before anything else is made: a second start creates no window and
    // writes no settings.
    platform::SingleInstance instance(platform::SingleInstance::defaultRuntimeDir(),
                                      qEnvironmentVariable("DISPLAY"));
    const bool supervised = platform::startedByTheUnit();
    if (supervised) {
        if (const int wait =
                platform::restartBackOffMs(platform::SingleInstance::defaultRuntimeDir());
            wait > 0) {
            std::fprintf(stderr, "lurn: started again and again in moments; waits %d s\n",
                         wait / 1000);
            ::usleep(useconds_t(wait) * 1000);
        }
    }
    if (const int status = claimDesktop(instance, supervised); status != kRunsHere)
        return status;
    // Beside the connection to the display: see FontWarmUp.
    platform::FontWarmUp fonts;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lurn"));
    // Before the first window: one translation of Lurn's, compiled in, and
    // one of Qt's own.
    useLanguage(storedLanguage());
    QApplication::setWindowIcon(artwork::applicationIcon());
    // The program ends when the main window closes, whatever else is open.
    QApplication::setQuitOnLastWindowClosed(false);

    std::unique_ptr<platform::Backend> backend;
    try {
        backend = platform::installBackend();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "lurn: %s\n", e.what());
        return 1;
    }
    const platform::WindowSourceChoice& source = backend->windowSourceChoice();
    std::fprintf(stderr, "lurn: windows: %s (%s)\n", platform::windowSourceName(source.kind),
                 source.why.c_str());

    fonts.wait();
    createWindows();
    // The session records and the counter's link: made once the first window
    // is on the screen (the recorder takes up a resumed countdown's record
    // then), and before any input can start a countdown; ended (the rest
    // written) before the windows go. Opening the records' database and the
    // link's connection is no part of the first frame.
    std::unique_ptr<ProgramRecords> records;
    CounterLink counter;
    auto* notForTheFirstFrame = new AfterFirstFrame(
        [&records, &counter] {
            records = std::make_unique<ProgramRecords>(*fmFer);
            counter = startCounterLink(*fmFer);
            if (counter.link) {
                records->showRoomLink(counter.link->status());
                QObject::connect(counter.link.get(), &StationLink::statusChanged, records.get(),
                                 &ProgramRecords::showRoomLink);
            }
        },
        fmFer);
    // A countdown taken up below gets its lock and a tick at the event loop's
    // first turn, before the first frame (its end may have passed while the
    // program was away): the records follow it from before then.
    QTimer::singleShot(0, notForTheFirstFrame, [notForTheFirstFrame] {
        if (fmFer->countdown().isRunning() || fmFer->countdown().isLocked())
            notForTheFirstFrame->runNow();
    });
    // exit(), not quit(): quit() asks every window to close, and the task-bar
    // owner refuses.
    QObject::connect(fmFer, &TfmFer::closed, &app, [] { QApplication::exit(0); });

    platform::SessionEnd sessionEnd([] { return fmDemanaClau->agreesToSessionEnd(); });
    QObject::connect(&sessionEnd, &platform::SessionEnd::ending, fmFer, &TfmFer::saveSettingsNow);
    g_running = true;
    std::atexit(saveOnAbruptExit);

    // A countdown that was running when the program last ended goes on; if
    // its lock was up, the lock comes up again instead of this window.
    const bool lockUp = fmFer->resumeCountdown();
    QString listenWhy;
    if (!instance.listen(supervised, listenWhy))
        std::fprintf(stderr, "lurn: %s\n", qPrintable(listenWhy));
    QObject::connect(&instance, &platform::SingleInstance::frontWanted, fmFer,
                     [] { platform::services().app->bringToFront(); });
    // The unit's Lurn takes over: as when the session ends, the settings and
    // the running countdown are kept (taken up by the unit's Lurn, locked if
    // it was) and the session's record stays open.
    QObject::connect(&instance, &platform::SingleInstance::handOverWanted, fmFer, [&records] {
        std::fprintf(stderr, "lurn: the unit's Lurn takes this desktop over\n");
        endKeepingCountdown(records, 0);
    });
    QObject::connect(&sessionEnd, &platform::SessionEnd::endingBySignal, fmFer,
                     [&records](int status) { endKeepingCountdown(records, status); });

    platform::centreOnScreen(fmFer);
    if (!lockUp)
        fmFer->show();
    if (!source.operatorNotice.empty()) {
        QTimer::singleShot(0, fmFer, [text = QString::fromStdString(source.operatorNotice)] {
            platform::services().messages->showNotice(QStringLiteral("Lurn"), text);
        });
    }
    const int code = QApplication::exec();
    g_running = false;

    counter.control.reset();
    counter.link.reset();
    records.reset();
    destroyWindows();
    return code;
}
