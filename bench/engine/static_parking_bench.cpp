// The static parking: a full calculation and a renewal at a large airport.
//
// Targets: a full calculation over 400 stands with 30 options each for 300 static aircraft under 50 ms;
// a renewal of the same size (300 static aircraft standing) under 50 ms.

#include "core/settings.h"
#include "core/timeutil.h"
#include "core/units.h"
#include "engine/base/engine_tables.h"
#include "engine/base/stands.h"
#include "engine/stands/stand_search.h"
#include "engine/stands/static_picks.h"
#include "engine/static/static_parking.h"
#include "refdata/parking_format.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

constexpr int standCount = 400;
constexpr double metre = nmPerMetre / 60.0;
constexpr WeekSlot now{3, 20};

std::string lf_reg(int stand, int k) {
    return "HB-" + std::to_string(stand * 30 + k);
}

// 400 stands 50 m apart; every option of the stand seen on one weekday in a window of 6 half hours.
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
            opt.reg = lf_reg(i, k);
            opt.cs = "C" + std::to_string(i * 30 + k);
            opt.cs2 = "D" + std::to_string(i * 30 + k);
            opt.day = 1 + static_cast<std::uint32_t>(k % 7);
            for (int h = (k * 5 + i) % 42; h < (k * 5 + i) % 42 + 6; ++h)
                opt.hh.set(static_cast<std::size_t>(h));
            opt.seq = static_cast<std::uint32_t>(k + 1);
            opts.push_back(std::move(opt));
        }
        parkPositions.emplace_back("S" + std::to_string(i), std::move(opts), lat, lon, 0.0, 20.0, false,
                                   false, false);
        parkPositions.back().sid = static_cast<std::uint32_t>(i + 1);
    }
    gf_publishStandSnapshot();
}

void lf_settings() {
    MAX_PARK_SEL.value = 500;
    CUSTOM_PARKING_PERCENTAGE.value = -1;
    parking_percentage.value = 75; // 300 of 400 stands
    MAX_FIT.value = 47;
    WEEK.value = true;
    PARK_SOFT.value = false;
    currentWeekSlot = now.packed();
}

// 300 static aircraft standing, each showing the first option of its stand.
void lf_makeStatics() {
    engineLists.staticAcs.clear();
    for (int i = 0; i < 300; ++i) {
        const ParkPos& at = parkPositions[static_cast<std::size_t>(i)];
        const ParkOpt& opt = at.opts.front();
        FlightIdent ident;
        ident.cs = opt.cs + "*";
        ident.airl = opt.airl;
        ident.type = opt.type;
        ident.reg = opt.reg;
        ident.feedCs = opt.cs;
        ident.text = opt.cs2;
        AcData data(ident);
        data.hexid = static_cast<std::uint32_t>(i + 1);
        StaticAc ac(std::move(data), at.sid, StandPlace{at.lat, at.lon, 0}, false);
        ac.simState = SimState::active;
        ac.oid = static_cast<std::uint32_t>(1000 + i);
        ac.parkedSince = now.packed(); // older than every pick: they stay
        engineLists.staticAcs.push_back(std::move(ac));
    }
    gf_reindexAircraft();
}

void BM_FullStaticCalculation(benchmark::State& state) {
    lf_settings();
    lf_makeStands();
    for (auto _ : state) {
        lf_calculateStaticParking();
        benchmark::DoNotOptimize(staticPicks.staticAddList.data());
    }
    state.counters["picks"] = static_cast<double>(staticPicks.staticAddList.size());
    staticPicks.staticAddList.clear();
    gf_clearParkStands();
}
BENCHMARK(BM_FullStaticCalculation)->Unit(benchmark::kMillisecond);

void BM_StaticRenewal(benchmark::State& state) {
    lf_settings();
    lf_makeStands();
    for (auto _ : state) {
        state.PauseTiming();
        lf_makeStatics();
        engineLists.removalQueue.clear();
        state.ResumeTiming();
        gf_adjustParking();
        benchmark::DoNotOptimize(staticPicks.staticAddList.data());
    }
    state.counters["kept"] = static_cast<double>(staticPicks.keptStaticList.size());
    engineLists.staticAcs.clear();
    gf_reindexAircraft();
    engineLists.removalQueue.clear();
    staticPicks.staticAddList.clear();
    gf_clearParkStands();
}
BENCHMARK(BM_StaticRenewal)->Unit(benchmark::kMillisecond);

} // namespace
