// Fuzz target: versions.json as the update check reads it, every member it asks for.

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "tests/fuzz/fuzz_support.h"
#include "update/update_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    const auto json = gf_parseVersions(in);
    if (!json) return 0;
    for (const char* name : {"msfs", "simaddon", "airports", "aig", "liveries", "addons", "dbase"}) {
        const auto version = gf_versionMember(*json, name);
        // A version that is taken is written to the settings and read from there again.
        if (version) fuzz_support::require(VersionData(version->toString()) == *version);
    }
    return 0;
}
