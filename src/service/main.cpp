// lurnd: the station's service. It is to own, for the PC's seat, what decides
// what a customer pays (the countdown, the session records, the counter's
// link), out of the customer's reach. For now it owns the countdown, on the
// system bus as org.lurn.Station (see StationBus).

#include "platform/Platform.h"
#include "platform/SystemClock.h"
#include "service/OperatorConfig.h"
#include "service/StationBus.h"
#include "service/StationCountdown.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QObject>
#include <QString>

#include <cstdio>
#include <cstring>

namespace {

QString helpText()
{
    return QCoreApplication::translate(
        "ServiceCommandLine", "Uso: lurnd [--version | --help]\n"
                              "El servicio del puesto: la cuenta atrás, los registros de "
                              "sesiones y el enlace con el mostrador, en manos del sistema.\n"
                              "Sin opciones atiende en el bus del sistema como org.lurn.Station.\n"
                              "  --version   muestra la versión\n"
                              "  --help      muestra esta ayuda\n");
}

void printTo(std::FILE* out, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), out);
}

const QString kServiceName = QStringLiteral("org.lurn.Station");
const QString kObjectPath = QStringLiteral("/org/lurn/Station");

int runService()
{
    platform::SystemClock clock;
    platform::services().clock = &clock;

    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr, "lurnd: cannot reach the system bus: %s\n",
                     qPrintable(bus.lastError().message()));
        return 1;
    }
    StationCountdown countdown(countdownStatePath());
    StationBus station(countdown, operatorConfigPath());
    // The countdown is taken up before the name is owned: whoever sees the
    // name (systemd's Type=dbus, a face) sees the countdown as it was.
    countdown.takeUpKept();
    if (!bus.registerObject(kObjectPath, &station,
                            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals)) {
        std::fprintf(stderr, "lurnd: cannot register %s: %s\n", qPrintable(kObjectPath),
                     qPrintable(bus.lastError().message()));
        return 1;
    }
    if (!bus.registerService(kServiceName)) {
        std::fprintf(stderr, "lurnd: cannot own %s: %s\n", qPrintable(kServiceName),
                     qPrintable(bus.lastError().message()));
        return 1;
    }
    const int status = QCoreApplication::exec();
    platform::services().clock = nullptr;
    return status;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--version") == 0) {
            std::printf("lurnd %s\n", LURN_VERSION);
            return 0;
        }
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            printTo(stdout, helpText());
            return 0;
        }
        printTo(stderr,
                QStringLiteral("lurnd: %1\n%2")
                    .arg(QCoreApplication::translate("ServiceCommandLine", "opción desconocida %1")
                             .arg(QString::fromLocal8Bit(arg)),
                         helpText()));
        return 2;
    }
    return runService();
}
