#pragma once

#include <QString>

// The program's name and version as reports and the command line give them; the version is
// the project's version in the build files.
QString programName();
QString programVersion();
