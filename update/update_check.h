#pragma once
// The start-up update check: the program's own version, the companion add-on, the data files and
// the scan data against versions.json on the maker's server.

// True when the start-up may go on; false only after a new program version was prepared in
// new_version and stop reason 8 (NEW VERSION) was requested without restart. Without a configured
// server it logs one line and returns true. A versions.json that cannot be fetched, read or parsed is
// logged and the start-up goes on.
bool gf_checkForUpdates();
