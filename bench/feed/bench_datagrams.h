#pragma once
// Traffic datagrams for the feed's benchmarks: airborne flights around Zurich, every datagram distinct
// (its feed time moves on), all of them within the traffic radius.

#include <string>
#include <vector>

#include <fmt/format.h>

#include "core/geodesy.h"

inline constexpr Lalo benchLszh{47.4581, 8.5481};

// `count` datagrams of `flights` flights, one flight after the other.
inline std::vector<std::string> gf_benchDatagrams(int count, int flights) {
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i) {
        const int flight = i % flights;
        const int altitude = 10000 + (flight * 50) % 30000;
        out.push_back(
            fmt::format("RTTFC,{},{:.6f},{:.6f},{},0,0,{:.1f},280.0,FLD{},A320,HB-F{:04},LSGG,LSZH,{:.3f},"
                        "adsb,S{},adsb_icao,{},290,300,0.460,0.00,0.0,{:.1f},{:.1f},0,none,A3",
                        0x4B0000 + flight, benchLszh.lat + (flight % 17 - 8) * 0.03,
                        benchLszh.lon + (flight % 13 - 6) * 0.04, altitude, (flight * 7) % 360 + 0.5, flight,
                        flight, 1765364400.0 + i * 0.00005, i, altitude + 150, (flight * 7) % 360 + 0.5,
                        (flight * 7) % 360 + 0.5));
    }
    return out;
}
