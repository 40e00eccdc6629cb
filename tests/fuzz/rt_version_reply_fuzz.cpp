// Fuzz target: RealTraffic's reply to the version request, as the handshake takes it. Never throws.

#include <cstddef>
#include <cstdint>

#include "feed/rt_link.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    gf_readVersionReply(fuzz_support::text(data, size));
    return 0;
}
