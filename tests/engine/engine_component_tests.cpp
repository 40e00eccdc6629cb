// The engine against the simulator link and an in-process simulator stand-in: pacing of creations,
// removals and requests, the set-up of a new object, refused titles and removals around a creation.
// Engine passes are driven by the test; the stand-in's frames follow them.

#include "core/geodesy.h"
#include "core/settings.h"
#include "core/units.h"
#include "engine/base/ac_removal.h"
#include "engine/base/engine_tables.h"
#include "engine/live/flight_plan_files.h"
#include "engine/live/live_update.h"
#include "engine/sim_results.h"
#include "engine_fixture.h"
#include "feed/rt_link.h"
#include "feed/traffic_datagram.h"
#include "feed/udp_readers.h"
#include "liveries/livery_choice.h"
#include "liveries/livery_data.h"
#include "refdata/park_airport.h"
#include "simlink/flight_plans.h"
#include "tools/rtfeed/rtfeed.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <numbers>
#include <set>
#include <sstream>

namespace enginetest {
namespace {

using namespace std::chrono_literals;
namespace stub = skyloom::simstub;

constexpr char installedTitle[] = "Stub A320 Swiss";

class EngineComponentTest : public EngineTest {
protected:
    stub::SimStub& start(stub::Options options = {}) {
        options.removalDelay = 0ms;
        gf_reserveSimQueues();
        auto& s = connect(std::move(options));
        return s;
    }

    // A spawned live aircraft waiting for its creation, near the user (on the ground when `airborne`
    // is false, taxiing).
    static LiveAc& spawned(std::uint32_t hexid, const std::string& cs, bool airborne = false,
                           std::string_view title = installedTitle) {
        LiveAc& ac = liveAc(hexid, cs);
        ac.samples.front().airborne = airborne;
        ac.simState = SimState::adding2sim;
        ac.phase = airborne ? AcPhase::flying : AcPhase::taxi;
        ac.liveryTitle = title;
        ac.pos.latitude = 47.451 + (hexid % 16) * 0.001;
        ac.pos.longitude = 8.561;
        ac.pos.altitude = airborne ? 5000 : 1400;
        engineLists.pendingSpawns.push_back(hexid);
        return ac;
    }

    // One engine pass, then the stand-in's frame when the link has something to send, and the replies
    // of the pass's objects-in-range request. Returns the pass's number.
    std::int64_t step() {
        const std::int64_t number = enginePassCount.load();
        lf_handleAddingStack();
        const bool toSend = simHasWork();
        if (toSend) frame();
        if (number % 20 == 0) settle();
        return number;
    }

    // Everything the link sent has been handled by the stand-in and its answers by the link.
    void settle() {
        sync();
        dispatchRounds(2);
    }

    // Runs passes until `done` holds (at most `limit` passes); the pass numbers at which `count` grew.
    std::vector<std::int64_t> passesUntil(const std::function<bool()>& done, const std::string& call,
                                          int limit = 2000) {
        std::vector<std::int64_t> grew;
        std::uint64_t seen = stub_->callCount(call);
        for (int i = 0; i < limit && !done(); ++i) {
            const std::int64_t number = step();
            sync();
            if (const std::uint64_t now = stub_->callCount(call); now > seen) {
                grew.insert(grew.end(), now - seen, number);
                seen = now;
            }
        }
        return grew;
    }

    static void expectGaps(const std::vector<std::int64_t>& passes, std::int64_t atLeast) {
        for (std::size_t i = 1; i < passes.size(); ++i)
            EXPECT_GE(passes[i] - passes[i - 1], atLeast) << "between sends " << i - 1 << " and " << i;
    }

    std::uint64_t eventCount(std::uint32_t oid, const std::string& event) const {
        return callsStartingWith(fmt::format("TransmitClientEvent {} {} ", oid, event)).size();
    }
};

TEST_F(EngineComponentTest, ObjectsInRangeAreAskedForEveryTwentyPasses) {
    start();
    std::vector<std::int64_t> asked;
    std::uint64_t seen = stub_->callCount("RequestDataOnSimObjectType");
    for (int i = 0; i < 100; ++i) {
        const std::int64_t number = step();
        sync();
        if (stub_->callCount("RequestDataOnSimObjectType") > seen) asked.push_back(number);
        seen = stub_->callCount("RequestDataOnSimObjectType");
    }
    EXPECT_EQ(asked, (std::vector<std::int64_t>{0, 20, 40, 60, 80}));
    EXPECT_EQ(callsStartingWith("RequestDataOnSimObjectType").front(),
              fmt::format("RequestDataOnSimObjectType {} {} {} {}", static_cast<int>(reqObjectsByType),
                          static_cast<int>(defObjectsByType), rangeMeters.load(),
                          static_cast<int>(SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT)));
}

TEST_F(EngineComponentTest, CreationsAndRemovalsReachTheSimulatorAtTheirPace) {
    start();
    for (std::uint32_t i = 1; i <= 3; ++i)
        spawned(0x4B0000 + i, "SWR" + std::to_string(i));
    const auto created =
        passesUntil([&] { return stub_->counts().creations >= 3; }, "AICreateNonATCAircraft");
    ASSERT_EQ(created.size(), 3u);
    expectGaps(created, 50);

    passesUntil(
        [] {
            return std::all_of(engineLists.liveAcs.begin(), engineLists.liveAcs.end(),
                               [](const LiveAc& ac) { return ac.simState == SimState::active; });
        },
        "AIRemoveObject");
    for (LiveAc& ac : engineLists.liveAcs)
        removeAircraftFromSim(ac);
    const auto removed = passesUntil([] { return engineLists.liveAcs.empty(); }, "AIRemoveObject");
    ASSERT_EQ(removed.size(), 3u);
    expectGaps(removed, 10);
    EXPECT_TRUE(stub_->objects().empty());
}

// The range can shrink (auto range) while creations are on their way: an object created beyond the new
// range is still found by the objects-in-range request and bound, never left in the simulator unbound.
TEST_F(EngineComponentTest, AnObjectCreatedBeyondTheRangeIsStillBound) {
    start();
    const std::uint32_t range = rangeMeters.load();
    rangeMeters = 10 * wholeMetresPerNm;
    LiveAc& far = spawned(0x4B0001, "SWR1", true);
    far.pos.latitude = 47.45 + 20.0 / 60; // 20 nm north of the user
    passesUntil([] { return engineLists.liveAcs.front().simState == SimState::active; },
                "AICreateNonATCAircraft", 600);
    rangeMeters = range;
    ASSERT_EQ(stub_->objects().size(), 1u);
    EXPECT_EQ(engineLists.liveAcs.front().simState, SimState::active);
    EXPECT_EQ(engineLists.liveAcs.front().oid, stub_->objects().front().id);
}

TEST_F(EngineComponentTest, ABoundObjectIsSetUpOverTwoHundredPasses) {
    stub::Options options;
    options.modelCg[installedTitle] = stub::ModelCg{40.0, 3.0 * pi / 180.0};
    start(options);
    LiveAc& first = spawned(0x4B0001, "SWR1");
    first.cgHeight = 8.0;
    passesUntil([] { return engineLists.liveAcs.front().oid != 0; }, "AICreateNonATCAircraft");
    const std::uint32_t oid = engineLists.liveAcs.front().oid;
    ASSERT_GE(oid, 3u);
    const auto object = [&] { return *stub_->object(oid); };

    // Counter 0 was the binding pass; the toggles come at 50 and 100.
    const auto runTo = [&](int counter) {
        while (engineLists.setupList.empty() ? false : engineLists.setupList.front().counter < counter)
            step();
        sync();
    };
    runTo(49);
    EXPECT_EQ(eventCount(oid, "ALL_LIGHTS_TOGGLE"), 0u);
    runTo(50);
    EXPECT_EQ(eventCount(oid, "ALL_LIGHTS_TOGGLE"), 1u);
    runTo(100);
    EXPECT_EQ(eventCount(oid, "ALL_LIGHTS_TOGGLE"), 2u);

    // The centre-of-gravity reply: a height of 40 ft is not believed, 3 degrees become 0.7.
    ASSERT_TRUE(gf_requestStaticCg(oid));
    settle();
    step();
    EXPECT_DOUBLE_EQ(engineLists.liveAcs.front().cgHeight, 8.0);
    EXPECT_NEAR(engineLists.liveAcs.front().staticPitch, 0.7 * pi / 180.0, 1e-12);

    runTo(199);
    frame();
    EXPECT_EQ(engineLists.liveAcs.front().simState, SimState::adding2sim);
    EXPECT_EQ(object().positionUpdates, 0u) << "no position block before the object is active";
    EXPECT_FALSE(object().enginesRunning);

    step(); // counter 200: active, lights, engines, throttle and flaps
    step(); // the first position block
    frame();
    EXPECT_EQ(engineLists.liveAcs.front().simState, SimState::active);
    const stub::AiObject o = object();
    EXPECT_TRUE(o.enginesRunning);
    EXPECT_EQ(o.lights, static_cast<std::uint32_t>(stub::kLightNav | stub::kLightBeacon | stub::kLightTaxi |
                                                   stub::kLightLogo | stub::kLightCabin));
    EXPECT_EQ(o.flaps, 3072u) << "flaps 1 while taxiing";
    EXPECT_EQ(eventCount(oid, "THROTTLE_SET"), 1u);
    EXPECT_EQ(eventCount(oid, "SPOILERS_SET"), 1u);
    EXPECT_GE(o.positionUpdates, 1u);
}

TEST_F(EngineComponentTest, ARefusedTitleErasesTheRecordAndCountsAsRefused) {
    stub::Options options;
    options.installedTitles = std::set<std::string>{installedTitle};
    start(options);
    spawned(0x4B0001, "SWR1", false, "Not Installed Title");
    spawned(0x4B0002, "SWR2");
    passesUntil([] { return engineLists.liveAcs.size() == 1 && engineLists.liveAcs.front().oid != 0; },
                "AICreateNonATCAircraft", 400);
    ASSERT_EQ(engineLists.liveAcs.size(), 1u);
    EXPECT_EQ(engineLists.liveAcs.front().cs, "SWR2");
    EXPECT_TRUE(gf_isRefusedTitle("Not Installed Title"));
    EXPECT_EQ(engineStatus.refusedCount.load(), 1u);
}

TEST_F(EngineComponentTest, RemovalsAroundACreation) {
    start();
    // Withdrawn while its creation waits in the engine: no simulator call at all.
    LiveAc& early = spawned(0x4B0001, "SWR1");
    step();
    ASSERT_EQ(engineLists.liveCreateQueue.size(), 1u);
    removeAircraftFromSim(early);
    for (int i = 0; i < 60; ++i)
        step();
    sync();
    EXPECT_TRUE(engineLists.liveAcs.empty());
    EXPECT_EQ(stub_->callCount("AICreateNonATCAircraft"), 0u);
    EXPECT_EQ(stub_->callCount("AIRemoveObject"), 0u);

    // Asked for once the creation was sent: removed right after the set-up.
    spawned(0x4B0002, "SWR2");
    passesUntil([&] { return stub_->counts().creations >= 1; }, "AICreateNonATCAircraft");
    removeAircraftFromSim(engineLists.liveAcs.front());
    EXPECT_TRUE(engineLists.liveAcs.front().removePending);
    std::int64_t activeAt = -1;
    const auto removed = passesUntil(
        [&] {
            if (activeAt < 0 && !engineLists.liveAcs.empty() &&
                engineLists.liveAcs.front().simState != SimState::adding2sim)
                activeAt = enginePassCount.load();
            return engineLists.liveAcs.empty();
        },
        "AIRemoveObject");
    ASSERT_EQ(removed.size(), 1u);
    ASSERT_GE(activeAt, 0);
    EXPECT_GE(removed.front() + 1, activeAt) << "not before the set-up";
    EXPECT_LE(removed.front() - activeAt, 10) << "at the next removal slot";

    // An object taken out for a livery respawn comes back as a buffered record.
    spawned(0x4B0003, "SWR3");
    passesUntil([&] { return engineLists.liveAcs.front().simState == SimState::active; },
                "AICreateNonATCAircraft");
    const std::uint32_t oid = engineLists.liveAcs.front().oid;
    engineLists.liveAcs.front().simState = SimState::liveryrespawn;
    // Two samples, the first due later: the buffered record waits for its spawn.
    engineLists.liveAcs.front().samples.front().duePass = enginePassCount.load() + 100000;
    engineLists.liveAcs.front().samples.push_back(engineLists.liveAcs.front().samples.front());
    engineLists.removalQueue.push_back(oid);
    passesUntil([] { return engineLists.liveAcs.front().oid == 0; }, "AIRemoveObject", 200);
    ASSERT_EQ(engineLists.liveAcs.size(), 1u);
    EXPECT_EQ(engineLists.liveAcs.front().simState, SimState::buffer);
    EXPECT_FALSE(stub_->object(oid).has_value());
}

// ---- The road of a live flight: feed records, movement and removal ----------------------------------

constexpr Lalo lszh{47.4581, 8.5481};

// A traffic datagram as RealTraffic sends it: an airborne A320 at the given place and feed time.
std::string trafficDatagram(std::uint32_t hexid, const std::string& cs, const Lalo& at, double feedTime,
                            double gs, double trackDeg, double altFt) {
    return fmt::format(
        "RTTFC,{},{:.6f},{:.6f},{:.0f},0,0,{:.1f},{:.0f},{},A320,HB-JLT,,,{:.1f},adsb,{},adsb_icao,"
        "{:.0f},{:.0f},{:.0f},0.5,0,0,{:.1f},{:.1f},0,none,A3",
        hexid, at.lat, at.lon, altFt, trackDeg, gs, cs, feedTime, cs, altFt, gs, gs, trackDeg, trackDeg);
}

class EngineRoadTest : public EngineComponentTest {
protected:
    void SetUp() override {
        EngineComponentTest::SetUp();
        scannedLiveries = {{"SWR", "A320", installedTitle, "", 1, false}};
        gf_sortLiveries(scannedLiveries);
        gf_buildLiveryTables({});
        scannedLiveries.clear();
        RANGE.value = 40;
        trafficRadiusNm = 40.0;
        gf_setAddingStackOpen(true);
        trafficReader.setReferencePosition(lszh);
    }

    void TearDown() override {
        gf_resetParkAirportForTests();
        EngineComponentTest::TearDown();
    }

    stub::SimStub& startAtLszh() {
        stub::Options options;
        options.user.latitude = lszh.lat;
        options.user.longitude = lszh.lon;
        return start(std::move(options));
    }
};

TEST_F(EngineRoadTest, AnOverflightIsShownThirtySecondsBehindAndLeavesTheRange) {
    startAtLszh();
    // East-bound at 250 kn, from 38 nm east of Zurich: it crosses the 40 nm range after about 30 s
    // and the feed's filter stops its records there.
    const double gs = 250;
    const auto feedAt = [&](double seconds) {
        return gf_destinationPoint(Lalo{lszh.lat, lszh.lon + 38.0 / 60.0 / std::cos(lszh.lat * pi / 180)},
                                   pi / 2, gs * seconds / 3600.0 * feetPerNm);
    };
    constexpr double feedStart = 1765370000.0;
    const std::uint32_t hexid = 0x4B1234;
    std::uint32_t oid = 0;
    double worstNm = 0;
    int compared = 0;
    for (int i = 0; i < 12000; ++i) {
        const std::int64_t number = enginePassCount.load();
        if (number % 200 == 0 && number <= 9000)
            trafficReader.handle(trafficDatagram(hexid, "SWR77", feedAt(number / 100.0),
                                                 feedStart + number / 100.0, gs, 90, 30000));
        step();
        const LiveAc* ac = gf_findLiveByHexid(hexid);
        if (oid == 0 && ac && ac->simState == SimState::active) oid = ac->oid;
        if (oid != 0 && number % 100 == 0 && ac && ac->simState == SimState::active && number >= 3500) {
            sync();
            const auto object = stub_->object(oid);
            ASSERT_TRUE(object.has_value());
            const double d =
                gf_distanceNm(Lalo{object->latitude, object->longitude}, feedAt((number - 3000) / 100.0));
            worstNm = std::max(worstNm, d);
            ++compared;
        }
        if (oid != 0 && !ac) break;
    }
    ASSERT_NE(oid, 0u) << "the flight was created";
    EXPECT_GT(compared, 15);
    EXPECT_LE(worstNm, gs * 2.0 / 3600.0) << "within one sample spacing of the feed 30 s earlier";
    // It ran out of samples at the edge of the range and was taken out through the link.
    EXPECT_EQ(gf_findLiveByHexid(hexid), nullptr);
    const auto removed = stub_->removedObjects();
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_EQ(removed.front().tail, "SWR77");
    EXPECT_GE(gf_distanceNm(lszh, Lalo{removed.front().latitude, removed.front().longitude}), 39.0);
}

TEST_F(EngineRoadTest, AFlightPlanIsWrittenAndSentForTheSimulatorOf2020Only) {
    ASSERT_TRUE(gf_createFlightPlanFolder());
    startAtLszh();
    for (const bool is2020 : {true, false}) {
        SCOPED_TRACE(is2020 ? "MSFS 2020" : "MSFS 2024");
        chosen2020_ = is2020;
        LiveAc& ac = spawned(is2020 ? 0x4B0001 : 0x4B0002, is2020 ? "SWR1" : "SWR2");
        ac.orig = "LSZH";
        ac.dest = "EGLL";
        passesUntil(
            [] {
                return !engineLists.liveAcs.empty() &&
                       engineLists.liveAcs.front().simState == SimState::active;
            },
            "AISetAircraftFlightPlan");
        ASSERT_FALSE(engineLists.liveAcs.empty());
        // The plan is written off the pass: its outcome is taken by the pass after the worker is done.
        gf_flightPlanWorkerIdleForTests();
        step();
        sync();
        const std::uint32_t oid = engineLists.liveAcs.front().oid;
        const auto plan = gf_flightPlanPath(oid);
        EXPECT_TRUE(std::filesystem::exists(plan));
        EXPECT_TRUE(engineLists.liveAcs.front().hasFlightPlan);
        EXPECT_EQ(stub_->callCount("AISetAircraftFlightPlan"), 1u) << "sent for the first (2020) only";
        removeAircraftFromSim(engineLists.liveAcs.front());
        passesUntil([] { return engineLists.liveAcs.empty(); }, "AIRemoveObject");
        gf_flightPlanWorkerIdleForTests();
        EXPECT_FALSE(std::filesystem::exists(plan)) << "deleted when the object goes";
    }
}

// RealTraffic goes away while aircraft are shown: the pass goes on, the live traffic leaves the
// simulator and RealTraffic's new connection is taken without a stall.
TEST_F(EngineRoadTest, RealTrafficLostRemovesTheLiveTrafficWhileThePassGoesOn) {
    startAtLszh();
    realTrafficLocal.store(true);
    gf_feedHooks().userState = [] { return RtUserState{lszh.lat, lszh.lon, 0, 0, 0, 1400, 0}; };
    gf_feedHooks().removeLiveTraffic = [] { gf_removeLiveTraffic(); };
    realTrafficLink.startServer("0");
    rtfeed::TcpPeer::Options peerOptions;
    peerOptions.port = realTrafficLink.serverPort();
    peerOptions.level = 2;
    peerOptions.version = "9.0";
    peerOptions.reconnectDelay = 50ms;
    rtfeed::TcpPeer peer(peerOptions);
    peer.start();
    gf_awaitRTConnection();
    ASSERT_TRUE(realTrafficLink.rtClientConnected.load());

    for (std::uint32_t i = 1; i <= 3; ++i)
        spawned(0x4B0000 + i, "SWR" + std::to_string(i), true);
    passesUntil(
        [] {
            return std::all_of(engineLists.liveAcs.begin(), engineLists.liveAcs.end(),
                               [](const LiveAc& ac) { return ac.simState == SimState::active; });
        },
        "AICreateNonATCAircraft");
    ASSERT_EQ(stub_->objects().size(), 3u);
    // Two more on their way: one creation handed to the link, one still queued in the engine.
    spawned(0x4B0011, "SWR11", true);
    spawned(0x4B0012, "SWR12", true);

    peer.drop();
    const std::int64_t droppedAt = enginePassCount.load();
    passesUntil([] { return engineLists.liveAcs.empty(); }, "AIRemoveObject", 3000);
    EXPECT_TRUE(engineLists.liveAcs.empty());
    settle();
    EXPECT_TRUE(stub_->objects().empty()) << "every object left the simulator";
    EXPECT_LE(stub_->counts().creations, 5u);
    EXPECT_LT(enginePassCount.load() - droppedAt, 3000) << "the pass went on";

    // RealTraffic connects again: a later pass takes the connection without waiting for it.
    passesUntil([] { return realTrafficLink.rtClientConnected.load(); }, "AIRemoveObject", 3000);
    EXPECT_TRUE(realTrafficLink.rtClientConnected.load());
    peer.stop();
    gf_resetFeedForTests();
}

// An arrival into Zurich: approach within 10 nm, flare, touchdown on the stand-in's on-ground report,
// spoilers and the control block, then the standing attitude. An FSLTL model's throttle runs the other
// way: its block asks for reverse thrust.
struct ArrivalCase {
    const char* title;
    double throttlePct;
};

class EngineArrivalTest : public EngineRoadTest, public testing::WithParamInterface<ArrivalCase> {};

INSTANTIATE_TEST_SUITE_P(Titles, EngineArrivalTest,
                         testing::Values(ArrivalCase{installedTitle, 100},
                                         ArrivalCase{"FSLTL_A320_SWR-Swiss", -100}),
                         [](const testing::TestParamInfo<ArrivalCase>& info) {
                             return info.param.throttlePct < 0 ? std::string("Fsltl") : std::string("Other");
                         });

TEST_P(EngineArrivalTest, TouchesDownOnTheSimulatorsReport) {
    stub::Options options;
    options.user.latitude = lszh.lat + 0.2;
    options.user.longitude = lszh.lon;
    options.user.altitudeFt = 1400;
    options.groundAreas.push_back(stub::GroundArea{lszh.lat, lszh.lon, 8, 1400});
    start(std::move(options));
    parkAirportCode = "LSZH";
    currentParkAirport.code = "LSZH";
    currentParkAirport.lat = lszh.lat;
    currentParkAirport.lon = lszh.lon;
    currentParkAirport.alt = 1400;

    LiveAc& ac = spawned(0x4B0001, "SWR1", true, GetParam().title);
    // As the livery choice marks it.
    ac.reverseFlag = std::string_view(GetParam().title).starts_with("FSLTL_");
    ac.cgHeight = 8;
    ac.pos.latitude = lszh.lat + 0.05;
    ac.pos.longitude = lszh.lon;
    ac.pos.altitude = 2400;
    ac.pos.heading = pi; // south
    ac.samples.clear();
    const std::int64_t first = enginePassCount.load() + 300;
    // Ten airborne samples down to the runway, two seconds apart, then five on the ground.
    for (int k = 0; k < 15; ++k) {
        PosSample s;
        s.lat = lszh.lat + 0.05 - 0.0015 * k;
        s.lon = lszh.lon;
        s.airborne = k < 10;
        s.alt = s.airborne ? 2400 - 100.0 * k : 0;
        s.vs = s.airborne ? -3000 : 0;
        s.gs = s.airborne ? 140 : 120 - 10 * (k - 10);
        s.track = 180;
        s.duePass = first + 200 * k;
        ac.samples.push_back(s);
    }
    bool approached = false;
    std::uint32_t flare = 0;
    for (int i = 0; i < 5000 && !(engineLists.liveAcs.front().move.touchedDown); ++i) {
        step();
        approached |= engineLists.liveAcs.front().move.approach;
        flare = std::max(flare, engineLists.liveAcs.front().move.flareStage);
    }
    const LiveAc& landed = engineLists.liveAcs.front();
    ASSERT_TRUE(landed.move.touchedDown);
    EXPECT_TRUE(approached);
    EXPECT_GE(flare, 1u);
    EXPECT_TRUE(landed.onGround);
    EXPECT_TRUE(landed.move.landingRoll);
    settle();
    frame();
    sync();
    const auto object = *stub_->object(landed.oid);
    EXPECT_EQ(object.spoilers, 16383u);
    EXPECT_DOUBLE_EQ(object.spoilersHandlePct, 100);
    EXPECT_DOUBLE_EQ(object.throttleLever1Pct, GetParam().throttlePct);
    EXPECT_DOUBLE_EQ(object.throttleLever2Pct, GetParam().throttlePct);

    // Pitch and bank come to their standing values over the type's on-ground passes.
    for (std::uint32_t i = 0; i <= engineLists.liveAcs.front().onGroundSlots; ++i)
        step();
    EXPECT_DOUBLE_EQ(engineLists.liveAcs.front().pos.pitch, engineLists.liveAcs.front().staticPitch);
    EXPECT_DOUBLE_EQ(engineLists.liveAcs.front().pos.bank, 0.0);
}

// A departure first seen in the air, climbing out of Zurich: gear up, flaps 0 and climb thrust reach the
// simulator's object, and the flight is `flying`.
TEST_F(EngineRoadTest, ADepartureFirstSeenInTheAirClimbsOut) {
    stub::Options options;
    options.user.latitude = lszh.lat;
    options.user.longitude = lszh.lon;
    options.user.altitudeFt = 1400;
    options.groundAreas.push_back(stub::GroundArea{lszh.lat, lszh.lon, 8, 1400});
    start(std::move(options));
    parkAirportCode = "LSZH";
    currentParkAirport.code = "LSZH";
    currentParkAirport.lat = lszh.lat;
    currentParkAirport.lon = lszh.lon;
    currentParkAirport.alt = 1400;

    LiveAc& ac = spawned(0x4B0002, "SWR2", true);
    ac.phase = AcPhase::birth;
    ac.pos.latitude = lszh.lat + 0.02;
    ac.pos.longitude = lszh.lon;
    ac.pos.altitude = 1900;
    ac.samples.clear();
    const std::int64_t first = enginePassCount.load() + 300;
    // Northbound, 1,500 ft/min: a sample every two seconds from 1,900 ft.
    for (int k = 0; k < 12; ++k) {
        PosSample s;
        s.lat = lszh.lat + 0.02 + 0.0015 * k;
        s.lon = lszh.lon;
        s.airborne = true;
        s.alt = 1900 + 50.0 * k;
        s.vs = 1500;
        s.gs = 160;
        s.track = 0;
        s.duePass = first + 200 * k;
        ac.samples.push_back(s);
    }
    for (int i = 0; i < 3000 && !engineLists.liveAcs.front().move.climbOutDone; ++i)
        step();
    ASSERT_EQ(engineLists.liveAcs.size(), 1u);
    const LiveAc& climbing = engineLists.liveAcs.front();
    ASSERT_TRUE(climbing.move.climbOutDone);
    EXPECT_EQ(climbing.phase, AcPhase::flying);
    settle();
    frame();
    sync();
    const auto object = *stub_->object(climbing.oid);
    EXPECT_EQ(object.gear, 0u);
    EXPECT_FALSE(callsStartingWith(fmt::format("TransmitClientEvent {} GEAR_SET 0", climbing.oid)).empty())
        << "the gear was raised";
    EXPECT_EQ(object.flaps, 0u);
    EXPECT_EQ(object.throttle, 16383u);
    EXPECT_FALSE(object.onGround);
    EXPECT_EQ(eventCount(climbing.oid, "THROTTLE_SET"), 1u) << "once";
}

// The departures of the Zurich scenario climbing through 10,000 ft, turning with the roll and true
// heading their reports carry, and an aircraft created beyond the objects-in-range radius.
class EngineScenarioTest : public EngineRoadTest {
protected:
    void SetUp() override {
        EngineRoadTest::SetUp();
        scannedLiveries = {{"THY", "B738", "Stub B738 Turkish", "", 1, false},
                           {"OAW", "E190", "Stub E190 Helvetic", "", 1, false}};
        gf_sortLiveries(scannedLiveries);
        gf_buildLiveryTables({});
        scannedLiveries.clear();
        dbase.aircrafts.insert("E190");
        dbase.large.insert("E190");
    }

    void TearDown() override {
        currentQnh = 1013;
        EngineRoadTest::TearDown();
    }

    // The stand-in with the user at Zurich and a ground area at its elevation; LSZH is the park airport.
    void startAtZurich() {
        stub::Options options;
        options.user.latitude = lszh.lat;
        options.user.longitude = lszh.lon;
        options.user.altitudeFt = 1400;
        options.groundAreas.push_back(stub::GroundArea{lszh.lat, lszh.lon, 8, 1400});
        start(std::move(options));
        parkAirportCode = "LSZH";
        currentParkAirport.code = "LSZH";
        currentParkAirport.lat = lszh.lat;
        currentParkAirport.lon = lszh.lon;
        currentParkAirport.alt = 1400;
        trafficReader.setParkAirport("LSZH", lszh, 1400);
        currentQnh = 1018;
    }

    // Both the feed's radius and the engine's range, as the range control sets them.
    static void setRange(std::int32_t nm) {
        RANGE.value = nm;
        trafficRadiusNm = nm;
        rangeMeters = static_cast<std::uint32_t>(nm) * wholeMetresPerNm;
    }
};

struct Arrival {
    std::int64_t pass; // counted from the start of the scenario
    std::string datagram;
    TrafficRecord record;
};

// The reports of the scenario's flights `callsigns` up to `seconds`, as the feed reads them.
std::vector<Arrival> scenarioReports(const std::set<std::string>& callsigns, double seconds) {
    TrafficFilter filter;
    filter.reference = lszh;
    filter.radiusNm = 40;
    std::vector<Arrival> out;
    for (const auto& line :
         rtfeed::loadReplay(std::filesystem::path(SKYLOOM_SOURCE_DIR) / "tools/rtfeed/replays/demo.txt")) {
        if (line.kind != 'T' || line.at > seconds) continue;
        TrafficDatagramResult r = gf_readTrafficDatagram(line.payload, filter);
        if (r.drop != TrafficDrop::none || !callsigns.contains(r.record.cs)) continue;
        out.push_back(Arrival{std::llround(line.at * 100), line.payload, r.record});
    }
    return out;
}

// How far `p` is from the flight's reports around scenario time `at` (reports joined by straight legs),
// less the widest spacing between two of those reports; nullopt when none lies there.
std::optional<double> beyondSpacing(const std::vector<Arrival>& arrivals, const std::string& cs,
                                    const Lalo& p, double at) {
    std::optional<double> nearest;
    double spacing = 0;
    const Arrival* before = nullptr;
    for (const Arrival& a : arrivals) {
        if (a.record.cs != cs) continue;
        if (before && a.pass / 100.0 >= at - 2 && before->pass / 100.0 <= at + 2) {
            const Lalo from{before->record.pos.lat, before->record.pos.lon};
            const Lalo to{a.record.pos.lat, a.record.pos.lon};
            spacing = std::max(spacing, gf_distanceNm(from, to));
            for (int k = 0; k <= 10; ++k) {
                const double u = k / 10.0;
                const double d = gf_distanceNm(
                    p, Lalo{from.lat + u * (to.lat - from.lat), from.lon + u * (to.lon - from.lon)});
                nearest = std::min(nearest.value_or(d), d);
            }
        }
        before = &a;
    }
    if (!nearest) return std::nullopt;
    return *nearest - spacing;
}

// What became of the scenario's departures THY1911 and OAW8262 over its first `seconds`, with the range
// at `rangeNm`.
struct DepartureRun {
    std::map<std::string, std::uint32_t> oids;
    std::map<std::string, double> worstNm; // beyond one report spacing of the reports 30 s earlier
    std::map<std::string, double> goneAt;  // scenario seconds at which the object was taken out
};

class EngineDepartureTest : public EngineScenarioTest {
protected:
    const std::set<std::string> callsigns{"THY1911", "OAW8262"};

    DepartureRun run(std::int32_t rangeNm, double seconds) {
        startAtZurich();
        setRange(rangeNm);
        const std::vector<Arrival> arrivals = scenarioReports(callsigns, seconds);
        EXPECT_TRUE(std::any_of(arrivals.begin(), arrivals.end(), [](const Arrival& a) {
            return a.record.pos.bank.has_value();
        })) << "the reports carry a roll";
        DepartureRun out;
        std::size_t next = 0;
        const std::int64_t first = enginePassCount.load();
        const std::int64_t end = first + static_cast<std::int64_t>(seconds * 100);
        while (enginePassCount.load() < end) {
            const std::int64_t now = enginePassCount.load() - first;
            for (; next < arrivals.size() && arrivals[next].pass <= now; ++next)
                trafficReader.handle(arrivals[next].datagram);
            step();
            for (const std::string& cs : callsigns) {
                const LiveAc* ac = nullptr;
                for (const LiveAc& a : engineLists.liveAcs)
                    if (a.cs == cs) ac = &a;
                if (ac && ac->simState == SimState::active) out.oids[cs] = ac->oid;
                if (!out.oids.contains(cs) || out.goneAt.contains(cs)) continue;
                if (!ac || ac->removePending || ac->simState != SimState::active) {
                    out.goneAt[cs] = now / 100.0;
                    continue;
                }
                if (now % 100 != 0) continue;
                if (const auto beyond = beyondSpacing(arrivals, cs, Lalo{ac->pos.latitude, ac->pos.longitude},
                                                      (now - feedDelayPasses) / 100.0))
                    out.worstNm[cs] = std::max(out.worstNm[cs], *beyond);
            }
        }
        settle();
        return out;
    }
};

// With the range at 40 nm both stay as long as they report, 30 s behind their reports.
TEST_F(EngineDepartureTest, StayWhileTheyReportWithinTheRange) {
    const DepartureRun r = run(40, 160);
    for (const std::string& cs : callsigns) {
        SCOPED_TRACE(cs);
        ASSERT_TRUE(r.oids.contains(cs)) << "created";
        EXPECT_LE(r.worstNm.at(cs), 0.05) << "within one report spacing of its reports 30 s earlier";
        EXPECT_FALSE(r.goneAt.contains(cs)) << "went at " << r.goneAt.at(cs) << " s while its flight reports";
    }
}

// With the 10 nm a user on the ground gets, the feed stops THY1911's reports at 10 nm: it goes at the
// range's edge once its samples have run out, and the log says why.
TEST_F(EngineDepartureTest, GoAtTheRangesEdgeAndTheLogSaysWhy) {
    const DepartureRun r = run(10, 60);
    ASSERT_TRUE(r.oids.contains("THY1911")) << "created";
    EXPECT_LE(r.worstNm.at("THY1911"), 0.05);
    ASSERT_TRUE(r.goneAt.contains("THY1911")) << "taken out at the range's edge";
    const std::string log = logText();
    std::istringstream lines(log);
    bool said = false;
    for (std::string line; std::getline(lines, line);)
        said |= line.find("THY1911") != std::string::npos &&
                line.find("removed: left the range") != std::string::npos;
    EXPECT_TRUE(said) << log;
}

// The automatic range of a user on the ground is 10 nm, and the objects-in-range request reaches no
// further; an aircraft created farther out (its reports came while the range was wider) is still bound,
// set up and moved at once rather than left waiting for the request to reach it.
TEST_F(EngineScenarioTest, AnObjectCreatedBeyondTheRangeIsBoundAndMoved) {
    startAtZurich();
    setRange(10);
    LiveAc& ac = spawned(0x4B0021, "SWR21", true);
    ac.pos.latitude = lszh.lat + 15.0 / 60.0; // 15 nm north
    ac.pos.longitude = lszh.lon;
    ac.pos.altitude = 12000;
    ac.samples.front().lat = ac.pos.latitude;
    ac.samples.front().lon = ac.pos.longitude;
    ac.samples.front().alt = ac.pos.altitude;
    ac.samples.front().gs = 250;
    ac.samples.front().duePass = enginePassCount.load();
    PosSample later = ac.samples.front();
    later.lat += 0.02;
    later.duePass += 3000;
    ac.samples.push_back(later);
    std::int64_t createdAt = -1;
    for (int i = 0; i < 1000; ++i) {
        step();
        if (createdAt < 0 && stub_->counts().creations == 1) createdAt = enginePassCount.load();
        if (engineLists.liveAcs.front().simState == SimState::active) break;
    }
    ASSERT_GE(createdAt, 0) << "created";
    ASSERT_EQ(engineLists.liveAcs.front().simState, SimState::active) << "bound and set up";
    EXPECT_LE(enginePassCount.load() - createdAt, 260) << "the set-up's 200 passes and a little";
    for (int i = 0; i < 5; ++i)
        step();
    settle();
    const auto object = stub_->object(engineLists.liveAcs.front().oid);
    ASSERT_TRUE(object.has_value());
    EXPECT_GT(object->motion.positionBlocks, 0u);
}
} // namespace
} // namespace enginetest
