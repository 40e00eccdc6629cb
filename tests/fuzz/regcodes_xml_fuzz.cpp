// Fuzz target: the plain AIG-regcodes.xml data file. Its registrations come out sorted without repeats.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <list>

#include "refdata/regcodes.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto path = fuzz_support::writeInput("AIG-regcodes.xml", fuzz_support::text(data, size));
    std::list<RegcodeLivery> entries;
    try {
        (void)gf_readRegcodesXml(path, entries);
    } catch (const std::filesystem::filesystem_error&) {
        return 0;
    }
    for (const RegcodeLivery& e : entries) {
        fuzz_support::require(std::is_sorted(e.regs.begin(), e.regs.end()));
        fuzz_support::require(std::adjacent_find(e.regs.begin(), e.regs.end()) == e.regs.end());
    }
    return 0;
}
