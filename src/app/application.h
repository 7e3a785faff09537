#pragma once

// Starts the program: creates the application and its windows, runs the event loop until the
// main window closes, and returns the process's exit code.
int runTorvane(int argc, char* argv[]);
