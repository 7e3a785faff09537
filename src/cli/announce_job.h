#pragma once

struct CommandLine;

// --announce: gathers the pages of every source in order (a file of addresses or a sitemap file,
// read whole; a sitemap URL, fetched with its child sitemaps), as the Announce Pages window
// does, and sends them in batches to the IndexNow engines of the profile's current list with
// their key, printing one line per batch and engine as it is answered, then "Done". A source
// that cannot be read at all, or a profile without an IndexNow engine that has a valid key, is
// bad input; nothing is sent then. An engine left out (an invalid key) is said on standard error
// and makes the status at least 1. SIGINT and SIGTERM cancel the sending (the batches not
// answered are SKIPPED). The report is written whenever sending started. Needs the application
// object (no display); returns the exit status (ExitStatus).
int runAnnounceJob(const CommandLine& command);

// --check-key: checks the key file of the key in use (the IndexNow key of the first engine of
// the current list that takes one) at the Site URL's host, and prints what was found. Exit
// status 0 when the file holds the key, 1 otherwise.
int runCheckKeyJob(const CommandLine& command);
