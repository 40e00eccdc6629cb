// Fuzz target: the manifest.json of a scenery package. It reads, is refused, or (for a value that is no
// text) throws the JSON library's type error; nothing else.

#include <cstddef>
#include <cstdint>

#include <nlohmann/json.hpp>

#include "scan/publishers.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto path = fuzz_support::writeInput("manifest.json", fuzz_support::text(data, size));
    try {
        const ManifestInfo info = gf_readManifest(path);
        if (info) fuzz_support::require(info->title.size() <= size && info->creator.size() <= size);
    } catch (const nlohmann::json::type_error&) {
    }
    return 0;
}
