// Fuzz target: the half-hour texts of the parking files ("5", "10:13", "3,7"). Whatever set a text
// reads as, its written form reads back as the same set (the empty set has none).

#include <cstddef>
#include <cstdint>

#include "refdata/parking_format.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const HalfHourSet set = gf_hours2bitset(fuzz_support::text(data, size));
    const auto text = gf_bitset2hours(set);
    fuzz_support::require(text.has_value() == set.any());
    if (!text) return 0;
    fuzz_support::require(gf_hours2bitset(*text) == set);
    fuzz_support::require(gf_bitset2hours(gf_hours2bitset(*text)) == text);
    return 0;
}
