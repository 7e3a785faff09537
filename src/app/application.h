#pragma once

#include <QString>

// Settings that must be made before the application object exists (also used by tests that
// create the main window).
void prepareApplicationEnvironment();
// The 11-pixel sans-serif font the windows are laid out for, and the program's icon; after the
// application exists.
void applyWindowLook();

// The program's own share/torvane folder, found from where the program is: an installed program
// finds the catalogue installed beside it under any prefix.
QString installedDataFolder();

// Starts the program: creates the application and its windows, runs the event loop until the
// main window closes, and returns the process's exit code.
int runTorvane(int argc, char* argv[]);
