// The simulator link's hot paths: the objects-in-range reply the engine asks for every 200 ms, the
// binding of new objects to their creations, and one frame flush of a full position buffer.

#include "simlink/sim_internal.h"
#include "simlink/sim_link.h"
#include "tools/simstub/simstub.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct ByTypeBlock {
    double altAboveGround;
    double groundAltitude;
    std::int64_t onGround;
    char atcId[32];
};

// One objects-by-type message per aircraft, as the dispatch receives them.
std::vector<std::vector<std::uint64_t>> lf_replies(std::uint32_t count, std::uint32_t firstId) {
    std::vector<std::vector<std::uint64_t>> replies;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::vector<std::uint64_t> storage(
            (sizeof(SIMCONNECT_RECV_SIMOBJECT_DATA) + sizeof(ByTypeBlock) + 7) / 8);
        auto* m = reinterpret_cast<SIMCONNECT_RECV_SIMOBJECT_DATA*>(storage.data());
        m->size = static_cast<std::uint32_t>(sizeof(SIMCONNECT_RECV_SIMOBJECT_DATA) + sizeof(ByTypeBlock));
        m->id = SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE;
        m->requestId = reqObjectsByType;
        m->objectId = firstId + i;
        m->dataSize = sizeof(ByTypeBlock);
        ByTypeBlock block{10.0, 1400.0, 1, {}};
        std::snprintf(block.atcId, sizeof block.atcId, "CS%u", i);
        std::memcpy(m + 1, &block, sizeof block);
        replies.push_back(std::move(storage));
    }
    return replies;
}

void lf_dispatch(std::vector<std::uint64_t>& storage) {
    auto* m = reinterpret_cast<SIMCONNECT_RECV*>(storage.data());
    lf_simDispatch(m, m->size, nullptr);
}

// 250 aircraft already known: each gives ground data.
void BM_ObjectsInRangeReply(benchmark::State& state) {
    gf_resetSimLinkForTests();
    auto replies = lf_replies(250, 100);
    for (auto _ : state) {
        for (auto& r : replies)
            lf_dispatch(r);
        std::lock_guard lock(simResultMutex);
        benchmark::DoNotOptimize(simResults.data());
        simResults.clear();
    }
    gf_resetSimLinkForTests();
}
BENCHMARK(BM_ObjectsInRangeReply);

// 250 new aircraft, each matched by callsign to one of 250 creations in flight.
void BM_BindNewObjects(benchmark::State& state) {
    gf_resetSimLinkForTests();
    auto replies = lf_replies(250, 100);
    for (auto _ : state) {
        state.PauseTiming();
        newObjectIds.clear();
        sentCreates.clear();
        simEventQueue.clear();
        for (std::uint32_t i = 0; i < 250; ++i) {
            newObjectIds.push_back(100 + i);
            sentCreates.push_back(SentCreate{i + 1, 20000 + i, "CS" + std::to_string(249 - i)});
        }
        state.ResumeTiming();
        for (auto& r : replies)
            lf_dispatch(r);
        std::lock_guard lock(simResultMutex);
        simResults.clear();
    }
    gf_resetSimLinkForTests();
}
BENCHMARK(BM_BindNewObjects);

// A frame with 256 positions, written in one batch as the dispatch does.
void BM_FrameFlushOfPositions(benchmark::State& state) {
    gf_resetSimLinkForTests();
    skyloom::simstub::SimStub sim(skyloom::simstub::Options{});
    sim.start();
    HSIMCONNECT handle = nullptr;
    if (SimConnect_Failed(SimConnect_Open(&handle, "bench", sim.address().c_str()))) {
        state.SkipWithError("no stand-in");
        return;
    }
    hSimConnect = handle;
    userObjectId = 1;
    for (auto _ : state) {
        {
            std::lock_guard lock(simCommandMutex);
            for (std::uint32_t i = 0; i < 256; ++i)
                positionWriteBuffer.push_back(
                    PositionEntry{AiPosition{47.4, 8.5, 0, 0, 1.0, 1500, 0, 140}, 3 + i});
            gf_exchangePositionBuffers();
        }
        SimConnect_BeginBatch(handle);
        lf_flushSimQueues();
        SimConnect_EndBatch(handle);
        // What the stand-in answers (objects it does not know) is read and dropped.
        SimConnect_CallDispatch(
            handle, [](SIMCONNECT_RECV*, std::uint32_t, void*) {}, nullptr);
    }
    hSimConnect = nullptr;
    SimConnect_Close(handle);
    gf_resetSimLinkForTests();
}
BENCHMARK(BM_FrameFlushOfPositions);

} // namespace
