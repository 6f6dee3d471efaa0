#include "console/ConsoleProgram.h"

#include "console/ConsoleWindow.h"
#include "language/Language.h"
#include "platform/Backend.h"
#include "platform/Platform.h"
#include "platform/SettingsStore.h"
#include "records/RecordsSettings.h"
#include "station/Artwork.h"

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
    useLanguage(storedLanguage());
    QApplication::setWindowIcon(artwork::applicationIcon());
    // Lurn.conf unreadable: the window says no server is set.
    ConsoleWindow console(storedRecordsSettings().server);
    console.show();
    return QApplication::exec();
}
