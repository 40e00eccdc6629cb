// Fuzz target: the user's registration files in input/my_regcodes. Every entry read has a title, and
// its registrations are sorted without repeats.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <list>

#include "refdata/regcodes.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz_support::writeInput("my_regcodes/A.TXT", fuzz_support::text(data, size));
    std::list<RegcodeLivery> entries;
    (void)gf_readRegcodeFiles(fuzz_support::folder() / "my_regcodes", entries);
    for (const RegcodeLivery& e : entries) {
        fuzz_support::require(std::is_sorted(e.regs.begin(), e.regs.end()));
        fuzz_support::require(std::adjacent_find(e.regs.begin(), e.regs.end()) == e.regs.end());
    }
    return 0;
}
