// Saves the two big settings sets in turn until it is killed, printing "ready"
// once the first save is complete. XDG_CONFIG_HOME says where.
#include "BigSettings.h"
#include "platform/SettingsStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <exception>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const StoredSettings sets[] = {bigSettings(0), bigSettings(1)};
    QElapsedTimer running;
    running.start();
    try {
        // Bounded, so that a test that dies before killing it does not leave
        // it writing for ever.
        for (int round = 0; running.elapsed() < 60'000; ++round) {
            platform::SettingsStore store(QStringLiteral("Lurn"));
            saveSettings(store, sets[round % 2]);
            store.close();
            if (round == 0) {
                std::puts("ready");
                std::fflush(stdout);
            }
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
