#pragma once

#include "catalogue/core/engine_catalogue.h"
#include "profile/core/profile_snapshot.h"

#include <QString>
#include <QStringList>

// What every command-line job starts from: the catalogue, and the profile file read into it, as
// the window holds them after File > Open.
struct JobInput {
    QString profilePath; // absolute
    Engine_Type catalogue;
    ProfileFields fields;
    QStringList currentList; // the current list's lines, in the window's order
};

// The catalogue file a job reads: cataloguePath, or when empty the Engine.dat the window would
// read from the current folder. The application object must exist.
QString jobCataloguePath(const QString& cataloguePath);

// Reads the catalogue (cataloguePath, or the Engine.dat the window would read from the current
// folder) and the profile into input. Returns why they cannot be used, one sentence for the
// user, or an empty string: a missing or unreadable file, a catalogue without engines.
QString loadJobInput(const QString& profilePath, const QString& cataloguePath, JobInput& input);

// Writes one line (a line break is added) to standard output, or to standard error, at once;
// control characters in it are escaped (terminalText), so that none reaches the terminal raw.
void printLine(const QString& line);
void printError(const QString& line);
