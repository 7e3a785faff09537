#pragma once

#include <QString>
#include <QStringList>

// What the job reads, by role, for the check of the report's file name.
struct JobFiles {
    QString profile;
    QString catalogue;
    QStringList sources; // addresses (not files) among them are passed over
};

// Why --report path cannot be used, one sentence for the user, or an empty string when it can.
// Checked before the job sends anything, so that a bad name costs no request: the name must end
// in .json or .csv (any letter case); the file must not be one of the job's files (compared as
// the file system sees them: through symbolic links, and hard links as the same device and
// inode), so that the report never replaces what the job read; and its folder must exist and
// take a new file.
QString reportTargetProblem(const QString& path, const JobFiles& files);
