// The simulator's results without a simulator: each kind of result, the set-up list and the indexes
// the drain finds records by.

#include "core/units.h"
#include "engine/base/ac_removal.h"
#include "engine/base/engine_tables.h"
#include "engine/sim_results.h"
#include "engine_fixture.h"
#include "liveries/livery_choice.h"

#include <gmock/gmock.h>

#include <numbers>

namespace enginetest {
namespace {

constexpr double rad = pi / 180.0;

class SimResultsTest : public EngineTest {
protected:
    static void post(SimResult r) {
        std::lock_guard lock(simResultMutex);
        simResults.push_back(r);
    }
    static SimResult result(SimResultKind kind, std::uint32_t oid, std::uint32_t value = 0, double a = 0,
                            double b = 0) {
        return SimResult{oid, value, 0, kind, a, b};
    }
    // A live aircraft whose creation was sent.
    static LiveAc& sentLiveAc(std::uint32_t hexid, const std::string& cs) {
        LiveAc& ac = liveAc(hexid, cs);
        ac.simState = SimState::adding2sim;
        return ac;
    }
    static void drain(int passes = 1) {
        for (int i = 0; i < passes; ++i)
            gf_drainSimResults();
    }
};

TEST_F(SimResultsTest, AFoundObjectIsBoundAndActiveAfterItsSetUp) {
    sentLiveAc(0x4B0001, "SWR1");
    post(result(SimResultKind::liveObjectFound, 17, 0x4B0001));
    drain();
    ASSERT_EQ(gf_findLiveByOid(17), gf_findLiveByHexid(0x4B0001));
    EXPECT_EQ(gf_findLiveByOid(17)->simState, SimState::adding2sim);
    drain(198);
    EXPECT_EQ(gf_findLiveByOid(17)->simState, SimState::adding2sim);
    EXPECT_EQ(engineLists.setupList.size(), 1u);
    drain();
    EXPECT_EQ(gf_findLiveByOid(17)->simState, SimState::active);
    EXPECT_TRUE(engineLists.setupList.empty());

    post(result(SimResultKind::liveObjectFound, 2, 0x4B0001));
    drain();
    EXPECT_TRUE(engineLists.setupList.empty()) << "ids of the user and below are no AI objects";
}

TEST_F(SimResultsTest, AStaleSetUpEntryNeverActivatesANewRecordOfTheSameAddress) {
    LiveAc& first = sentLiveAc(0x4B0001, "SWR1");
    post(result(SimResultKind::liveObjectFound, 17, 0x4B0001));
    drain(10);
    // The object goes before its set-up has ended, and later the address comes back.
    removeAircraftFromSim(first); // removePending: the creation was sent
    post(result(SimResultKind::objectRemoved, 17));
    drain();
    EXPECT_EQ(gf_findLiveByHexid(0x4B0001), nullptr);
    EXPECT_TRUE(engineLists.setupList.empty()) << "an entry whose record has gone is dropped";

    LiveAc& again = sentLiveAc(0x4B0001, "SWR1");
    drain(300);
    EXPECT_EQ(again.simState, SimState::adding2sim);
    EXPECT_EQ(again.oid, 0u);

    // An entry found for another object of the same address does not activate this record either.
    gf_setObjectId(again, 25);
    engineLists.setupList.push_back(SimResult{17, 0x4B0001, 150, SimResultKind::liveObjectFound, 0, 0});
    drain(60);
    EXPECT_EQ(again.simState, SimState::adding2sim);
    EXPECT_TRUE(engineLists.setupList.empty());
}

TEST_F(SimResultsTest, AStaticObjectIsParkedWithItsSetUp) {
    StaticAc& ac = staticAc(12, "SWR12*");
    ac.simState = SimState::adding2sim;
    post(result(SimResultKind::staticObjectFound, 30, 12));
    drain(199);
    EXPECT_EQ(ac.oid, 0u);
    drain();
    EXPECT_EQ(ac.simState, SimState::active);
    EXPECT_EQ(gf_findStaticByOid(30), &ac);
    EXPECT_EQ(logCount("sid==0? : SWR12*   parked"), 1u);
    const auto events = takeEvents();
    EXPECT_TRUE(std::any_of(events.begin(), events.end(), [](const ClientEventCmd& e) {
        return e.objectId == 30 && e.eventId == evEngineAutoShutdown;
    }));
}

TEST_F(SimResultsTest, CentreOfGravityData) {
    struct Case {
        double a, b, cg, pitch;
    } const cases[] = {
        {40, 3 * rad, 6.0, 0.7 * rad},      {12, 1 * rad, 12.0, 1 * rad},   {0.5, -1 * rad, 6.0, 0.7 * rad},
        {35, -0.5 * rad, 35.0, -0.5 * rad}, {1, 2.5 * rad, 1.0, 2.5 * rad},
    };
    for (const Case& c : cases) {
        LiveAc& ac = liveAc(0x4B0001, "SWR1");
        ac.cgHeight = 6.0;
        gf_setObjectId(ac, 40);
        post(result(SimResultKind::staticCgData, 40, 0, c.a, c.b));
        drain();
        EXPECT_DOUBLE_EQ(ac.cgHeight, c.cg) << c.a;
        EXPECT_NEAR(ac.staticPitch, c.pitch, 1e-15) << c.b / rad;
        engineLists.liveAcs.clear();
        gf_reindexAircraft();
    }
}

TEST_F(SimResultsTest, GroundDataAndTouchdown) {
    LiveAc& ac = liveAc(0x4B0001, "SWR1");
    ac.simState = SimState::active;
    ac.phase = AcPhase::flying;
    ac.cgHeight = 7;
    ac.staticPitch = 0.01;
    ac.pos.pitch = -0.05;
    ac.pos.bank = 0.02;
    ac.pos.heading = 1.5;
    ac.move.landing = true;
    gf_setObjectId(ac, 41);
    post(result(SimResultKind::groundData, 41, 0, 1400, 300));
    drain();
    EXPECT_FALSE(ac.onGround);
    EXPECT_EQ(ac.move.heightAboveGround, 300.0);
    EXPECT_EQ(ac.pos.altitude, 3000.0) << "in the air the altitude is the aircraft's own";

    post(result(SimResultKind::groundData, 41, 1, 1400, 2));
    drain();
    EXPECT_TRUE(ac.onGround);
    EXPECT_TRUE(ac.move.landingRoll);
    EXPECT_FALSE(ac.move.landing);
    EXPECT_EQ(ac.move.touchdownHeading, 1.5);
    EXPECT_DOUBLE_EQ(ac.move.pitchStep, (0.01 + 0.05) / 350);
    EXPECT_DOUBLE_EQ(ac.move.bankStep, -0.02 / 350);
    EXPECT_EQ(ac.pos.altitude, 1407.0);
    EXPECT_EQ(engineLists.coupledSearchQueue, (std::deque<std::uint32_t>{0x4B0001}));
    const auto events = takeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].eventId, evSpoilersSet);
    EXPECT_EQ(events[0].data, 16383u);

    post(result(SimResultKind::groundData, 41, 1, 1400, 2));
    drain();
    EXPECT_EQ(engineLists.coupledSearchQueue.size(), 1u) << "one touchdown";
}

TEST_F(SimResultsTest, RemovedObjects) {
    LiveAc& respawn = liveAc(0x4B0001, "SWR1");
    respawn.simState = SimState::liveryrespawn;
    respawn.throttleIdx = 0;
    respawn.flapsIdx = 1;
    gf_setObjectId(respawn, 50);
    LiveAc& leaving = liveAc(0x4B0002, "SWR2");
    leaving.simState = SimState::removingfromsim;
    gf_setObjectId(leaving, 51);
    StaticAc& parked = staticAc(3, "SWR3*");
    gf_setObjectId(parked, 52);
    staticAc(4, "SWR4*");

    post(result(SimResultKind::objectRemoved, 50));
    post(result(SimResultKind::objectRemoved, 51));
    post(result(SimResultKind::objectRemoved, 52));
    post(result(SimResultKind::objectRemoved, 99));
    post(SimResult{1, 1, 0, static_cast<SimResultKind>(7), 0, 0});
    drain();
    ASSERT_EQ(engineLists.liveAcs.size(), 1u);
    const LiveAc* back = gf_findLiveByHexid(0x4B0001);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->simState, SimState::buffer);
    EXPECT_EQ(back->oid, 0u);
    EXPECT_EQ(back->throttleIdx, 5u);
    EXPECT_EQ(back->flapsIdx, 4u);
    EXPECT_EQ(gf_findLiveByOid(50), nullptr);
    ASSERT_EQ(engineLists.staticAcs.size(), 1u);
    EXPECT_EQ(gf_findStaticByHexid(4), &engineLists.staticAcs.front())
        << "the last record took the erased one's place";
}

TEST_F(SimResultsTest, ARefusedCreationErasesTheRecordAndCountsAsRefused) {
    LiveAc& ac = sentLiveAc(0x4B0001, "SWR1");
    ac.liveryTitle = "Refused Title";
    sentLiveAc(0x4B0002, "SWR2");
    post(result(SimResultKind::createFailed, 0, 0x4B0001));
    drain();
    ASSERT_EQ(engineLists.liveAcs.size(), 1u);
    EXPECT_EQ(engineLists.liveAcs.front().hexid, 0x4B0002u);
    EXPECT_EQ(gf_findLiveByHexid(0x4B0002), &engineLists.liveAcs.front());
    EXPECT_TRUE(gf_isRefusedTitle("Refused Title"));
    EXPECT_EQ(engineStatus.refusedCount.load(), 1u);
}

TEST_F(SimResultsTest, TheIndexStaysInStepWithEveryChange) {
    // Many aircraft appended, bound, erased by swap and by compaction: every look-up finds its own.
    for (std::uint32_t i = 0; i < 60; ++i) {
        LiveAc& ac = liveAc(0x400000 + i, "T" + std::to_string(i));
        gf_setObjectId(ac, 100 + i);
    }
    for (std::uint32_t i = 0; i < 60; i += 7)
        gf_eraseLiveAc(gf_findLiveByHexid(0x400000 + i) - engineLists.liveAcs.data());
    for (std::uint32_t i = 3; i < 60; i += 5)
        if (LiveAc* ac = gf_findLiveByHexid(0x400000 + i)) ac->eraseNow = true;
    gf_compactLiveAcs();
    gf_setObjectId(*gf_findLiveByHexid(0x400001), 999);
    for (std::uint32_t i = 0; i < 60; ++i) {
        const bool gone = i % 7 == 0 || (i >= 3 && (i - 3) % 5 == 0);
        const LiveAc* byHexid = gf_findLiveByHexid(0x400000 + i);
        EXPECT_EQ(byHexid == nullptr, gone) << i;
        if (!byHexid) continue;
        EXPECT_EQ(byHexid->hexid, 0x400000 + i);
        EXPECT_EQ(gf_findLiveByOid(byHexid->oid), byHexid) << i;
    }
    EXPECT_EQ(gf_findLiveByOid(101), nullptr) << "the old id of a re-bound record";
}

} // namespace
} // namespace enginetest
