// Fuzz target: version texts ("1.2.3" or a JSON object) as VersionData reads them. Never throws; a
// version written with toString reads back as the same version.

#include <cstddef>
#include <cstdint>

#include "core/version.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const VersionData version(fuzz_support::text(data, size));
    const VersionData again(version.toString());
    fuzz_support::require(again == version);
    return 0;
}
