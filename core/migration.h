#pragma once
// Bringing the settings up at the start of every run: the full load of parameters.xml, and after an
// update of the program the removal of what older versions left behind.

// The first step of every run's start-up. A first start (no usable file) ticks both scans; otherwise
// the migration runs, and a file too old to convert is kept as parameters0.xml and replaced by a file
// of defaults (the settings of this run keep the values loaded from it).
// Throws std::filesystem::filesystem_error when an obsolete file or folder cannot be removed; the
// stored version is then left as it was, so the next start tries again.
void gf_startParameters();

// Compares the stored program version with the running one; after an update it removes obsolete
// entries, files and folders and only then stores the running version. True when the stored version
// is too old to convert.
bool gf_migrateParameters();
