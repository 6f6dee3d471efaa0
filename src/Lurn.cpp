// Lurn: ends the listed programs when a customer's time is up.
#include "Artwork.h"
#include "EventGuard.h"
#include "ProgramWindows.h"
#include "Ufer.h"
#include "platform/AppShell.h"
#include "platform/Platform.h"
#include "platform/SessionEnd.h"
#include "platform/WindowPlacement.h"
#include "uDemanaClau.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <exception>

namespace {

bool g_running = false;

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
}

} // namespace

int main(int argc, char* argv[])
{
    std::string why;
    if (!platform::prepareToStart(why)) {
        std::fprintf(stderr, "lurn: %s\n", why.c_str());
        return 1;
    }

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

    createWindows();
    // exit(), not quit(): quit() asks every window to close, and the task-bar
    // owner refuses.
    QObject::connect(fmFer, &TfmFer::closed, &app, [] { QApplication::exit(0); });

    platform::SessionEnd sessionEnd([] { return fmDemanaClau->agreesToSessionEnd(); });
    QObject::connect(&sessionEnd, &platform::SessionEnd::ending, fmFer, &TfmFer::saveSettingsNow);
    g_running = true;
    std::atexit(saveOnAbruptExit);

    platform::centreOnScreen(fmFer);
    fmFer->show();
    const int code = QApplication::exec();
    g_running = false;

    destroyWindows();
    return code;
}
