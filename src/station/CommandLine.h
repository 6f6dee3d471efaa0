#pragma once

#include <string>

// What the command line asks for. Qt's own options (-platform, -display…)
// are left for QApplication.
struct CommandLine
{
    enum class Mode {
        Run,      // the program, as the desktop starts it
        Diagnose, // print what the session offers and which window source was chosen
        Report,   // the session records' report alone, for the owner's desk
        Console,  // the room's live view and remote commands, for the counter PC
        Version,
        Help,
    };
    Mode mode = Mode::Run;
    std::string error; // an option this program does not know, when not empty
};

// The error is in the application's language: parse once the translations
// are installed when it is to be shown.
CommandLine parseCommandLine(int argc, char** argv);

// The text --help prints, in the application's language.
std::string commandLineHelp();
