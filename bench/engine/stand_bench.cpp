// The stand search and the stand look-up.
//
// Targets: one lf_searchStands over 400 stands with 30 options each and 300 static aircraft stays under
// 2 ms; gf_findStandForAircraft over 400 stands under 10 microseconds.

#include "core/units.h"
#include "engine/base/engine_tables.h"
#include "engine/base/stands.h"
#include "engine/stands/stand_search.h"
#include "engine/stands/static_picks.h"
#include "refdata/parking_format.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

constexpr int standCount = 400;
constexpr double metre = nmPerMetre / 60.0;

void lf_makeStands() {
    gf_clearParkStands();
    for (int i = 0; i < standCount; ++i) {
        const double lat = 47.45 + (i / 20) * 150 * metre;
        const double lon = 8.55 + (i % 20) * 50 * metre / 0.675;
        std::vector<ParkOpt> opts;
        for (int k = 0; k < 30; ++k) {
            ParkOpt opt;
            opt.airl = k % 2 ? "SWR" : "EZS";
            opt.type = "A320";
            opt.reg = "HB-" + std::to_string(i * 30 + k);
            opt.cs = "C" + std::to_string(i * 30 + k);
            opt.cs2 = "D" + std::to_string(i * 30 + k);
            opt.day = 1 + static_cast<std::uint32_t>(k % 7);
            for (int h = (k * 3) % 44; h < (k * 3) % 44 + 4; ++h)
                opt.hh.set(static_cast<std::size_t>(h));
            opt.seq = static_cast<std::uint32_t>(k + 1);
            opts.push_back(std::move(opt));
        }
        parkPositions.emplace_back("S" + std::to_string(i), std::move(opts), lat, lon, 0.0, 20.0, false,
                                   false, false);
        parkPositions.back().sid = static_cast<std::uint32_t>(i + 1);
    }
    for (auto& s : parkPositions) {
        if (s.sid > 1) s.adjacent.push_back(s.sid - 1);
        if (s.sid < standCount) s.adjacent.push_back(s.sid + 1);
    }
    gf_publishStandSnapshot();
}

void lf_makeStatics() {
    engineLists.staticAcs.clear();
    for (int i = 0; i < 300; ++i) {
        FlightIdent ident;
        ident.cs = "X" + std::to_string(i) + "*";
        ident.type = "A320";
        ident.reg = "HB-X" + std::to_string(i);
        AcData data(ident);
        data.hexid = static_cast<std::uint32_t>(i + 1);
        const ParkPos& at = parkPositions[static_cast<std::size_t>((i * 7) % standCount)];
        StaticAc ac(std::move(data), at.sid, StandPlace{at.lat, at.lon, 0}, false);
        ac.simState = SimState::active;
        engineLists.staticAcs.push_back(std::move(ac));
    }
    gf_reindexAircraft();
}

void BM_SearchStands(benchmark::State& state) {
    lf_makeStands();
    lf_makeStatics();
    for (auto _ : state) {
        state.PauseTiming();
        staticPicks.staticAddList.clear();
        for (auto& s : parkPositions)
            s.held = s.adjacentHeld = false;
        state.ResumeTiming();
        lf_searchStands(WeekSlot{3, 20}, 2, 0, 0, staticPicks.staticAddList);
        benchmark::DoNotOptimize(staticPicks.staticAddList.data());
    }
    engineLists.staticAcs.clear();
    gf_reindexAircraft();
    gf_clearParkStands();
}
BENCHMARK(BM_SearchStands)->Unit(benchmark::kMicrosecond);

void BM_FindStandForAircraft(benchmark::State& state) {
    lf_makeStands();
    FlightIdent ident;
    ident.cs = "SWR1";
    ident.type = "A320";
    AcData ac(ident);
    ac.halfSize = 0.0097;
    const Lalo pos{47.45 + 10 * 150 * metre + 3 * metre, 8.55 + 10 * 50 * metre / 0.675};
    for (auto _ : state)
        benchmark::DoNotOptimize(gf_findStandForAircraft(pos, ac, 0.03, true));
    gf_clearParkStands();
}
BENCHMARK(BM_FindStandForAircraft)->Unit(benchmark::kMicrosecond);

} // namespace
