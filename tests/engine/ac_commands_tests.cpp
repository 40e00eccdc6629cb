// Per-aircraft commands: the flaps and throttle caches, the rotorcraft rules, the parked set-up and the
// withdrawal of a queued creation.

#include "engine/base/ac_commands.h"
#include "engine/base/engine_tables.h"
#include "engine_fixture.h"

#include <gmock/gmock.h>

// Found by argument lookup for the link's command type.
static bool operator==(const ClientEventCmd& a, const ClientEventCmd& b) {
    return a.objectId == b.objectId && a.eventId == b.eventId && a.data == b.data;
}

namespace enginetest {
namespace {

using AcCommandsTest = EngineTest;

TEST_F(AcCommandsTest, FlapsAreSentOncePerChangeAndIndexFourRightAfterConstructionNotAtAll) {
    LiveAc& ac = liveAc(0x4B0001, "SWR12");
    ac.oid = 7;
    gf_setFlaps(ac, 4);
    EXPECT_TRUE(takeEvents().empty());
    gf_setFlaps(ac, 2);
    gf_setFlaps(ac, 2);
    EXPECT_EQ(takeEvents(), (std::vector<ClientEventCmd>{{7, evFlapsSet, 10240}}));
    gf_setFlaps(ac, 4);
    EXPECT_EQ(takeEvents(), (std::vector<ClientEventCmd>{{7, evFlapsSet, 0}}));
}

TEST_F(AcCommandsTest, AnInvalidFlapsIndexIsLoggedAndSendsNothing) {
    LiveAc& ac = liveAc(0x4B0001, "SWR12");
    gf_setFlaps(ac, 5);
    EXPECT_TRUE(takeEvents().empty());
    EXPECT_EQ(logCount("==> gf_setFlaps: invalid flaps index"), 1u);
}

TEST_F(AcCommandsTest, ThrottleIsCachedAndAnIndexOfFiveSendsNothing) {
    LiveAc& ac = liveAc(0x4B0001, "SWR12");
    ac.oid = 9;
    gf_setThrottle(ac, 5);
    gf_setThrottle(ac, 3);
    gf_setThrottle(ac, 3);
    gf_setThrottle(ac, 6);
    EXPECT_EQ(takeEvents(), (std::vector<ClientEventCmd>{{9, evThrottleSet, 11468}}));
    EXPECT_EQ(ac.throttleIdx, 6u);
}

TEST_F(AcCommandsTest, ARotorcraftGetsThrottleButNeverFlapsSpoilersOrGear) {
    LiveAc& heli = liveAc(0x4B0002, "REGA1", "EC35");
    heli.oid = 11;
    gf_setFlaps(heli, 1);
    gf_setSpoilers(heli, true);
    gf_setGear(heli, true);
    gf_setThrottle(heli, 4);
    EXPECT_EQ(takeEvents(), (std::vector<ClientEventCmd>{{11, evThrottleSet, 16383}}));
    EXPECT_EQ(heli.flapsIdx, 4u) << "a rotorcraft keeps its stored flaps index";

    LiveAc& jet = liveAc(0x4B0003, "SWR3");
    jet.oid = 12;
    gf_setSpoilers(jet, true);
    gf_setGear(jet, false);
    EXPECT_EQ(takeEvents(), (std::vector<ClientEventCmd>{{12, evSpoilersSet, 16383}, {12, evGearSet, 0}}));
}

TEST_F(AcCommandsTest, ParkedSetUp) {
    struct Case {
        bool standFlag, navWhileParked;
        std::uint32_t nav, cabin;
    } const cases[] = {{false, true, 1, 1}, {true, true, 1, 0}, {false, false, 0, 1}};
    for (const Case& c : cases) {
        NAV_LIGHTS_WHILE_PARKED.value = c.navWhileParked;
        StaticAc& ac = staticAc(1, "SWR1*");
        ac.oid = 20;
        ac.standFlag = c.standFlag;
        gf_parkedSetup(ac);
        EXPECT_EQ(takeEvents(), (std::vector<ClientEventCmd>{{20, evThrottleSet, 0},
                                                             {20, evFlapsSet, 0},
                                                             {20, evEngineAutoShutdown, 0},
                                                             {20, evNavLightsSet, c.nav},
                                                             {20, evBeaconLightsSet, 0},
                                                             {20, evLandingLightsSet, 0},
                                                             {20, evTaxiLightsSet, 0},
                                                             {20, evStrobesSet, 0},
                                                             {20, evLogoLightsSet, 1},
                                                             {20, evCabinLightsSet, c.cabin}}));
        engineLists.staticAcs.clear();
        gf_reindexAircraft();
    }
}

TEST_F(AcCommandsTest, WithRandomOnMostParkedCabinsAreLit) {
    RANDOM.value = true;
    int lit = 0;
    for (int i = 0; i < 400; ++i) {
        StaticAc& ac = staticAc(1, "SWR1*");
        gf_parkedSetup(ac);
        for (const ClientEventCmd& e : takeEvents())
            if (e.eventId == evCabinLightsSet) lit += static_cast<int>(e.data);
        engineLists.staticAcs.clear();
        gf_reindexAircraft();
    }
    EXPECT_GT(lit, 300);
    EXPECT_LT(lit, 400);
}

TEST_F(AcCommandsTest, AWithdrawnCreationIsTheAircraftsOwnEvenWhenAnotherSharesItsCallsign) {
    std::deque<AiCreateRecord> queue;
    for (const std::uint32_t hexid : {0x4B0001u, 0x3C0002u, 0x4B0003u}) {
        AiCreateRecord r;
        r.callsign = "SWR12";
        r.hexid = hexid;
        queue.push_back(r);
    }
    EXPECT_TRUE(gf_dropQueuedCreate(queue, 0x3C0002));
    ASSERT_EQ(queue.size(), 2u);
    EXPECT_EQ(queue[0].hexid, 0x4B0001u);
    EXPECT_EQ(queue[1].hexid, 0x4B0003u);
    EXPECT_FALSE(gf_dropQueuedCreate(queue, 0x3C0002));
}

} // namespace
} // namespace enginetest
