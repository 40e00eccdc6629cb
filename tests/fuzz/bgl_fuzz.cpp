// Fuzz target: the scenery file decoder and its quick check. Any bytes decode without a read outside
// them; every stand found has a finite position on the earth.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>
#include <sstream>
#include <string>

#include "scan/bgl_decoder.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    for (const bool is2024 : {false, true}) {
        BglDecodeOptions options;
        options.simulatorIs2024 = is2024;
        options.knownAirport = [](const std::string& code) { return !code.empty() && code[0] != 'X'; };
        options.pathUtf8 = "fuzz.bgl";
        const BglDecodeResult r = gf_decodeBgl(std::span<const std::uint8_t>(data, size), options);
        for (const BglEvent& e : r.events)
            if (e.kind == BglEvent::Kind::airport) fuzz_support::require(e.airport < r.airports.size());
        for (const BglAirport& a : r.airports)
            for (const BglStand& s : a.stands)
                fuzz_support::require(std::isfinite(s.lat) && std::isfinite(s.lon) &&
                                      std::isfinite(s.heading) && std::abs(s.lat) <= 90.0 &&
                                      std::abs(s.lon) <= 180.0);
    }
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    (void)gf_bglHasAirportSection(in, size);
    return 0;
}
