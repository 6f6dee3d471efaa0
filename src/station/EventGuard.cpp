#include "station/EventGuard.h"

#include "platform/AppShell.h"
#include "platform/MessageBoxes.h"
#include "platform/Platform.h"

#include <cstdio>

QString errorBoxText(const QString& message)
{
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

void showUncaughtError(const QString& message)
{
    const platform::Services& s = platform::services();
    if (!s.messages) {
        std::fprintf(stderr, "lurn: %s\n", qPrintable(errorBoxText(message)));
        return;
    }
    const QString caption = s.app ? s.app->title() : QString();
    try {
        s.messages->showError(caption, errorBoxText(message));
    } catch (...) {
        // Nothing is left to report to; never let it reach the event loop.
        std::fprintf(stderr, "lurn: %s\n", qPrintable(errorBoxText(message)));
    }
}
