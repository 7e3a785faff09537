#pragma once

#include <QStringList>

struct CommandLine;

// --submit: runs the profile's current engine list as the Submit button does, with the same run
// controller and the real embedded browser (on the offscreen platform, never shown on a screen):
// one engine a tick, each engine's line printed as it is judged, then "Done". The completeness
// check's lines go to standard error. SIGINT and SIGTERM stop the run as Stop does; the engines
// not judged by then are SKIPPED. The report is written whenever a run started. Needs the
// QApplication; returns the exit status (ExitStatus). With titles, the run is over those engines
// of the catalogue (in that order) instead of the current engine list. The run is written into
// the history as it goes (see historyLocation()); a history that cannot be used is said once.
int runSubmitJob(const CommandLine& command, const QStringList* titles = nullptr);
