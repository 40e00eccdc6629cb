// Fuzz target: the QNH datagram, through the reader's own datagram handling. Whatever it reads, the
// QNH it publishes stays a whole number of hectopascals within 900..1100 (or the value it had).

#include <cstddef>
#include <cstdint>

#include "feed/udp_readers.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qnhReader.lastQnh.store(0);
    qnhReader.handle(fuzz_support::text(data, size));
    const std::int32_t q = qnhReader.lastQnh.load();
    fuzz_support::require(q == 0 || (q >= 900 && q <= 1100));
    return 0;
}
