// Parsing and filtering throughput of the traffic reader: at least 1,000,000 datagrams a second on
// one core. The adding stack is drained as the engine drains it, once per pass of 1,000 datagrams.

#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include "engine/engine_pass.h"
#include "feed/feed_state.h"
#include "feed/traffic_datagram.h"
#include "feed/udp_readers.h"

namespace {

constexpr Lalo lszh{47.4581, 8.5481};
// The datagrams of one engine pass (10 ms) at the heaviest feed, 100,000 datagrams a second.
constexpr std::size_t passDatagrams = 1000;

struct Type {
    const char* icao;
    const char* category;
};
constexpr Type types[] = {{"A320", "A3"}, {"A20N", "A3"}, {"B738", "A3"}, {"A333", "A5"}, {"E190", "A2"},
                          {"B77W", "A5"}, {"BCS3", "A3"}, {"DH8D", "A2"}, {"C25A", "A1"}, {"A321", "A3"}};

// Flights around Zurich as RealTraffic sends them: mostly airborne, some on the ground at the airport.
std::vector<std::string> realisticDatagrams(bool withRejects) {
    std::vector<std::string> out;
    for (int i = 0; i < 200; ++i) {
        const Type& t = types[i % 10];
        const bool ground = i % 7 == 0;
        const bool farAway = withRejects && i % 10 == 6; // beyond the traffic radius
        const double lat =
            lszh.lat + (ground ? 0.01 : 0.3) * ((i * 37 % 100) - 50) / 50.0 + (farAway ? 2.0 : 0.0);
        const double lon = lszh.lon + (ground ? 0.01 : 0.4) * ((i * 53 % 100) - 50) / 50.0;
        const int alt = ground ? 0 : 3000 + (i * 977) % 35000;
        const double gs = ground ? 12.0 + i % 10 : 180.0 + (i * 13) % 300;
        const double track = (i * 29) % 360 + 0.4;
        out.push_back(fmt::format("RTTFC,{},{:.6f},{:.6f},{},{},{},{:.1f},{:.1f},SWR{},{},HB-J{:02},ZRH,{},{:"
                                  ".2f},adsb,LX{},adsb_icao,{},{},{},"
                                  "0.612,0.00,{:.1f},{:.1f},{:.1f},0,none,{}",
                                  4915200 + i, lat, lon, alt, ground ? 0 : -640 + i * 11 % 1500,
                                  ground ? 1 : 0, track, gs, 100 + i, t.icao, i % 100, i % 2 ? "LHR" : "FRA",
                                  1765364400.0 + i * 0.37, 100 + i, alt + 150, gs - 20, gs + 15,
                                  (i % 5) - 2.0, track - 3.0, track + 1.2, t.category));
        if (withRejects && i % 10 == 3)
            out.back() = fmt::format("RTTFC,{},{:.6f},{:.6f},0,0,1,0.0,8.0,null,GRND VEH,null,"
                                     "null,null,{:.2f},adsb,,adsb_icao,0,0,0,0,0,0,0,0,0,none,C3",
                                     4915200 + i, lat, lon, 1765364400.0 + i);
    }
    return out;
}

void run(benchmark::State& state, bool withRejects) {
    TrafficReader reader;
    reader.setReferencePosition(lszh);
    reader.setParkAirport("LSZH", lszh, 1416.0);
    reader.setParkAirportElevation(1416.0);
    gf_setAddingStackOpen(true);
    const auto datagrams = realisticDatagrams(withRejects);
    std::size_t i = 0;
    std::size_t accepted = 0;
    std::vector<TrafficRecord> taken;
    taken.reserve(passDatagrams);
    // The engine's intake at each pass: the records are moved out under the lock (all but the bound
    // when more are waiting) and handled after it.
    const auto drain = [&] {
        {
            std::lock_guard lock(addingStackMutex);
            for (std::size_t n = gf_recordsToTake(addingStack.size()); n > 0 && !addingStack.empty(); --n) {
                taken.push_back(std::move(addingStack.front()));
                addingStack.pop_front();
            }
        }
        accepted += taken.size();
        benchmark::DoNotOptimize(taken.data());
        taken.clear();
    };
    for (auto _ : state) {
        reader.handle(datagrams[i % datagrams.size()]);
        if (++i % passDatagrams == 0) drain();
    }
    {
        std::lock_guard lock(addingStackMutex);
        accepted += addingStack.size();
        addingStack.clear();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
    state.counters["accepted_share"] = static_cast<double>(accepted) / static_cast<double>(i);
}

void BM_TrafficDatagramsAccepted(benchmark::State& state) {
    run(state, false);
}
void BM_TrafficDatagramsMixed(benchmark::State& state) {
    run(state, true);
}

// The pure reading alone, without the reader's lock and queue.
void BM_ReadTrafficDatagram(benchmark::State& state) {
    TrafficFilter filter;
    filter.reference = lszh;
    filter.parkAirportChosen = true;
    filter.parkAirportPosition = lszh;
    filter.parkAirportElevation = 1416.0;
    filter.parkAirportElevationFt = 1416.0;
    const auto datagrams = realisticDatagrams(true);
    std::size_t i = 0;
    std::size_t accepted = 0;
    for (auto _ : state) {
        const TrafficDatagramResult r = gf_readTrafficDatagram(datagrams[i++ % datagrams.size()], filter);
        accepted += r.drop == TrafficDrop::none ? 1 : 0;
        benchmark::DoNotOptimize(r);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
    state.counters["accepted_share"] = static_cast<double>(accepted) / static_cast<double>(i);
}

BENCHMARK(BM_TrafficDatagramsAccepted);
BENCHMARK(BM_ReadTrafficDatagram);
BENCHMARK(BM_TrafficDatagramsMixed);

} // namespace
