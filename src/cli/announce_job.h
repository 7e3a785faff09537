#pragma once

#include "submit/core/result_record.h"

#include <QList>

struct CommandLine;

// --announce: runs the AnnounceJob the Announce Pages window runs, on every source in order (a
// file of addresses, a sitemap or index file, a web address of either or of a robots.txt), and
// sends the pages in batches to the IndexNow engines of the profile's current list with their
// key, printing one line per batch and engine as it is answered, then "Done". A source that
// cannot be read at all, or a profile without an IndexNow engine that has a valid key, is bad
// input; nothing is sent then. A host whose key file is missing is not sent to (status 1)
// unless --no-key-check. An engine left out (an invalid key) is said on standard error and
// makes the status at least 1. SIGINT and SIGTERM stop the job in any phase (the batches not
// answered are SKIPPED); the report is written then too. Needs the application object (no
// display); returns the exit status (ExitStatus).
int runAnnounceJob(const CommandLine& command);

// --resend-failed of an announcement: sends the failed batches of a past one again with the
// same job, printed, counted and reported as --announce does; the job is kept in the history as
// an announcement.
int runResendBatchesJob(const CommandLine& command, const QList<ResultRecord>& batches);

// --check-key: checks the key file of the key in use (the IndexNow key of the first engine of
// the current list that takes one) at the Site URL's host, and prints what was found. Exit
// status 0 when the file holds the key, 1 otherwise.
int runCheckKeyJob(const CommandLine& command);
