#include "station/CommandLine.h"

#include <QCoreApplication>

#include <cstring>

CommandLine parseCommandLine(int argc, char** argv)
{
    CommandLine line;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--diagnose") == 0) {
            line.mode = CommandLine::Mode::Diagnose;
        } else if (std::strcmp(arg, "--report") == 0) {
            line.mode = CommandLine::Mode::Report;
        } else if (std::strcmp(arg, "--console") == 0) {
            line.mode = CommandLine::Mode::Console;
        } else if (std::strcmp(arg, "--version") == 0) {
            line.mode = CommandLine::Mode::Version;
        } else if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            line.mode = CommandLine::Mode::Help;
        } else if (std::strncmp(arg, "--", 2) == 0 && line.error.empty()) {
            // Qt's options start with a single dash; a double-dash one that is
            // not ours is a mistake worth saying.
            line.error = QCoreApplication::translate("CommandLine", "opción desconocida %1")
                             .arg(QString::fromLocal8Bit(arg))
                             .toStdString();
        }
    }
    return line;
}

std::string commandLineHelp()
{
    return QCoreApplication::translate(
               "CommandLine",
               "Uso: lurn [--diagnose | --report | --console | --version | --help]\n"
               "  --diagnose  muestra cómo llega Lurn a las ventanas de los otros programas en "
               "este escritorio\n"
               "  --report    abre solo el informe de los registros de sesiones (sin cuenta atrás "
               "ni bloqueo)\n"
               "  --console   abre «Sala», la vista en directo de todos los puestos para el "
               "mostrador\n"
               "  --version   muestra la versión\n")
        .toStdString();
}
