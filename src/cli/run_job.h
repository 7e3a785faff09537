#pragma once

struct CommandLine;

// Runs a job of the command line (anything but the window): makes the application object the
// job needs (QCoreApplication, or for --submit a QApplication on the offscreen platform, so that
// no job needs a display), with programPath as its only argument, and returns the exit status.
int runCommandLineJob(const CommandLine& command, char* programPath);
