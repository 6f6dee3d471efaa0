#include "console/ConsoleProgram.h"

#include "Artwork.h"
#include "console/ConsoleWindow.h"
#include "platform/Platform.h"
#include "platform/SettingsStore.h"
#include "records/RecordsSettings.h"

#include <QApplication>

#include <cstdio>
#include <exception>
#include <string>

int runConsoleAlone(int argc, char* argv[])
{
    std::string why;
    if (!platform::prepareToStart(argc, argv, why)) {
        std::fprintf(stderr, "lurn: %s\n", why.c_str());
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lurn"));
    QApplication::setWindowIcon(artwork::applicationIcon());
    RecordsSettings settings;
    try {
        platform::SettingsStore store(QStringLiteral("Lurn"));
        settings = loadRecordsSettings(store);
    } catch (const std::exception& e) {
        // The window says no server is set; the reason goes to the log.
        std::fprintf(stderr, "lurn: %s\n", e.what());
    }
    ConsoleWindow console(settings.server);
    console.show();
    return QApplication::exec();
}
