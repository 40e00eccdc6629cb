// The engine pass without a simulator: the adding stack, the intake rules, the paced hand-over, the
// removal and the reset.

#include "engine/base/ac_removal.h"
#include "engine/base/engine_tables.h"
#include "engine/base/stands.h"
#include "engine/engine_requests.h"
#include "engine/engine_reset.h"
#include "engine/live/no_match.h"
#include "engine/live/traffic_intake.h"
#include "engine_fixture.h"
#include "feed/udp_readers.h"

#include <gmock/gmock.h>

#include <limits>
#include <type_traits>

namespace enginetest {
namespace {

using EnginePassTest = EngineTest;

TEST_F(EnginePassTest, FiveQueuedRecordsAreTakenTwoTwoOne) {
    for (std::uint32_t i = 0; i < 5; ++i)
        queue(record(0x4B0001 + i, "SWR" + std::to_string(i + 1), "A320", 100));
    std::vector<std::size_t> known;
    for (int i = 0; i < 3; ++i) {
        pass();
        known.push_back(engineLists.liveAcs.size());
    }
    EXPECT_EQ(known, (std::vector<std::size_t>{2, 4, 5}));
    EXPECT_EQ(enginePassCount.load(), 3);
}

// The livery cache holds one entry per transponder address ever seen: it starts again once a day, so that
// a run of days does not keep every flight it saw.
TEST_F(EnginePassTest, ABusyFeedKeepsTheStackAtItsBound) {
    const std::pair<std::size_t, std::size_t> cases[] = {{0, 0},   {1, 1},   {2, 2},
                                                         {200, 2}, {201, 1}, {700, 500}};
    for (const auto& [waiting, taken] : cases)
        EXPECT_EQ(gf_recordsToTake(waiting), taken) << waiting;

    for (std::uint32_t i = 0; i < 500; ++i)
        queue(record(0x400000 + i, "T" + std::to_string(i), "A320", 100));
    pass();
    EXPECT_EQ(waiting(), addingStackBound);
    EXPECT_EQ(engineLists.liveAcs.size(), 300u);
    pass();
    EXPECT_EQ(waiting(), addingStackBound - 2);
}

TEST_F(EnginePassTest, FeedTimeAndSpeedRulesForAKnownAircraft) {
    struct Case {
        const char* what;
        double dt, gsBefore, gsAfter;
        bool taken;
    } const cases[] = {
        {"0.5 s later", 0.5, 250, 250, false},  {"1.0 s later", 1.0, 250, 250, false},
        {"1.5 s later", 1.5, 250, 260, true},   {"an older record", -3, 250, 260, false},
        {"3 kn to 90 kn", 2, 3, 90, false},     {"90 kn to 3 kn", 2, 90, 3, false},
        {"10 kn to 100 kn", 2, 10, 100, false}, {"10 kn to 60 kn", 2, 10, 60, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        gf_resetEngineForTests();
        ASSERT_EQ(gf_addOrUpdate(record(0x4B0001, "SWR1", "A320", 100, c.gsBefore, 90, c.gsBefore > 30)),
                  IntakeResult::created);
        auto second = record(0x4B0001, "SWR1", "A320", 100 + c.dt, c.gsAfter, 120, c.gsAfter > 30);
        second.pos.lat += 0.01; // a sample at the same place would be dropped by the movement's intake
        EXPECT_EQ(gf_addOrUpdate(second), c.taken ? IntakeResult::accepted : IntakeResult::dropped);
        EXPECT_EQ(engineLists.liveAcs.front().samples.size(), c.taken ? 2u : 1u);
        if (c.taken) {
            EXPECT_EQ(engineLists.liveAcs.front().lastFeedTime, 100 + c.dt);
        }
    }
}

TEST_F(EnginePassTest, ThinningKeepsFewSamplesOfSteadyMovement) {
    struct Case {
        const char* what;
        double gs, track2;
        bool airborne;
        double dropAfter, takeAfter;
    } const cases[] = {
        {"450 kn straight", 450, 90.5, true, 1.9, 2.0},   {"450 kn turning", 450, 95, true, 1.1, 1.1},
        {"100 kn straight", 100, 90, true, 1.1, 1.1},     {"taxi at 10 kn", 10, 91, false, 3.8, 3.95},
        {"standing", 0, 90, false, 14.9, 15.1},           {"taxi at 10 kn turning", 10, 95, false, 1.1, 1.1},
        {"track across north", 450, 0.5, true, 1.9, 2.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const double track1 = std::string(c.what) == "track across north" ? 359.8 : 90;
        for (const double dt : {c.dropAfter, c.takeAfter}) {
            gf_resetEngineForTests();
            gf_addOrUpdate(record(0x4B0001, "SWR1", "A320", 100, c.gs, track1, c.airborne));
            auto second = record(0x4B0001, "SWR1", "A320", 100 + dt, c.gs, c.track2, c.airborne);
            second.pos.lat += 0.01;
            const bool taken = gf_addOrUpdate(second) == IntakeResult::accepted;
            EXPECT_EQ(taken, dt == c.takeAfter) << "after " << dt << " s";
        }
    }
}

TEST_F(EnginePassTest, ADeadReckoningAircraftIsNotThinned) {
    gf_addOrUpdate(record(0x4B0001, "SWR1", "A320", 100, 450));
    engineLists.liveAcs.front().move.extrapolationCount = 3;
    auto second = record(0x4B0001, "SWR1", "A320", 101.5, 450);
    second.pos.lat += 0.01;
    EXPECT_EQ(gf_addOrUpdate(second), IntakeResult::accepted);
}

TEST_F(EnginePassTest, NewFlightsTypeCategoryAndTwins) {
    auto r = record(0x4B0001, "SWR12", "A333", 100);
    r.reg = "HB-JXA";
    EXPECT_EQ(gf_addOrUpdate(r), IntakeResult::created);
    EXPECT_EQ(engineLists.liveAcs.back().type, "B77W") << "the type the database knows for the registration";
    EXPECT_EQ(engineLists.liveAcs.back().sizeCat, SizeCategory::Heavy);
    EXPECT_EQ(engineLists.liveAcs.back().feedCs, "SWR12");
    EXPECT_DOUBLE_EQ(engineLists.liveAcs.back().factorB, 3.0);
    EXPECT_DOUBLE_EQ(engineLists.liveAcs.back().rateB, engineLists.liveAcs.back().rateA);

    EXPECT_EQ(gf_addOrUpdate(record(0x4B0002, "X1", "ZZZZ", 100)), IntakeResult::dropped) << "unknown type";
    EXPECT_EQ(gf_addOrUpdate(record(0x4B0003, "SWR12", "B77W", 100)), IntakeResult::dropped)
        << "same callsign and type under another address";
    EXPECT_EQ(gf_addOrUpdate(record(0x4B0004, "SWR12", "A320", 100)), IntakeResult::created);

    struct Case {
        const char* type;
        CheckBoxParameter* setting;
    } const switched[] = {{"C172", &LIGHT_AIRCRAFT}, {"EC35", &HELICOPTERS}, {"F16", &HIGH_PERF_AIRCRAFT}};
    std::uint32_t hexid = 0x4C0000;
    for (const Case& c : switched) {
        SCOPED_TRACE(c.type);
        c.setting->value = false;
        EXPECT_EQ(gf_addOrUpdate(record(++hexid, "", c.type, 100)), IntakeResult::dropped);
        c.setting->value = true;
        EXPECT_EQ(gf_addOrUpdate(record(++hexid, "", c.type, 100)), IntakeResult::created);
    }
    for (const char* type : {"C56X", "A320", "B77W"}) {
        LIGHT_AIRCRAFT.value = HELICOPTERS.value = HIGH_PERF_AIRCRAFT.value = false;
        EXPECT_EQ(gf_addOrUpdate(record(++hexid, "", type, 100)), IntakeResult::created) << type;
    }
}

TEST_F(EnginePassTest, AFlightAtTheParkAirportsElevationIsLeftOut) {
    auto onField = record(0x4B0001, "SWR1", "A320", 100, 140, 90, true);
    onField.pos.alt = 1450;
    EXPECT_EQ(gf_addOrUpdate(onField), IntakeResult::created) << "no park airport";
    parkAirport.elevationFt = 1416.0; // as the park airport's file gave it
    onField.hexid = 0x4B0002;
    onField.cs = "SWR2";
    EXPECT_EQ(gf_addOrUpdate(onField), IntakeResult::dropped);
    onField.pos.alt = 1600;
    EXPECT_EQ(gf_addOrUpdate(onField), IntakeResult::created);
}

TEST_F(EnginePassTest, APendingSpawnWhoseRecordWentIsDroppedSilently) {
    LiveAc& ac = liveAc(0x4B0001, "SWR1");
    ac.simState = SimState::adding2sim;
    ac.liveryTitle = "Airbus A320 Swiss";
    engineLists.pendingSpawns = {0x4B0099, 0x4B0001};
    pass();
    ASSERT_EQ(engineLists.liveCreateQueue.size(), 1u);
    EXPECT_EQ(engineLists.liveCreateQueue.front().callsign, "SWR1");
    EXPECT_EQ(engineLists.liveCreateQueue.front().title, "Airbus A320 Swiss");
    pass();
    EXPECT_TRUE(engineLists.pendingSpawns.empty());
    EXPECT_EQ(engineLists.liveCreateQueue.size(), 1u);
    EXPECT_EQ(logCount("==>"), 0u);
}

TEST_F(EnginePassTest, CreationsAndRemovalsAreHandedOverAtTheirPace) {
    for (std::uint32_t i = 0; i < 2; ++i) {
        AiCreateRecord live;
        live.callsign = "L" + std::to_string(i);
        engineLists.liveCreateQueue.push_back(live);
    }
    AiCreateRecord parked;
    parked.callsign = "S1*";
    engineLists.staticCreateQueue.push_back(parked);
    engineLists.removalQueue = {31, 32};

    std::vector<std::pair<std::int64_t, std::string>> creates;
    std::vector<std::pair<std::int64_t, std::uint32_t>> removals;
    for (int i = 0; i < 160; ++i) {
        const std::int64_t at = enginePassCount.load();
        pass();
        std::lock_guard lock(simCommandMutex);
        for (const AiCreateRecord& r : simCreateQueue)
            creates.emplace_back(at, r.callsign);
        for (const std::uint32_t oid : simRemoveQueue)
            removals.emplace_back(at, oid);
        simCreateQueue.clear();
        simRemoveQueue.clear();
    }
    EXPECT_EQ(creates,
              (std::vector<std::pair<std::int64_t, std::string>>{{0, "L0"}, {50, "L1"}, {100, "S1*"}}))
        << "no static aircraft while a live one waits";
    EXPECT_EQ(removals, (std::vector<std::pair<std::int64_t, std::uint32_t>>{{0, 31}, {10, 32}}));
}

TEST_F(EnginePassTest, RemovalFollowsTheAircraftsState) {
    LiveAc& buffered = liveAc(0x4B0001, "SWR1");
    removeAircraftFromSim(buffered);
    EXPECT_TRUE(buffered.eraseNow);

    // Two aircraft share a callsign: the removal withdraws only its own creation.
    LiveAc& queued = liveAc(0x4B0002, "SWR2");
    queued.simState = SimState::adding2sim;
    for (const std::uint32_t hexid : {0x4B0002u, 0x3C0002u}) {
        AiCreateRecord r;
        r.callsign = "SWR2";
        r.hexid = hexid;
        engineLists.liveCreateQueue.push_back(r);
    }
    removeAircraftFromSim(queued);
    EXPECT_TRUE(queued.eraseDropped);
    ASSERT_EQ(engineLists.liveCreateQueue.size(), 1u);
    EXPECT_EQ(engineLists.liveCreateQueue.front().hexid, 0x3C0002u);

    LiveAc& spawned = liveAc(0x4B0003, "SWR3");
    spawned.simState = SimState::adding2sim;
    engineLists.pendingSpawns = {0x4B0003};
    removeAircraftFromSim(spawned);
    EXPECT_TRUE(spawned.eraseDropped);
    EXPECT_TRUE(engineLists.pendingSpawns.empty());

    LiveAc& sent = liveAc(0x4B0004, "SWR4");
    sent.simState = SimState::adding2sim;
    removeAircraftFromSim(sent);
    EXPECT_TRUE(sent.removePending);
    EXPECT_FALSE(sent.eraseDropped);

    LiveAc& active = liveAc(0x4B0005, "SWR5");
    active.simState = SimState::active;
    gf_setObjectId(active, 40);
    engineLists.selectedObjectId = 40;
    removeAircraftFromSim(active);
    EXPECT_EQ(active.simState, SimState::removingfromsim);
    EXPECT_EQ(engineLists.removalQueue, (std::deque<std::uint32_t>{40}));
    EXPECT_EQ(engineLists.selectedObjectId.load(), 0u);
    EXPECT_TRUE(CALLSIGN_2_OBJECTID.value().empty());

    LiveAc& noObject = liveAc(0x4B0006, "SWR6");
    noObject.simState = SimState::active;
    removeAircraftFromSim(noObject);
    EXPECT_EQ(logCount("removing act"), 1u);
    EXPECT_TRUE(noObject.eraseNow) << "no removal notice will come for it: it goes at once";
    EXPECT_EQ(noObject.simState, SimState::active);

    pass();
    EXPECT_EQ(engineLists.liveAcs.size(), 2u)
        << "the buffered, the withdrawn and the object-less records are erased";
    EXPECT_EQ(gf_findLiveByHexid(0x4B0006), nullptr);
    EXPECT_EQ(gf_findLiveByHexid(0x4B0005)->oid, 40u) << "the index follows the compaction";
}

TEST_F(EnginePassTest, TheFarthestActiveAircraftGoesFirst) {
    EXPECT_TRUE(gf_removeFarthestLiveAc(-1));
    engineLists.engineUserState.latitude = 47.45;
    engineLists.engineUserState.longitude = 8.56;
    const double lats[] = {47.5, 48.5, 47.9, 49.0};
    std::uint32_t hexid = 0x4B0000, oid = 50;
    for (const double lat : lats) {
        ++hexid;
        LiveAc& ac = liveAc(hexid, "T" + std::to_string(hexid));
        ac.simState = lat == 49.0 ? SimState::adding2sim : SimState::active;
        ac.pos.latitude = lat;
        gf_setObjectId(ac, ++oid);
    }
    engineRequests.requestLiveTrim(1);
    pass();
    const auto state = [](std::uint32_t oid) { return gf_findLiveByOid(oid)->simState; };
    EXPECT_EQ(state(51), SimState::active);
    EXPECT_EQ(state(52), SimState::removingfromsim);
    EXPECT_EQ(state(53), SimState::removingfromsim);
    EXPECT_EQ(state(54), SimState::adding2sim);
    {
        std::lock_guard lock(simCommandMutex);
        EXPECT_EQ(simRemoveQueue, (std::vector<std::uint32_t>{52})) << "48.5 first, handed over at once";
    }
    EXPECT_EQ(engineLists.removalQueue, (std::deque<std::uint32_t>{53}));
    EXPECT_FALSE(gf_removeFarthestLiveAc(5.0));
    EXPECT_TRUE(gf_removeFarthestLiveAc(100.0)) << "nobody beyond the given distance";
}

TEST_F(EnginePassTest, TheResetEmptiesEveryListButKeepsThePassCountAndTheCapacities) {
    gf_reserveTrafficContainers();
    pass(3);
    liveAc(0x4B0001, "SWR1");
    staticAc(1, "SWR1*");
    engineLists.liveCreateQueue.emplace_back();
    engineLists.staticCreateQueue.emplace_back();
    engineLists.removalQueue.push_back(3);
    engineLists.pendingSpawns.push_back(1);
    engineLists.setupList.emplace_back();
    engineLists.coupledSearchQueue.push_back(1);
    engineLists.liveryCache[1] = "title";
    gf_addNoMatch("SWR A320 HB-JLT");
    engineLists.ghostList.emplace_back("SWR1");
    engineLists.selectedObjectId = 5;
    currentQnh = 1020;
    queue(record(0x4B0002, "SWR2", "A320", 1));
    trafficReader.setParkAirport("LSZH", Lalo{47.46, 8.55}, 1416);
    trafficReader.setParkAirportElevation(1416.0);
    const std::size_t liveCapacity = engineLists.liveAcs.capacity();

    gf_clearLiveState();
    EXPECT_TRUE(engineLists.liveAcs.empty() && engineLists.staticAcs.empty() &&
                engineLists.liveCreateQueue.empty() && engineLists.staticCreateQueue.empty());
    EXPECT_TRUE(engineLists.removalQueue.empty() && engineLists.pendingSpawns.empty() &&
                engineLists.setupList.empty() && engineLists.coupledSearchQueue.empty());
    EXPECT_TRUE(engineLists.liveryCache.empty() && engineLists.noMatchSet.empty() &&
                engineLists.ghostList.empty());
    EXPECT_EQ(waiting(), 0u);
    EXPECT_EQ(engineLists.selectedObjectId.load(), 0u);
    EXPECT_EQ(currentQnh.load(), 1013);
    EXPECT_TRUE(trafficReader.parkAirportCode().empty());
    EXPECT_FALSE(trafficReader.parkAirportElevation().has_value());
    EXPECT_EQ(enginePassCount.load(), 3);
    EXPECT_GE(engineLists.liveAcs.capacity(), 512u);
    EXPECT_EQ(engineLists.liveAcs.capacity(), liveCapacity);
    EXPECT_EQ(gf_findLiveByHexid(0x4B0001), nullptr);
}

TEST_F(EnginePassTest, ThePassCountAndDueTimesGoOnPastTheThirtyTwoBitRange) {
    // Months of running: the count passes 2^31, and a parked aircraft's sample lies weeks ahead of it.
    static_assert(std::is_same_v<decltype(enginePassCount)::value_type, std::int64_t>);
    static_assert(std::is_same_v<decltype(PosSample::duePass), std::int64_t>);
    const std::int64_t start = std::numeric_limits<std::int32_t>::max() - 1;
    enginePassCount = start;
    pass(3);
    EXPECT_EQ(enginePassCount.load(), start + 3);
    PosSample parked;
    parked.duePass = enginePassCount.load() + 60'480'000;
    EXPECT_GT(parked.duePass, enginePassCount.load());
    EXPECT_EQ(gf_addOrUpdate(record(0x4B0001, "SWR1", "A320", 100)), IntakeResult::created);
    EXPECT_EQ(engineLists.liveAcs.front().samples.front().duePass, start + 3 + feedDelayPasses);
}

TEST_F(EnginePassTest, NoMatchListIsLoggedAndCleared) {
    gf_addNoMatch("SWR A320 HB-JLT");
    gf_addNoMatch("EZY A320 ");
    gf_logNoMatchList();
    EXPECT_THAT(logText(), ::testing::HasSubstr("\nNo match found for:\nEZY A320 \nSWR A320 HB-JLT\n"));
    gf_clearNoMatchList();
    EXPECT_FALSE(gf_isNoMatch("SWR A320 HB-JLT"));
}

} // namespace
} // namespace enginetest
