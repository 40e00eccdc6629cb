// The life cycle of a live aircraft: the spawn path and its refusals, the live limit, respawns, the
// binding of a new object, failed updates and the removal of all live traffic.

#include "core/units.h"
#include "engine/base/ac_removal.h"
#include "engine/base/engine_tables.h"
#include "engine/engine_requests.h"
#include "engine/engine_reset.h"
#include "engine/live/live_update.h"
#include "engine/live/no_match.h"
#include "engine/live/respawn.h"
#include "engine/stands/stand_search.h"
#include "engine_fixture.h"
#include "liveries/livery_data.h"

#include <fmt/format.h>
#include <gmock/gmock.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <numbers>
#include <set>

namespace enginetest {
namespace {

class LiveCycleTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        scannedLiveries = {
            {"SWR", "A320", "Swiss A320", "", 1, false},    {"SWR", "B77W", "Swiss B77W", "", 1, false},
            {"CLH", "A320", "CityLine A320", "", 1, false}, {"ABC", "A320", "Abc A320", "", 1, false},
            {"EZY", "A320", "Easy A320", "", 1, false},
        };
        gf_sortLiveries(scannedLiveries);
        gf_buildLiveryTables({});
        scannedLiveries.clear();
        dbase.registrations["D-ABCD"] = RegRecord{"DLH", "A320", "CLH", true};
    }

    // A buffered flight with samples at the given due passes (0.01 degrees apart, heading east).
    static LiveAc& flight(std::uint32_t hexid, const std::string& cs, std::vector<std::int64_t> dues,
                          bool airborne = true, double gs = 250, const std::string& type = "A320") {
        LiveAc& ac = liveAc(hexid, cs, type);
        ac.airl.clear();
        ac.samples.clear();
        for (std::size_t i = 0; i < dues.size(); ++i) {
            PosSample s;
            s.lat = 47.45;
            s.lon = 8.56 + 0.01 * static_cast<double>(i);
            s.alt = airborne ? 5000 : 0;
            s.gs = gs;
            s.track = 90;
            s.airborne = airborne;
            s.duePass = dues[i];
            ac.samples.push_back(s);
        }
        return ac;
    }

    // An active aircraft with an object, at the given position.
    static LiveAc& active(std::uint32_t hexid, const std::string& cs, double lat, double lon,
                          std::uint32_t oid) {
        LiveAc& ac = liveAc(hexid, cs);
        ac.simState = SimState::active;
        ac.phase = AcPhase::flying;
        ac.pos.latitude = lat;
        ac.pos.longitude = lon;
        ac.samples.front().lat = lat;
        ac.samples.front().lon = lon;
        ac.samples.front().duePass = 1'000'000;
        gf_setObjectId(ac, oid);
        return ac;
    }

    static void at(std::int64_t passNumber) { enginePassCount = passNumber; }
};

TEST_F(LiveCycleTest, SpawnPathDecides) {
    struct Case {
        const char* what;
        std::vector<std::int64_t> dues;
        bool airborne;
        double gs;
        std::int64_t now;
        SimState state;
        bool erased;
        std::size_t samplesLeft;
    } const cases[] = {
        {"seen once, not yet due", {3000}, true, 250, 2899, SimState::buffer, false, 1},
        {"seen once, due: erased", {3000}, true, 250, 2900, SimState::buffer, true, 1},
        {"taxiing: 3 s lead", {3000, 3200}, false, 15, 2699, SimState::buffer, false, 2},
        {"taxiing: created 3 s before", {3000, 3200}, false, 15, 2700, SimState::adding2sim, false, 2},
        {"standing: 1 s lead", {3000, 3200}, false, 0, 2700, SimState::buffer, false, 2},
        {"standing: created 1 s before", {3000, 3200}, false, 0, 2900, SimState::adding2sim, false, 2},
        {"airborne: 1 s lead", {3000, 3200}, true, 250, 2899, SimState::buffer, false, 2},
        {"airborne: created 1 s before", {3000, 3200}, true, 250, 2900, SimState::adding2sim, false, 2},
    };
    std::uint32_t hexid = 0x4B0000;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ++hexid;
        LiveAc& ac = flight(hexid, "SWR" + std::to_string(hexid % 1000), c.dues, c.airborne, c.gs);
        at(c.now);
        updateLiveAc(ac);
        EXPECT_EQ(ac.simState, c.state);
        EXPECT_EQ(ac.eraseNow, c.erased);
        EXPECT_EQ(ac.samples.size(), c.samplesLeft);
    }
    EXPECT_EQ(engineLists.pendingSpawns.size(), 3u);
    const LiveAc* taxiing = gf_findLiveByHexid(0x4B0004);
    EXPECT_EQ(taxiing->phase, AcPhase::taxi);
    EXPECT_DOUBLE_EQ(taxiing->move.headingStep, 0.0) << "created on the ground";
    EXPECT_EQ(gf_findLiveByHexid(0x4B0008)->phase, AcPhase::flying);
    EXPECT_EQ(gf_findLiveByHexid(0x4B0008)->liveryTitle, "Swiss A320");
    EXPECT_EQ(engineLists.coupledSearchQueue.size(), 3u)
        << "each placement is queued for the duplicate check";
}

TEST_F(LiveCycleTest, SpawnPathRefusals) {
    at(3000);
    LiveAc& mixed = flight(0x4B0001, "SWR1", {3000, 3100, 3200});
    mixed.samples.front().airborne = false;
    updateLiveAc(mixed);
    EXPECT_EQ(mixed.samples.size(), 2u) << "mixed samples drop the front one";
    EXPECT_EQ(mixed.simState, SimState::buffer);

    BLOCK_CALLSIGN.setValue("SWR2");
    LiveAc& blocked = flight(0x4B0002, "SWR2", {3000, 3100});
    updateLiveAc(blocked);
    EXPECT_TRUE(blocked.eraseNow);
    BLOCK_CALLSIGN.setValue("");

    MAX_LIVE_SEL.value = 0;
    LiveAc& none = flight(0x4B0003, "SWR3", {3000, 3100});
    updateLiveAc(none);
    EXPECT_TRUE(none.eraseNow);
    MAX_LIVE_SEL.value = 500;

    // The queue of live creations is full: a new aircraft waits by dropping its front sample.
    engineLists.liveCreateQueue.resize(liveCreateQueueLimit + 1);
    LiveAc& waiting = flight(0x4B0004, "SWR4", {3000, 3100, 3200});
    updateLiveAc(waiting);
    EXPECT_EQ(waiting.samples.size(), 2u);
    EXPECT_EQ(waiting.simState, SimState::buffer);
    engineLists.liveCreateQueue.clear();
}

TEST_F(LiveCycleTest, RegistrationsAndCallsigns) {
    at(3000);
    struct Case {
        const char* what;
        const char* cs;
        const char* airl;
        const char* reg;
        bool spawned;
        const char* csAfter;
        const char* airlAfter;
        const char* typeAfter;
        bool cargo;
    } const cases[] = {
        {"database airline and type", "EZY12", "EZY", "HB-JXA", true, "EZY12", "SWR", "B77W", false},
        {"database operator and cargo", "EZY13", "EZY", "D-ABCD", true, "EZY13", "CLH", "A320", true},
        {"no callsign, known registration", "@@@@@@@@", "", "HB-JXA", true, "HB-JXA", "SWR", "B77W", false},
        {"no callsign, no registration", "@@@@@@@@", "", "", false, "@@@@@@@@", "PVT", "A320", false},
        {"airline from the callsign", "SWR99", "", "", true, "SWR99", "SWR", "A320", false},
        {"no airline anywhere", "N12345", "", "", false, "N12345", "PVT", "A320", false},
    };
    std::uint32_t hexid = 0x4B0000;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LiveAc& ac = flight(++hexid, c.cs, {3000, 3100});
        ac.airl = c.airl;
        ac.reg = c.reg;
        updateLiveAc(ac);
        EXPECT_EQ(ac.simState == SimState::adding2sim, c.spawned);
        EXPECT_EQ(ac.eraseNow, !c.spawned);
        EXPECT_EQ(ac.cs, c.csAfter);
        EXPECT_EQ(ac.airl, c.airlAfter);
        EXPECT_EQ(ac.type, c.typeAfter);
        EXPECT_EQ(ac.cargo, c.cargo);
    }
    // No private livery is installed: the key goes into the no-match set only for a registration.
    EXPECT_TRUE(engineLists.noMatchSet.empty());
    LiveAc& pvt = flight(++hexid, "N12346", {3000, 3100});
    pvt.reg = "N12346";
    updateLiveAc(pvt);
    EXPECT_TRUE(pvt.eraseNow);
    EXPECT_EQ(engineLists.noMatchSet, (std::set<std::string>{gf_matchKey(pvt)}));

    // A key in the no-match set is not tried again until the set is cleared.
    LiveAc& again = flight(++hexid, "SWR5", {3000, 3100});
    again.airl = "SWR";
    gf_addNoMatch(gf_matchKey(again));
    updateLiveAc(again);
    EXPECT_TRUE(again.eraseNow);
    gf_clearNoMatchList();
    LiveAc& later = flight(++hexid, "SWR5", {3000, 3100});
    later.airl = "SWR";
    updateLiveAc(later);
    EXPECT_EQ(later.simState, SimState::adding2sim);
}

TEST_F(LiveCycleTest, AFlightContinuesItsGhost) {
    LiveAc& ghost = active(0x4B0001, "ABC123_", 47.5, 8.5, 50);
    at(3000);
    LiveAc& flightNow = flight(0x4B0002, "ABC123", {3000, 3100});
    updateLiveAc(flightNow);
    EXPECT_EQ(flightNow.simState, SimState::adding2sim);
    EXPECT_EQ(ghost.simState, SimState::removingfromsim);
    EXPECT_EQ(engineLists.ghostList, (std::vector<std::string>{"ABC123_"}));

    // A new instance of the ghost's callsign is dropped at its creation.
    LiveAc& again = flight(0x4B0003, "ABC123_", {3000, 3100});
    updateLiveAc(again);
    EXPECT_TRUE(again.eraseNow);
    EXPECT_EQ(logCount("ABC123_  is a ghost and will be removed, continue with ABC123"), 1u);
}

TEST_F(LiveCycleTest, TheLiveLimitKeepsTheNearest) {
    engineLists.engineUserState.latitude = 47.0;
    engineLists.engineUserState.longitude = 8.0;
    MAX_LIVE_SEL.value = 10;
    for (std::uint32_t i = 0; i < 10; ++i)
        active(0x4B0000 + i, "SWR" + std::to_string(i), 47.0 + 0.1 * (i + 1), 8.0, 100 + i);
    at(3000);
    LiveAc& nearer = flight(0x4C0001, "EZY1", {3000, 3100});
    nearer.samples.front().lat = 47.05; // 3 nm from the user, the farthest is 60 nm away
    updateLiveAc(nearer);
    EXPECT_EQ(nearer.simState, SimState::adding2sim);
    EXPECT_EQ(gf_findLiveByHexid(0x4B0009)->simState, SimState::removingfromsim);
    EXPECT_EQ(engineLists.removalQueue, (std::deque<std::uint32_t>{109}));

    // Nine active and the newcomer's pending spawn: the limit is reached again.
    LiveAc& farther = flight(0x4C0002, "EZY2", {3000, 3100});
    farther.samples.front().lat = 48.5;
    updateLiveAc(farther);
    EXPECT_TRUE(farther.eraseNow);
}

TEST_F(LiveCycleTest, LoweringTheLimitRemovesTheFarthest) {
    engineLists.engineUserState.latitude = 47.0;
    engineLists.engineUserState.longitude = 8.0;
    for (std::uint32_t i = 0; i < 30; ++i)
        active(0x4B0000 + i, "SWR" + std::to_string(i), 47.0 + 0.05 * (i + 1), 8.0, 100 + i);
    engineRequests.requestLiveTrim(10);
    gf_serveEngineRequests();
    for (std::uint32_t i = 0; i < 30; ++i)
        EXPECT_EQ(gf_findLiveByHexid(0x4B0000 + i)->simState,
                  i < 10 ? SimState::active : SimState::removingfromsim)
            << i;
    EXPECT_EQ(engineLists.removalQueue.size(), 20u);
}

// ---- Respawns ----------------------------------------------------------------------------------------

TEST_F(LiveCycleTest, ANewCallsignRespawnsWhereTheAircraftIs) {
    for (const bool guidChanges : {true, false}) {
        SCOPED_TRACE(guidChanges ? "GUID_CHANGES on" : "off");
        gf_resetEngineForTests();
        GUID_CHANGES.value = guidChanges;
        LiveAc& ac = active(0x4B0001, "SWR1", 47.5, 8.6, 60);
        ac.liveryTitle = "Swiss A320";
        ac.pos.altitude = 4321;
        TrafficRecord r = record(0x4B0001, "SWR2", "A320", 2000);
        EXPECT_EQ(gf_respawnCheck(ac, r), !guidChanges);
        EXPECT_EQ(ac.cs, "SWR2");
        EXPECT_EQ(ac.feedCs, "SWR2");
        if (!guidChanges) {
            EXPECT_EQ(ac.simState, SimState::active);
            EXPECT_TRUE(engineLists.removalQueue.empty());
            continue;
        }
        EXPECT_EQ(ac.simState, SimState::liveryrespawn);
        EXPECT_EQ(engineLists.removalQueue, (std::deque<std::uint32_t>{60}));
        ASSERT_EQ(ac.samples.size(), 2u);
        EXPECT_DOUBLE_EQ(ac.samples.front().alt, 4321);
        // The simulator reports the removal: the record is spawned again with the new tail number
        // at its current pose.
        engineLists.removalQueue.clear();
        {
            std::lock_guard lock(simResultMutex);
            simResults.push_back(SimResult{60, 0, 0, SimResultKind::objectRemoved});
        }
        pass();
        ASSERT_EQ(engineLists.liveCreateQueue.size(), 1u);
        EXPECT_EQ(engineLists.liveCreateQueue.front().callsign, "SWR2");
        EXPECT_DOUBLE_EQ(engineLists.liveCreateQueue.front().initPosition.latitude, 47.5);
        EXPECT_DOUBLE_EQ(engineLists.liveCreateQueue.front().initPosition.altitude, 4321);
        EXPECT_EQ(engineLists.liveCreateQueue.front().title, "Swiss A320");
    }
}

// The spawn shows an aircraft whose callsign is too long under its known registration; the feed keeps
// sending that callsign, which must not respawn the aircraft with every datagram.
TEST_F(LiveCycleTest, ACallsignTooLongToShowRespawnsNoMoreThanOnce) {
    GUID_CHANGES.value = true;
    LiveAc& ac = flight(0x4B0001, "CLH100003", {0, 100, 200});
    ac.reg = "D-ABCD";
    gf_spawnPath(ac);
    ASSERT_FALSE(ac.eraseNow);
    ASSERT_EQ(ac.cs, "D-ABCD");
    ac.simState = SimState::active;
    gf_setObjectId(ac, 60);
    TrafficRecord r = record(0x4B0001, "CLH100003", "A320", 2000);
    r.reg = "D-ABCD";
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(gf_respawnCheck(ac, r)) << "datagram " << i;
    EXPECT_EQ(ac.cs, "D-ABCD");
    EXPECT_EQ(ac.simState, SimState::active);
    EXPECT_TRUE(engineLists.removalQueue.empty());
    // A callsign it can show is a change as before.
    r.cs = "CLH1003";
    EXPECT_FALSE(gf_respawnCheck(ac, r));
    EXPECT_EQ(ac.cs, "CLH1003");
}

TEST_F(LiveCycleTest, RouteAndRegistrationChanges) {
    GUID_CHANGES.value = true;
    LiveAc& ac = active(0x4B0001, "SWR1", 47.5, 8.6, 60);
    ac.orig = "LSZH";
    TrafficRecord r = record(0x4B0001, "SWR1", "A320", 2000);
    r.orig = "LSZH";
    r.dest = "EGLL";
    EXPECT_FALSE(gf_respawnCheck(ac, r)) << "filling in a missing destination is a change";
    EXPECT_EQ(ac.dest, "EGLL");
    EXPECT_EQ(ac.simState, SimState::liveryrespawn);

    LiveAc& same = active(0x4B0002, "SWR2", 47.5, 8.6, 61);
    same.orig = "LSZH";
    same.dest = "EGLL";
    TrafficRecord sameRoute = record(0x4B0002, "SWR2", "A320", 2000);
    sameRoute.orig = "LSZH";
    sameRoute.dest = "EGLL";
    EXPECT_TRUE(gf_respawnCheck(same, sameRoute));
    EXPECT_EQ(same.simState, SimState::active);

    // A registration the database has under another airline makes the aircraft forget its livery.
    LiveAc& regChange = active(0x4B0003, "EZY3", 47.5, 8.6, 62);
    regChange.airl = "EZY";
    regChange.liveryTitle = "Easy A320";
    engineLists.liveryCache[0x4B0003] = "Easy A320";
    TrafficRecord withReg = record(0x4B0003, "", "A320", 2000);
    withReg.reg = "HB-JXA";
    EXPECT_FALSE(gf_respawnCheck(regChange, withReg));
    EXPECT_EQ(regChange.airl, "SWR");
    EXPECT_EQ(regChange.type, "B77W");
    EXPECT_EQ(regChange.reg, "HB-JXA");
    EXPECT_TRUE(regChange.liveryTitle.empty());
    EXPECT_EQ(regChange.phase, AcPhase::birth);
    EXPECT_FALSE(engineLists.liveryCache.contains(0x4B0003));
}

TEST_F(LiveCycleTest, RespawnSamples) {
    at(5000);
    LiveAc& parked = active(0x4B0001, "SWR1", 47.5, 8.6, 60);
    parked.phase = AcPhase::parked;
    parked.pos.heading = pi / 2;
    parked.samples.push_back(parked.samples.front());
    parked.samples.push_back(parked.samples.front());
    liveryRespawn(parked);
    ASSERT_EQ(parked.samples.size(), 2u) << "one kept sample and the new one in front";
    for (const PosSample& s : parked.samples) {
        EXPECT_TRUE(s.standing);
        EXPECT_DOUBLE_EQ(s.track, 90.0);
    }
    EXPECT_EQ(parked.samples.front().duePass, 5001);

    // Without an object no removal notice will come: the record is spawned again from buffer.
    LiveAc& noObject = active(0x4B0002, "SWR2", 47.5, 8.6, 0);
    liveryRespawn(noObject);
    EXPECT_EQ(noObject.simState, SimState::buffer);
    EXPECT_EQ(engineLists.removalQueue, (std::deque<std::uint32_t>{60})) << "only the parked one's object";
    EXPECT_EQ(logCount("liveryRespawn removing act"), 1u);
}

TEST_F(LiveCycleTest, ObjectBinding) {
    LiveAc& ac = flight(0x4B0001, "SWR1", {3000, 3100}, false, 10);
    ac.simState = SimState::adding2sim;
    ac.phase = AcPhase::taxi;
    EXPECT_FALSE(gf_objectBound(ac, SimResult{2, 0x4B0001, 0, SimResultKind::liveObjectFound, 0, 3}));
    EXPECT_EQ(ac.oid, 0u);
    EXPECT_EQ(ac.simState, SimState::adding2sim);

    EXPECT_TRUE(gf_objectBound(ac, SimResult{40, 0x4B0001, 0, SimResultKind::liveObjectFound, 0, 3}));
    EXPECT_EQ(gf_findLiveByOid(40), &ac);
    EXPECT_TRUE(ac.onGround);
    EXPECT_DOUBLE_EQ(ac.move.heightAboveGround, 3);
    EXPECT_FALSE(ac.hasFlightPlan) << "no route, no plan";
}

// ---- Failures ----------------------------------------------------------------------------------------

TEST_F(LiveCycleTest, RepeatedFailuresRemoveTheAircraftWithOneLine) {
    // A leg whose travel time does not fit 32 bits throws on every pass.
    LiveAc& ac = active(0x4B0001, "SWR1", 47.5, 8.6, 60);
    ac.samples.front().duePass = 0;
    ac.samples.front().gs = 0.0001;
    PosSample far = ac.samples.front();
    far.lat = 10;
    far.duePass = 10;
    ac.samples.push_back(far);
    for (int i = 0; i < 3; ++i) {
        at(100 + i);
        EXPECT_FALSE(updateLiveAc(ac));
        EXPECT_EQ(ac.simState, i < 2 ? SimState::active : SimState::removingfromsim);
    }
    EXPECT_EQ(logCount("updateLiveAc: narrowing_error"), 1u);
    EXPECT_EQ(logCount("removed after 3 failed updates"), 1u);

    // A position that is not finite never reaches the simulator.
    LiveAc& broken = active(0x4B0002, "SWR2", 47.5, 8.6, 61);
    broken.pos.altitude = std::nan("");
    for (int i = 0; i < 3; ++i)
        updateLiveAc(broken);
    EXPECT_TRUE(positionWriteBuffer.empty());
    EXPECT_EQ(broken.simState, SimState::removingfromsim);
    EXPECT_EQ(logCount("position not finite"), 1u);

    // A success in between starts the count again.
    LiveAc& flaky = active(0x4B0003, "SWR3", 47.5, 8.6, 62);
    for (const double alt : {std::nan(""), std::nan(""), 3000.0, std::nan(""), std::nan("")}) {
        flaky.pos.altitude = alt;
        updateLiveAc(flaky);
    }
    EXPECT_EQ(flaky.simState, SimState::active);
}

TEST_F(LiveCycleTest, RealTrafficLostRemovesTheLiveTraffic) {
    LiveAc& shown = active(0x4B0001, "SWR1", 47.5, 8.6, 60);
    LiveAc& queued = flight(0x4B0002, "SWR2", {3000, 3100});
    queued.simState = SimState::adding2sim;
    AiCreateRecord create;
    create.hexid = 0x4B0002;
    engineLists.liveCreateQueue.push_back(create);
    LiveAc& sent = flight(0x4B0003, "SWR3", {3000, 3100});
    sent.simState = SimState::adding2sim;
    flight(0x4B0004, "SWR4", {3000, 3100});
    (void)shown;
    gf_removeLiveTraffic();
    EXPECT_EQ(gf_findLiveByHexid(0x4B0001)->simState, SimState::removingfromsim);
    EXPECT_EQ(gf_findLiveByHexid(0x4B0002), nullptr) << "its queued creation withdrawn";
    EXPECT_TRUE(engineLists.liveCreateQueue.empty());
    EXPECT_TRUE(gf_findLiveByHexid(0x4B0003)->removePending);
    EXPECT_EQ(gf_findLiveByHexid(0x4B0004)->simState, SimState::buffer);
    EXPECT_EQ(engineLists.removalQueue, (std::deque<std::uint32_t>{60}));
}

// Dense traffic queues aircraft faster than the one-a-second step takes them (each at its first
// position, its approach, its stand, its setup): the queue must stay within the live list, an aircraft
// queued again while it waits keeps its one place, and aircraft that went leave it.
TEST_F(LiveCycleTest, TheDuplicateCheckQueueStaysWithinTheLiveList) {
    std::uint32_t next = 0x4B0000;
    std::deque<std::uint32_t> alive;
    std::size_t most = 0;
    for (int second = 0; second < 2000; ++second) {
        // Two new aircraft a second, each queued three times; the two oldest of 200 go, one by a
        // compaction, one by a swap erase.
        for (int i = 0; i < 2; ++i) {
            alive.push_back(++next);
            active(next, fmt::format("SWR{}", next % 10000), 47.5, 8.6, next);
        }
        for (const std::uint32_t hexid : {alive.back(), alive[alive.size() - 2], alive.back()})
            gf_queueCoupledSearch(hexid);
        if (alive.size() > 200) {
            gf_findLiveByHexid(alive.front())->eraseNow = true;
            gf_compactLiveAcs();
            alive.pop_front();
            const std::uint32_t hexid = alive.front();
            alive.pop_front();
            const auto at = std::find_if(engineLists.liveAcs.begin(), engineLists.liveAcs.end(),
                                         [&](const LiveAc& ac) { return ac.hexid == hexid; });
            gf_eraseLiveAc(static_cast<std::size_t>(at - engineLists.liveAcs.begin()));
        }
        (void)gf_coupledSearchStep(WeekSlot{1, 20});
        most = std::max(most, engineLists.coupledSearchQueue.size());
    }
    EXPECT_LE(most, engineLists.liveAcs.size());
    const std::set<std::uint32_t> queued(engineLists.coupledSearchQueue.begin(),
                                         engineLists.coupledSearchQueue.end());
    EXPECT_EQ(queued.size(), engineLists.coupledSearchQueue.size()) << "an aircraft queued twice";
    for (const std::uint32_t hexid : queued)
        EXPECT_NE(gf_findLiveByHexid(hexid), nullptr) << "an aircraft that went still queued";
}

TEST_F(LiveCycleTest, TheDuplicateCheckQueueDropsAircraftThatWent) {
    active(0x4B0001, "SWR1", 47.5, 8.6, 60);
    engineLists.coupledSearchQueue = {0x4B0009, 0x4B0001};
    EXPECT_EQ(gf_coupledSearchStep(WeekSlot{1, 20}), nullptr);
    EXPECT_EQ(gf_coupledSearchStep(WeekSlot{1, 20}), gf_findLiveByHexid(0x4B0001));
    EXPECT_TRUE(engineLists.coupledSearchQueue.empty());
}

} // namespace
} // namespace enginetest
