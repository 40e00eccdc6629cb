// The traffic engine's hot paths.
//
// Targets: a drain of 500 ground-data results for 500 live aircraft plus 100 new objects stays under
// 200 microseconds; a feed of 1,000 records a second into 500 live aircraft costs under 5 % of one
// core (the "coreShare" counter: time per simulated second of 100 passes over one second) and keeps
// the adding stack at or below its bound ("maxWaiting"); one pass with 500 active airborne aircraft
// between their samples stays under 150 microseconds; a pass that drains 500 ground-data results and
// updates 500 aircraft, each taking a new leg, under 1 millisecond; one pass with 1000 airborne aircraft,
// one in ten taking a new leg, under 300 microseconds.

#include "engine/base/engine_tables.h"
#include "engine/engine_cycle.h"
#include "engine/engine_pass.h"
#include "engine/engine_reset.h"
#include "engine/sim_results.h"
#include "feed/feed_state.h"
#include "simlink/sim_link.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>

namespace {

constexpr std::uint32_t liveCount = 500;
constexpr std::uint32_t firstHexid = 0x400000;
constexpr std::uint32_t firstOid = 100;

LiveAc lf_aircraft(std::uint32_t hexid, SimState state) {
    FlightIdent ident;
    ident.cs = "T" + std::to_string(hexid);
    ident.type = "A320";
    AcData data(ident);
    data.hexid = hexid;
    PosSample first;
    first.lat = 47.0 + (hexid % 100) * 0.01;
    first.lon = 8.0;
    first.gs = 250;
    first.airborne = true;
    LiveAc ac(first, std::move(data), 0.0);
    ac.simState = state;
    return ac;
}

void lf_fillActive(std::uint32_t count) {
    gf_resetEngineForTests();
    gf_reserveTrafficContainers();
    for (std::uint32_t i = 0; i < count; ++i) {
        LiveAc& ac = gf_appendLiveAc(lf_aircraft(firstHexid + i, SimState::active));
        gf_setObjectId(ac, firstOid + i);
    }
}

void BM_DrainGroundDataAndNewObjects(benchmark::State& state) {
    lf_fillActive(liveCount);
    constexpr std::uint32_t newCount = 100;
    for (std::uint32_t i = 0; i < newCount; ++i)
        gf_appendLiveAc(lf_aircraft(firstHexid + liveCount + i, SimState::adding2sim));
    for (auto _ : state) {
        state.PauseTiming();
        engineLists.setupList.clear();
        for (std::uint32_t i = 0; i < newCount; ++i)
            gf_setObjectId(engineLists.liveAcs[liveCount + i], 0);
        {
            std::lock_guard lock(simResultMutex);
            simResults.clear();
            for (std::uint32_t i = 0; i < liveCount; ++i)
                simResults.push_back(SimResult{firstOid + i, 0, 0, SimResultKind::groundData, 1400.0, 900.0});
            for (std::uint32_t i = 0; i < newCount; ++i)
                simResults.push_back(SimResult{firstOid + 1000 + i, firstHexid + liveCount + i, 0,
                                               SimResultKind::liveObjectFound, 0, 900.0});
        }
        state.ResumeTiming();
        gf_drainSimResults();
        benchmark::DoNotOptimize(engineLists.setupList.data());
    }
    gf_resetEngineForTests();
}
BENCHMARK(BM_DrainGroundDataAndNewObjects)->Unit(benchmark::kMicrosecond);

// One simulated second: 1,000 records (each of the 500 aircraft twice) arriving over 100 passes.
void BM_FeedIntoLiveAircraft(benchmark::State& state) {
    lf_fillActive(liveCount);
    double feedTime = 1000.0;
    std::size_t maxWaiting = 0;
    std::uint32_t next = 0;
    std::chrono::nanoseconds busy{0};
    std::int64_t seconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        for (LiveAc& ac : engineLists.liveAcs)
            while (ac.samples.size() > 1)
                ac.samples.pop_front(); // the movement would consume them
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        for (int pass = 0; pass < 100; ++pass) {
            {
                std::lock_guard lock(addingStackMutex);
                for (int k = 0; k < 10; ++k, ++next) {
                    TrafficRecord r;
                    r.hexid = firstHexid + next % liveCount;
                    r.cs = "T" + std::to_string(r.hexid);
                    r.type = "A320";
                    r.feedTime = feedTime + (next / liveCount) * 0.5;
                    r.pos.lat = 47.0;
                    r.pos.lon = 8.0;
                    r.pos.gs = 250;
                    r.pos.track = (next % 7) * 10.0;
                    r.pos.airborne = true;
                    addingStack.push_back(std::move(r));
                }
            }
            lf_handleAddingStack();
            std::lock_guard lock(addingStackMutex);
            maxWaiting = std::max(maxWaiting, addingStack.size());
        }
        busy += std::chrono::steady_clock::now() - start;
        ++seconds;
        std::lock_guard lock(simCommandMutex);
        positionSendBuffer.clear();
    }
    state.counters["maxWaiting"] = static_cast<double>(maxWaiting);
    state.counters["coreShare"] = std::chrono::duration<double>(busy).count() / static_cast<double>(seconds);
    gf_resetEngineForTests();
}
BENCHMARK(BM_FeedIntoLiveAircraft)->Unit(benchmark::kMillisecond);

// Every aircraft flies between two samples: the next one is due far ahead.
void lf_betweenSamples(std::int64_t nextDue) {
    for (LiveAc& ac : engineLists.liveAcs) {
        ac.samples.resize(1);
        PosSample& to = ac.samples.front();
        to.lat = ac.pos.latitude + 0.05;
        to.lon = 8.05;
        to.duePass = nextDue;
        ac.move.stepLat = 1e-5;
        ac.move.stepLon = 1e-5;
        ac.move.altStep = 0.5;
        ac.move.headingStep = 1e-4;
    }
}

void lf_clearSent() {
    std::lock_guard lock(simCommandMutex);
    positionSendBuffer.clear();
}

void BM_PassWithAirborneAircraftBetweenSamples(benchmark::State& state) {
    lf_fillActive(liveCount);
    for (LiveAc& ac : engineLists.liveAcs)
        ac.pos.latitude = ac.samples.front().lat;
    lf_betweenSamples(1'000'000'000);
    for (auto _ : state) {
        lf_handleAddingStack();
        state.PauseTiming();
        lf_clearSent();
        state.ResumeTiming();
    }
    gf_resetEngineForTests();
}
BENCHMARK(BM_PassWithAirborneAircraftBetweenSamples)->Unit(benchmark::kMicrosecond);

void BM_PassDrainingGroundDataWithNewLegs(benchmark::State& state) {
    lf_fillActive(liveCount);
    for (LiveAc& ac : engineLists.liveAcs)
        ac.pos.latitude = ac.samples.front().lat;
    for (auto _ : state) {
        state.PauseTiming();
        lf_clearSent();
        const std::int64_t now = enginePassCount.load();
        for (LiveAc& ac : engineLists.liveAcs) {
            ac.samples.resize(1);
            PosSample next = ac.samples.front();
            ac.samples.front().duePass = now;
            next.lat += 0.01;
            next.duePass = now + 300;
            ac.samples.push_back(next);
        }
        {
            std::lock_guard lock(simResultMutex);
            simResults.clear();
            for (std::uint32_t i = 0; i < liveCount; ++i)
                simResults.push_back(SimResult{firstOid + i, 0, 0, SimResultKind::groundData, 1400.0, 900.0});
        }
        state.ResumeTiming();
        lf_handleAddingStack();
    }
    gf_resetEngineForTests();
}
BENCHMARK(BM_PassDrainingGroundDataWithNewLegs)->Unit(benchmark::kMicrosecond);

void BM_PassWithThousandAirborneTenthNewLegs(benchmark::State& state) {
    constexpr std::uint32_t count = 1000;
    lf_fillActive(count);
    for (LiveAc& ac : engineLists.liveAcs) {
        ac.pos.latitude = ac.samples.front().lat;
        ac.pos.altitude = 20000;
        ac.move.heightAboveGround = 19000;
    }
    std::uint32_t round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        lf_clearSent();
        const std::int64_t now = enginePassCount.load();
        for (std::uint32_t i = 0; i < count; ++i) {
            LiveAc& ac = engineLists.liveAcs[i];
            const bool newLeg = i % 10 == round % 10;
            ac.samples.resize(1);
            PosSample& front = ac.samples.front();
            front.lat = ac.pos.latitude;
            front.lon = ac.pos.longitude;
            front.alt = ac.pos.altitude;
            front.airborne = true;
            front.duePass = newLeg ? now : now + 1'000'000;
            for (int k = 1; k <= 3; ++k) {
                PosSample next = front;
                next.lat += 0.01 * k;
                next.lon += 0.005 * k * k;
                next.alt += 100 * k;
                next.duePass = now + 200 * k;
                ac.samples.push_back(next);
            }
        }
        ++round;
        state.ResumeTiming();
        lf_handleAddingStack();
    }
    gf_resetEngineForTests();
}
BENCHMARK(BM_PassWithThousandAirborneTenthNewLegs)->Unit(benchmark::kMicrosecond);

} // namespace
