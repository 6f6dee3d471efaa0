// lurnd: the station's service. It is to own, for the PC's seat, what decides
// what a customer pays (the countdown, the session records, the counter's
// link), out of the customer's reach. For now it only answers --version and
// --help: the target exists so that the libraries both hosts share are linked
// into a program with no desktop beside it.

#include <QCoreApplication>
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
                              "  --version   muestra la versión\n"
                              "  --help      muestra esta ayuda\n");
}

void printTo(std::FILE* out, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), out);
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
    // Nothing to run yet: saying so beats an exit that looks like success.
    printTo(stderr, QStringLiteral("lurnd: %1\n")
                        .arg(QCoreApplication::translate("ServiceCommandLine",
                                                         "el servicio todavía no hace nada")));
    return 1;
}
