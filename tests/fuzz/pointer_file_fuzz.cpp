// Fuzz target: the pointer files of the airports folder. A reference taken from one is safe to use as
// a path and in a download address.

#include <cstddef>
#include <cstdint>
#include <string>

#include "refdata/airport_files.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto path = fuzz_support::writeInput("ZZZZ.txt", fuzz_support::text(data, size));
    std::string reference;
    if (!gf_readPointerFile(path, reference)) return 0;
    fuzz_support::require(gf_isSafeReference(reference));
    // ANSI bytes take up to three bytes each in UTF-8.
    fuzz_support::require(reference.size() <= 3 * size);
    return 0;
}
