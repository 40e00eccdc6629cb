#pragma once
// parameters.xml in the per-user folder: root > parameters > parameter (name, value) entries.
//
// Every load-modify-save of the file holds one process-wide mutex, so the window thread and the
// worker never interleave their saves. Every rewrite goes through the atomic file writer: a reader,
// or a crash at any moment, finds either the old file or the new one. A file that cannot be parsed,
// or one without root that a single save rewrites in full, is kept as its first generation
// (parameters0.xml) before it is replaced; the new file takes every value the old one still gives (the
// first entry of each key, wherever it stands) over the values in memory, which before the full load
// are only the defaults. A file that cannot be read at all (permissions, I/O) is never replaced.

#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>

class Parameter;

// The mutex around every load-modify-save of parameters.xml. Recursive: a single save may end in a
// full save under the same lock.
std::recursive_mutex& gf_parametersFileMutex();

// Full load at start-up: sets every registered setting from the file (defaults for missing keys,
// numbers clamped), appends the missing keys and writes the file back with foreign entries kept.
// True when there was no usable file and a file of defaults was written instead (a first start).
bool gf_readParameters();

// Full save: every registered setting in registry order, with its default (writeDefaults; the
// default of PROGRAM_VERSION is first set to the running version) or its value. Entries of keys no
// registered setting has are dropped. False when the file could not be written (logged).
bool gf_saveParameters(bool writeDefaults);

// Replaces a file whose parameters section is not under root by a full save of the current values.
bool gf_rebuildParametersWithRoot();

// Removes the first entry with the key; false when there is no file, no section, no such entry, or
// the file could not be written.
bool gf_removeParameter(std::string_view key);
bool gf_removeParameter(const Parameter& setting);

// The heading and closing lines of the log listing.
std::string gf_parametersHeading();
std::string gf_parametersClosingLine();
