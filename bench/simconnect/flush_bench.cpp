// One simulator frame's flush: 500 position blocks handed to the simulator over loopback.
#include "platform/simconnect/simconnect.h"
#include "tests/tools/simstub/client_harness.h"
#include "tools/simstub/simstub.h"

#include <benchmark/benchmark.h>
#include <stdexcept>

using namespace skyloom::testing;

namespace {

constexpr int kObjects = 500;

struct World {
    skyloom::simstub::SimStub stub{[] {
        skyloom::simstub::Options o;
        o.fps = 0;
        o.user.latitude = 52.3;
        o.user.longitude = 4.76;
        return o;
    }()};
    TestClient client;

    World() {
        stub.start();
        if (client.open(stub.address()) != SIMCONNECT_OK) throw std::runtime_error("open");
        registerEverything(client.h, stub);
        for (int i = 0; i < kObjects; ++i) {
            SIMCONNECT_DATA_INITPOSITION pos{52.3 + i * 1e-4, 4.76, 3000, 0, 0, 90, 0, 250};
            SimConnect_AICreateNonATCAircraft(client.h, "Airbus A320", ("B" + std::to_string(i)).c_str(), pos,
                                              kReqAiCreate);
        }
        if (!stub.waitUntil([&] { return stub.objects().size() == kObjects; }))
            throw std::runtime_error("creations");
    }
};

void flush(World& w, bool batched) {
    AiPositionBlock p{52.3, 4.76, 0, 0, 1.5, 3000, 0, 250};
    if (batched) SimConnect_BeginBatch(w.client.h);
    for (std::uint32_t id = 3; id < 3 + kObjects; ++id) {
        p.latitude += 1e-6;
        SimConnect_SetDataOnSimObject(w.client.h, kDefAiPosition, id, 0, 0, sizeof p, &p);
    }
    if (batched) SimConnect_EndBatch(w.client.h);
}

// The frame flush as the simulator link makes it: inside the dispatch, so the blocks leave in one write.
void BM_FrameFlush500Positions(benchmark::State& state) {
    World w;
    for (auto _ : state)
        flush(w, true);
    state.counters["blocks/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kObjects, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FrameFlush500Positions)->Unit(benchmark::kMicrosecond);

// The same blocks sent one write each, for comparison.
void BM_Unbatched500Positions(benchmark::State& state) {
    World w;
    for (auto _ : state)
        flush(w, false);
}
BENCHMARK(BM_Unbatched500Positions)->Unit(benchmark::kMicrosecond);

// Flush and the stand-in having applied every block: the round trip of a frame's positions.
void BM_FrameFlush500PositionsApplied(benchmark::State& state) {
    World w;
    std::uint64_t expected = w.stub.callCount("SetDataOnSimObject");
    for (auto _ : state) {
        flush(w, true);
        expected += kObjects;
        w.stub.waitUntil([&] { return w.stub.callCount("SetDataOnSimObject") >= expected; });
    }
}
BENCHMARK(BM_FrameFlush500PositionsApplied)->Unit(benchmark::kMicrosecond);

} // namespace
