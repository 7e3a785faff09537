#pragma once

#include <QString>

// The 11-pixel sans-serif font the windows are laid out for, and the program's icon; after the
// application exists.
void applyWindowLook();

// Starts the program: creates the application and its windows, runs the event loop until the
// main window closes, and returns the process's exit code.
int runTorvane(int argc, char* argv[]);
