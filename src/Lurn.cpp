// Lurn: ends the listed programs when a customer's time is up.
#include "Artwork.h"
#include "CommandLine.h"
#include "EventGuard.h"
#include "ProgramWindows.h"
#include "Ufer.h"
#include "console/ConsoleProgram.h"
#include "platform/AppShell.h"
#include "platform/FontWarmUp.h"
#include "platform/MessageBoxes.h"
#include "platform/Platform.h"
#include "platform/SessionEnd.h"
#include "platform/SingleInstance.h"
#include "platform/WindowPlacement.h"
#include "platform/WindowSourceChoice.h"
#include "platform/WindowSources.h"
#include "platform/SettingsStore.h"
#include "records/RecordsSettings.h"
#include "remote/StationControl.h"
#include "remote/StationLink.h"
#include "report/ProgramRecords.h"
#include "uDemanaClau.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLineEdit>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <exception>

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

// One Lurn per desktop. False when another runs on this one: it has been
// asked to come to the front, and this start ends there.
bool claimDesktop(platform::SingleInstance& instance)
{
    QString why;
    switch (instance.claim(why)) {
    case platform::SingleInstance::Claim::First:
        return true;
    case platform::SingleInstance::Claim::Second:
        if (instance.askFirstToFront(900, why))
            std::fprintf(stderr, "lurn: Lurn already runs on this desktop; it was brought to "
                                 "the front\n");
        else
            std::fprintf(stderr, "lurn: Lurn already runs on this desktop (%s)\n", qPrintable(why));
        return false;
    case platform::SingleInstance::Claim::Unknown:
        std::fprintf(stderr, "lurn: %s: another Lurn on this desktop would not be noticed\n",
                     qPrintable(why));
        return true;
    }
    return true;
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
    RecordsSettings settings;
    try {
        platform::SettingsStore store(QStringLiteral("Lurn"));
        settings = loadRecordsSettings(store);
    } catch (const platform::SettingsError&) {
        return {};
    }
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
    counter.control = std::make_unique<StationControl>(window.countdown(), *counter.link,
                                                       settings.station, std::move(hooks));
    return counter;
}

int diagnose(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
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
    const CommandLine line = parseCommandLine(argc, argv);
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
    if (!claimDesktop(instance))
        return 0;
    // Beside the connection to the display: see FontWarmUp.
    platform::FontWarmUp fonts;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lurn"));
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
    // The session records: made at the first turn of the event loop, once the
    // main window is on its way to the screen (the recorder takes up a
    // resumed countdown's record then) and before any input can start a
    // countdown; ended (the rest written) before the windows go.
    std::unique_ptr<ProgramRecords> records;
    CounterLink counter;
    QTimer::singleShot(0, fmFer, [&records, &counter] {
        records = std::make_unique<ProgramRecords>(*fmFer);
        counter = startCounterLink(*fmFer);
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
    if (!instance.listen(listenWhy))
        std::fprintf(stderr, "lurn: %s\n", qPrintable(listenWhy));
    QObject::connect(&instance, &platform::SingleInstance::frontWanted, fmFer,
                     [] { platform::services().app->bringToFront(); });

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
