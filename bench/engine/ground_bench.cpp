// Ground movement: one engine pass with 300 taxiing aircraft between their samples, half of them
// following a corner curve. Target: under 150 microseconds.

#include "engine/base/engine_tables.h"
#include "engine/engine_cycle.h"
#include "engine/engine_pass.h"
#include "engine/engine_reset.h"
#include "engine/live/ground_movement.h"
#include "feed/feed_state.h"
#include "simlink/sim_link.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

constexpr std::uint32_t taxiCount = 300;
constexpr std::uint32_t firstHexid = 0x500000;
constexpr std::uint32_t firstOid = 100;

void lf_fillTaxiing() {
    gf_resetEngineForTests();
    gf_reserveTrafficContainers();
    for (std::uint32_t i = 0; i < taxiCount; ++i) {
        FlightIdent ident;
        ident.cs = "G" + std::to_string(i);
        ident.type = "A320";
        AcData data(ident);
        data.hexid = firstHexid + i;
        data.rateB = data.rateA;
        PosSample first;
        first.lat = 47.45 + (i % 30) * 0.001;
        first.lon = 8.55 + (i / 30) * 0.001;
        first.gs = 15;
        LiveAc& ac = gf_appendLiveAc(LiveAc(first, std::move(data), 0.0));
        ac.simState = SimState::active;
        ac.phase = AcPhase::taxi;
        ac.onGround = true;
        ac.pos.latitude = first.lat;
        ac.pos.longitude = first.lon;
        ac.pos.altitude = 1400;
        gf_setObjectId(ac, firstOid + i);
        // Sample 0 is the next sample, due far ahead: the pass only integrates.
        ac.samples.front().duePass = 1'000'000'000;
        ac.move.stepLat = 1e-6;
        ac.move.stepLon = 1e-6;
        ac.move.targetBearing = 0.5;
        ac.move.turning = true;
        if (i % 2 == 0) {
            const Lalo from{first.lat, first.lon};
            gf_makeCurve(ac.move, from, Lalo{from.lat + 0.0004, from.lon},
                         Lalo{from.lat + 0.0004, from.lon + 0.0006});
            ac.move.curveAngle = 90;
            ac.move.curveStep = 1e-7; // stays on its curve for the whole run
        }
    }
}

void BM_PassWithTaxiingAircraftHalfOnCurves(benchmark::State& state) {
    lf_fillTaxiing();
    for (auto _ : state) {
        lf_handleAddingStack();
        state.PauseTiming();
        {
            std::lock_guard lock(simCommandMutex);
            positionSendBuffer.clear();
        }
        state.ResumeTiming();
    }
    gf_resetEngineForTests();
}
BENCHMARK(BM_PassWithTaxiingAircraftHalfOnCurves)->Unit(benchmark::kMicrosecond);

} // namespace
