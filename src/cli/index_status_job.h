#pragma once

struct CommandLine;

// --inspect URL... --profile P [--google-key FILE] [--report F]: asks Google Search Console,
// in the property matching the profile's Site URL, whether each page is in Google's index, and
// prints one line per page. Returns ExitAllOk when every page is indexed, ExitSomeFailed when
// any is not (or could not be inspected), ExitBadInput when the key, the profile, the property
// or a page address cannot be used. Needs a QCoreApplication.
int runIndexStatusJob(const CommandLine& command);
