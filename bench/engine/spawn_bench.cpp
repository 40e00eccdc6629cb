// One pass at the live limit: 1,000 active airborne aircraft and 1,000 buffered aircraft due in the same
// pass, each of them checked against the limit (the farthest active aircraft removed or the newcomer
// refused), and each one spawned looked for as a ghost. The second figure: one active aircraft in ten
// carries a ghost callsign (its callsign followed by "_"). Target: the pass grows linearly with the
// aircraft, far inside the 10 ms cycle.

#include "core/settings.h"
#include "engine/base/engine_tables.h"
#include "engine/engine_pass.h"
#include "engine/engine_reset.h"
#include "liveries/livery_catalogue.h"
#include "liveries/livery_data.h"
#include "refdata/dbase.h"

#include <benchmark/benchmark.h>

#include <random>
#include <string>

namespace {

LiveAc lf_flight(std::uint32_t hexid, double lat, double lon, std::int64_t firstDue) {
    FlightIdent ident;
    ident.cs = "SWR" + std::to_string(hexid % 100000);
    ident.type = "A320";
    ident.airl = "SWR";
    AcData data(ident);
    data.hexid = hexid;
    PosSample first;
    first.lat = lat;
    first.lon = lon;
    first.alt = 20000;
    first.gs = 300;
    first.track = 90;
    first.airborne = true;
    first.duePass = firstDue;
    LiveAc ac(first, std::move(data), 0.0);
    for (int i = 1; i < 3; ++i) {
        PosSample next = first;
        next.lon = lon + 0.02 * i;
        next.duePass = firstDue + 200 * i;
        ac.samples.push_back(next);
    }
    ac.pos.latitude = lat;
    ac.pos.longitude = lon;
    ac.pos.altitude = 20000;
    return ac;
}

// `activeCount` active aircraft at the limit and `dueCount` buffered ones due now, interleaved in the
// list as the feed appends them, scattered up to about 120 nm around the user.
void lf_fillAtLimit(std::size_t activeCount, std::size_t dueCount, std::uint32_t seed, bool ghosts) {
    gf_resetEngineForTests();
    gf_reserveTrafficContainers();
    engineLists.liveAcs.reserve(activeCount + dueCount);
    engineLists.engineUserState.latitude = 47.0;
    engineLists.engineUserState.longitude = 8.0;
    engineLists.engineUserState.altitude = 0;
    MAX_LIVE_SEL.value = static_cast<std::int32_t>(activeCount);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> off(-2.0, 2.0);
    const std::size_t total = activeCount + dueCount;
    std::size_t actives = 0;
    for (std::size_t i = 0; i < total; ++i) {
        const bool isActive = actives * total < activeCount * (i + 1);
        const auto hexid = static_cast<std::uint32_t>(0x400000 + i);
        LiveAc& ac = gf_appendLiveAc(lf_flight(hexid, 47.0 + off(rng), 8.0 + off(rng), isActive ? 0 : 100));
        if (isActive) {
            ++actives;
            ac.simState = SimState::active;
            ac.setPhase(AcPhase::flying);
            gf_setObjectId(ac, static_cast<std::uint32_t>(100 + i));
            if (ghosts && actives % 10 == 0) ac.cs += '_';
        }
    }
}

void BM_SpawnBurstAtLiveLimit(benchmark::State& state) {
    const auto count = static_cast<std::size_t>(state.range(0));
    gf_resetLiveriesForTests();
    scannedLiveries = {{"SWR", "A320", "Swiss A320", "", 1, false}};
    gf_sortLiveries(scannedLiveries);
    gf_buildLiveryTables({});
    scannedLiveries.clear();
    dbase.aircrafts = {"A320"};
    dbase.large = {"A320"};
    std::uint32_t seed = 1;
    std::size_t removed = 0;
    for (auto _ : state) {
        state.PauseTiming();
        lf_fillAtLimit(count, count, seed++, state.range(1) != 0);
        state.ResumeTiming();
        gf_updateLiveAircraft();
        state.PauseTiming();
        for (const LiveAc& ac : engineLists.liveAcs)
            removed += ac.simState == SimState::removingfromsim ? 1 : 0;
        state.ResumeTiming();
    }
    state.counters["removedPerPass"] =
        benchmark::Counter(static_cast<double>(removed) / static_cast<double>(state.iterations()));
    gf_resetEngineForTests();
    gf_resetLiveriesForTests();
}
BENCHMARK(BM_SpawnBurstAtLiveLimit)->ArgsProduct({{250, 500, 1000}, {0, 1}})->Unit(benchmark::kMicrosecond);

} // namespace
