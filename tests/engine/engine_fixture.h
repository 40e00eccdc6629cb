#pragma once
// A fixture for the traffic engine's tests: the simulator link's fixture (temporary folders, an open
// log, a stand-in on demand) plus a small aircraft-type database, the engine's globals back at their
// start, RANDOM off and the engine clock held still. Its stand-in wakes the link whenever it has
// written to it, and its waits on the link end with the dispatch round they wait for instead of at the
// next poll.

#include "engine/base/ac_records.h"
#include "engine/base/engine_clock.h"
#include "engine/base/engine_status.h"
#include "engine/base/engine_tables.h"
#include "engine/engine_cycle.h"
#include "engine/engine_pass.h"
#include "engine/engine_reset.h"
#include "feed/feed_state.h"
#include "liveries/livery_catalogue.h"
#include "refdata/dbase.h"

#include "tests/simlink/simlink_fixture.h"

#include <chrono>
#include <cstdint>
#include <string>

namespace enginetest {

namespace stub = skyloom::simstub;

class EngineTest : public simtest::SimLinkTest {
protected:
    void SetUp() override {
        SimLinkTest::SetUp();
        gf_resetEngineForTests();
        gf_resetFeedForTests();
        gf_resetLiveriesForTests();
        gf_holdEngineClockForTests();
        gf_reserveTrafficContainers(); // records keep their places while tests append
        RANDOM.value = false;
        gf_coreHooks().randomEnabled = [] { return false; };
        dbase.aircrafts = {"A320", "B738", "B77W", "C172", "C56X", "EC35", "F16"};
        dbase.large = {"A320", "B738"};
        dbase.heavy = {"B77W"};
        dbase.buzjet = {"C56X"};
        dbase.rotorcraft = {"EC35"};
        dbase.high_performance = {"F16"};
        dbase.registrations["HB-JXA"] = RegRecord{"SWR", "B77W", "", false};
    }

    void TearDown() override {
        gf_resetEngineForTests();
        gf_resetLiveriesForTests();
        SimLinkTest::TearDown(); // the database, settings, hooks and the log
    }

    // The link's own fixture, with a stand-in that wakes the link after each write (the link reads what
    // came at once instead of at its next poll, a millisecond later).
    stub::SimStub& startStub(stub::Options options = {}, std::uint16_t port = 0) {
        options.onSent = [] { gf_wakeSimClient(); };
        return SimLinkTest::startStub(std::move(options), port);
    }
    stub::SimStub& connect(stub::Options options = {}) {
        options.onSent = [] { gf_wakeSimClient(); };
        return SimLinkTest::connect(std::move(options));
    }

    // One frame of the stand-in; returns when the link has handled it and the stand-in has received
    // everything the link sent for it.
    void frame() {
        const std::uint64_t frames = gf_simFramesHandled();
        stub_->sendFrame();
        ASSERT_TRUE(
            gf_waitSimDispatch([&] { return gf_simFramesHandled() > frames; }, std::chrono::seconds(10)));
        // The dispatch call that handled the frame writes its requests when it returns.
        dispatchRounds(1);
        sync();
    }

    // Returns once `count` more dispatch rounds of the link have ended, each started at once.
    static void dispatchRounds(std::uint64_t count) {
        const std::uint64_t until = gf_simDispatchRounds() + count;
        ASSERT_TRUE(gf_waitSimDispatch(
            [&] {
                if (gf_simDispatchRounds() >= until) return true;
                gf_wakeSimClient();
                return false;
            },
            std::chrono::seconds(10)));
    }

    // A queued flight as the feed makes it.
    static TrafficRecord record(std::uint32_t hexid, std::string cs, std::string type, double feedTime,
                                double gs = 250, double track = 90, bool airborne = true) {
        TrafficRecord r;
        r.hexid = hexid;
        r.cs = std::move(cs);
        r.type = std::move(type);
        r.feedTime = feedTime;
        r.pos.lat = 47.4;
        r.pos.lon = 8.5;
        r.pos.alt = airborne ? 5000 : 0;
        r.pos.gs = gs;
        r.pos.track = track;
        r.pos.airborne = airborne;
        r.pos.duePass = enginePassCount.load() + feedDelayPasses;
        return r;
    }

    static void queue(const TrafficRecord& r) {
        std::lock_guard lock(addingStackMutex);
        addingStack.push_back(r);
    }

    static std::size_t waiting() {
        std::lock_guard lock(addingStackMutex);
        return addingStack.size();
    }

    // A live aircraft already known to the engine (state buffer, one sample).
    static LiveAc& liveAc(std::uint32_t hexid, const std::string& cs, const std::string& type = "A320") {
        FlightIdent ident;
        ident.cs = cs;
        ident.type = type;
        ident.airl = "SWR";
        AcData data(ident);
        data.hexid = hexid;
        PosSample first;
        first.lat = 47.45;
        first.lon = 8.56;
        first.airborne = true;
        LiveAc& ac = gf_appendLiveAc(LiveAc(first, std::move(data), 1000.0));
        ac.pos.latitude = 47.45;
        ac.pos.longitude = 8.56;
        ac.pos.altitude = 3000;
        return ac;
    }

    static StaticAc& staticAc(std::uint32_t hexid, const std::string& cs) {
        FlightIdent ident;
        ident.cs = cs;
        ident.type = "A320";
        AcData data(ident);
        data.hexid = hexid;
        return gf_appendStaticAc(StaticAc(std::move(data), 0, StandPlace{47.45, 8.56, 0}, false));
    }

    // The client events queued so far (and takes them out of the queue).
    static std::vector<ClientEventCmd> takeEvents() {
        std::lock_guard lock(simCommandMutex);
        std::vector<ClientEventCmd> events;
        events.swap(simEventQueue);
        return events;
    }

    // Whether the link has commands or positions to send to the simulator.
    static bool simHasWork() {
        std::lock_guard lock(simCommandMutex);
        return !simCreateQueue.empty() || !simRemoveQueue.empty() || !simEventQueue.empty() ||
               !positionSendBuffer.empty();
    }

    static void pass(int count = 1) {
        for (int i = 0; i < count; ++i)
            lf_handleAddingStack();
    }
};

} // namespace enginetest
