#pragma once

struct CommandLine;

// The command-line jobs that read the history (see historyLocation() for where it is). Each
// returns the exit status (ExitStatus); a history that cannot be used says so in one message.

// --history without another job: the past jobs, newest first, one line each (or JSON with
// --json): id, start, kind, face, OK/ERROR/SKIPPED counts, site and profile.
int runHistoryListJob(const CommandLine& command);

// --report-of ID --report FILE: writes the past job's report as the job itself would have.
int runReportOfJob(const CommandLine& command);

// --resend-failed --profile P: sends again what failed in the profile's last job, its engines
// for a Submit run (as --submit does, over those engines only) and its batches for an
// announcement. Needs the application --submit needs.
int runResendFailedJob(const CommandLine& command);
