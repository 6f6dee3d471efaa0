#pragma once

// lurn --console: the "Sala" window alone, for the counter PC (no countdown,
// no lock). Returns the exit status.
int runConsoleAlone(int argc, char* argv[]);
