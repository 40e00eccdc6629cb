// Fuzz target: the traffic datagram reader. Any bytes must give either a record that holds only
// finite, in-range values or a reason, never a crash, a hang or an exception.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "feed/traffic_datagram.h"

namespace {

void lf_require(bool condition) {
    if (!condition) std::abort();
}

bool lf_finite(const std::optional<double>& value) {
    return !value || std::isfinite(*value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Around Zurich with a park airport, so that ground traffic is read as well as airborne.
    static const TrafficFilter filter = [] {
        TrafficFilter f;
        f.reference = {47.4581, 8.5481};
        f.radiusNm = 100.0;
        f.parkAirportChosen = true;
        f.parkAirportPosition = f.reference;
        f.parkAirportElevation = 1416.0;
        f.parkAirportElevationFt = 1416.0;
        return f;
    }();
    const std::string_view datagram(reinterpret_cast<const char*>(data), size);
    const TrafficDatagramResult r = gf_readTrafficDatagram(datagram, filter);
    lf_require(lf_finite(r.feedTime));
    lf_require((r.drop == TrafficDrop::error) == !r.error.empty());
    if (r.drop != TrafficDrop::none) return 0;

    const TrafficRecord& rec = r.record;
    const PosSample& p = rec.pos;
    lf_require(rec.hexid > 10000);
    lf_require(!rec.type.empty());
    lf_require(!rec.cs.empty() || !rec.reg.empty());
    lf_require(rec.cs.size() <= 31 && (rec.cs.empty() || rec.cs.back() != '*'));
    lf_require(rec.reg.size() <= 12 && rec.orig.size() <= 4 && rec.dest.size() <= 4);
    lf_require(p.lat >= -90.0 && p.lat <= 90.0 && p.lon >= -180.0 && p.lon <= 180.0);
    for (const double v : {p.alt, p.gs, p.track, p.vs, p.tas, rec.feedTime})
        lf_require(std::isfinite(v));
    lf_require(p.alt >= 0.0 && p.airborne == (p.alt > 0.0));
    lf_require(lf_finite(p.bank) && lf_finite(p.trueHeading));
    lf_require(!p.trueHeading || (*p.trueHeading > 0.0 && *p.trueHeading <= 6.2831853071795865));
    lf_require(p.airborne || !p.bank);
    return 0;
}
