#pragma once

// The web engine keeps a certificate database in ~/.pki/nssdb, made the first time it checks an
// https certificate; nothing stops it, and the program keeps no files of its own. Call
// noteWebEngineHomeFiles() before the first browser exists (it also arranges the tidying at
// exit); tidyWebEngineHomeFiles() removes again what the engine made there, once the engine
// has ended, and only when ~/.pki did not exist before.
void noteWebEngineHomeFiles();
void tidyWebEngineHomeFiles();
