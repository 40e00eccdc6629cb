#pragma once
// The start-up update check: the program's own version, the companion add-on, the data files and
// the scan data against versions.json on the maker's server.

#include <istream>
#include <optional>

#include <nlohmann/json.hpp>

#include "core/version.h"

// True when the start-up may go on; false only after a new program version was prepared in
// new_version and stop reason 8 (NEW VERSION) was requested without restart. Without a configured
// server it logs one line and returns true. A versions.json that cannot be fetched, read or parsed is
// logged and the start-up goes on.
bool gf_checkForUpdates();

// The text of versions.json as JSON; nothing when it does not parse (logged).
std::optional<nlohmann::json> gf_parseVersions(std::istream& in);
// The member as a version: an object with integer major, minor and patch in the signed 32-bit range
// and not negative. Anything else counts as missing.
std::optional<VersionData> gf_versionMember(const nlohmann::json& json, const char* name);
