#pragma once

#include <QString>

// Settings that must be made before the application object exists, for the window and for the
// jobs that run the embedded browser (also used by tests that create the main window).
void prepareApplicationEnvironment();

// The program's own share/torvane folder, found from where the program is: an installed program
// finds the catalogue installed beside it under any prefix.
QString installedDataFolder();
