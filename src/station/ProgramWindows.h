#pragma once

// The program's three windows, each created once at start and destroyed at
// exit: the main window (which loads the settings as it is created), the
// warning notice and the lock, in that order, and destroyed in the reverse
// order (the main window saves the settings as it goes).
void createWindows();
void destroyWindows();
