// Live aircraft in the user aircraft's way, static aircraft duplicating live ones, the reserved stand,
// removing every static aircraft and the parked live count.

#include "core/geodesy.h"
#include "core/settings.h"
#include "core/units.h"
#include "engine/base/engine_tables.h"
#include "engine/stands/conflicts.h"

#include "tests/engine/stand_fixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <numbers>

namespace enginetest {
namespace {

using ::testing::HasSubstr;

constexpr Lalo userAt{47.40, 8.50};

class ConflictsTest : public StandTest {
protected:
    void SetUp() override {
        StandTest::SetUp();
        engineLists.engineUserState = UserState{};
        engineLists.engineUserState.latitude = userAt.lat;
        engineLists.engineUserState.longitude = userAt.lon;
        engineLists.engineUserState.heading = 0; // north
    }

    void TearDown() override {
        userOnGround = false;
        StandTest::TearDown();
    }

    // An active live aircraft at `at`.
    static LiveAc& activeAt(std::uint32_t hexid, const std::string& cs, const Lalo& at, double altitude,
                            double headingRad, bool onGround) {
        LiveAc& ac = liveAc(hexid, cs);
        ac.simState = SimState::active;
        gf_setObjectId(ac, hexid + 1);
        ac.pos.latitude = at.lat;
        ac.pos.longitude = at.lon;
        ac.pos.altitude = altitude;
        ac.pos.heading = headingRad;
        ac.onGround = onGround;
        return ac;
    }

    static StaticAc& activeStatic(std::uint32_t hexid, const std::string& cs, const std::string& feedCs = "",
                                  const std::string& text = "", const std::string& reg = "") {
        StaticAc& st = staticAc(hexid, cs);
        st.feedCs = feedCs;
        st.text = text;
        st.reg = reg;
        st.simState = SimState::active;
        gf_setObjectId(st, hexid + 1);
        return st;
    }

    static bool removed(const StaticAc& ac) { return ac.simState == SimState::removingfromsim; }
};

TEST_F(ConflictsTest, AirborneUserRemovesTrafficOnTheRunwayAheadOrOnACrossingCourse) {
    struct Case {
        const char* what;
        double userAgl;
        double userAlt;
        Lalo at;
        double altitude;
        double heading;
        bool onGround;
        bool removed;
    };
    // Runway ahead: 0.5 nm north of the user, beside the heading line; the user 1400 ft above the
    // traffic so that the crossing rule stays out of it.
    const Lalo ahead = gf_destinationPoint(userAt, 0, 0.5 * feetPerNm);
    const Lalo ahead30 = gf_destinationPoint(ahead, pi / 2, 30);
    const Lalo ahead60 = gf_destinationPoint(ahead, pi / 2, 60);
    // Crossing: 3.9 nm east, flying west so that its track passes 600 ft north of the user.
    const double d39 = 3.9;
    const Lalo east39 = gf_destinationPoint(userAt, pi / 2, d39 * feetPerNm);
    const Lalo east41 = gf_destinationPoint(userAt, pi / 2, 4.1 * feetPerNm);
    const double miss600 = 1.5 * pi + std::asin(600 / (d39 * feetPerNm));
    const double miss900 = 1.5 * pi + std::asin(900 / (d39 * feetPerNm));
    for (const Case& c : {
             Case{"30 ft beside the runway line", 400, 1400, ahead30, 0, 0, true, true},
             Case{"60 ft beside the runway line", 400, 1400, ahead60, 0, 0, true, false},
             Case{"user 600 ft above ground", 600, 1400, ahead30, 0, 0, true, false},
             Case{"airborne traffic on the line", 400, 1400, ahead30, 0, 0, false, false},
             Case{"crossing 600 ft away, same altitude", 3000, 5000, east39, 5000, miss600, false, true},
             Case{"crossing, 999 ft above", 3000, 5000, east39, 5999, miss600, false, true},
             Case{"crossing, 1000 ft above", 3000, 5000, east39, 6000, miss600, false, false},
             Case{"crossing, 1000 ft below", 3000, 5000, east39, 4000, miss600, false, false},
             Case{"track 900 ft away", 3000, 5000, east39, 5000, miss900, false, false},
             Case{"4.1 nm away", 3000, 5000, east41, 5000, 1.5 * pi, false, false},
         }) {
        engineLists.liveAcs.clear();
        gf_reindexAircraft();
        engineLists.engineUserState.altAboveGround = c.userAgl;
        engineLists.engineUserState.altitude = c.userAlt;
        LiveAc& ac = activeAt(20001, "SWR1", c.at, c.altitude, c.heading, c.onGround);
        EXPECT_EQ(gf_avoidCollisionWithUser(), c.removed) << c.what;
        EXPECT_EQ(removed(ac), c.removed) << c.what;
    }
}

TEST_F(ConflictsTest, OnlyTheFirstActiveAircraftInTheWayGoesEachTime) {
    engineLists.engineUserState.altitude = 5000;
    const Lalo near = gf_destinationPoint(userAt, 0, 1000);
    LiveAc& waiting = activeAt(20001, "SWR1", near, 5000, pi, false);
    waiting.simState = SimState::adding2sim;
    LiveAc& first = activeAt(20002, "SWR2", near, 5000, pi, false);
    LiveAc& second = activeAt(20003, "SWR3", near, 5000, pi, false);
    EXPECT_TRUE(gf_avoidCollisionWithUser());
    EXPECT_TRUE(removed(first));
    EXPECT_FALSE(removed(second));
    EXPECT_EQ(waiting.simState, SimState::adding2sim);
}

// The user on the ground: live traffic first; the static aircraft only when none went and the user
// moved since the last look at them.
TEST_F(ConflictsTest, UserOnTheGroundClearsTrafficAndStaticsWithinTheWings) {
    userOnGround = true;
    COLLISION_USER_GND.value = true;
    const double userHalf = 20.0 / metresPerNm;
    const double a320Half = gf_wingspanOf("A320");
    const double reach = (userHalf + a320Half) * 1.15 * feetPerNm;
    LiveAc& airborne = activeAt(20001, "SWR1", gf_destinationPoint(userAt, 0, reach * 0.5), 100, 0, false);
    airborne.halfSize = a320Half;
    LiveAc& outside = activeAt(20002, "SWR2", gf_destinationPoint(userAt, 0, reach * 1.05), 0, 0, true);
    outside.halfSize = a320Half;
    StaticAc& parked = activeStatic(1, "EZS1");
    parked.halfSize = a320Half;
    parked.standLat = userAt.lat;
    parked.standLon = userAt.lon;
    LiveAc& inside = activeAt(20003, "SWR3", gf_destinationPoint(userAt, 0, reach * 0.95), 0, 0, true);
    inside.halfSize = a320Half;

    EXPECT_TRUE(gf_avoidCollisionOnGround(userHalf));
    EXPECT_TRUE(removed(inside));
    EXPECT_FALSE(removed(airborne) || removed(outside) || removed(parked));

    EXPECT_TRUE(gf_avoidCollisionOnGround(userHalf)); // no live one left in reach: the static goes
    EXPECT_TRUE(removed(parked));

    StaticAc& another = activeStatic(2, "EZS2");
    another.standLat = userAt.lat;
    another.standLon = userAt.lon;
    EXPECT_FALSE(gf_avoidCollisionOnGround(userHalf)); // the user has not moved
    EXPECT_FALSE(removed(another));
    engineLists.engineUserState.latitude += 1e-6;
    EXPECT_TRUE(gf_avoidCollisionOnGround(userHalf));
    EXPECT_TRUE(removed(another));
}

TEST_F(ConflictsTest, TheCollisionStepFollowsTheUserAndTheBoxes) {
    struct Case {
        bool userGround, boxGround, boxAir, removedOnGround, removedInAir;
    };
    for (const Case& c : {Case{true, true, true, true, false}, Case{true, false, true, false, false},
                          Case{false, true, true, false, true}, Case{false, true, false, false, false}}) {
        engineLists.liveAcs.clear();
        gf_reindexAircraft();
        userOnGround = c.userGround;
        COLLISION_USER_GND.value = c.boxGround;
        COLLISION_USER_AIR.value = c.boxAir;
        engineLists.engineUserState.altitude = 5000;
        engineLists.engineUserState.altAboveGround = 3000;
        LiveAc& onGround = activeAt(20001, "SWR1", userAt, 0, 0, true);
        LiveAc& inAir = activeAt(20002, "SWR2", gf_destinationPoint(userAt, 0, 1000), 5000, pi, false);
        gf_collisionAvoidanceStep();
        EXPECT_EQ(removed(onGround), c.removedOnGround) << c.userGround << c.boxGround << c.boxAir;
        EXPECT_EQ(removed(inAir), c.removedInAir) << c.userGround << c.boxGround << c.boxAir;
    }
}

// Taxiing live traffic clears static aircraft its wings would touch, once per move.
TEST_F(ConflictsTest, TaxiingTrafficClearsStaticAircraftInItsWay) {
    struct Case {
        const char* what;
        AcPhase phase;
        const char* staticCs;
        bool landing;
        bool box;
        double metresAway;
        bool removed;
    };
    for (const Case& c : {
             Case{"taxiing past a static", AcPhase::taxi, "EZS1*", false, true, 30, true},
             Case{"parking beside it", AcPhase::parking, "EZS1*", false, true, 30, true},
             Case{"far enough", AcPhase::taxi, "EZS1*", false, true, 45, false},
             Case{"its own static callsign", AcPhase::taxi, "SWR1", false, true, 30, false},
             Case{"parked", AcPhase::parked, "EZS1*", false, true, 30, false},
             Case{"landing roll", AcPhase::taxi, "EZS1*", true, true, 30, false},
             Case{"box off", AcPhase::taxi, "EZS1*", false, false, 30, false},
         }) {
        engineLists.staticAcs.clear();
        engineLists.liveAcs.clear();
        gf_reindexAircraft();
        COLLISION_LIVE_PARKED_GND.value = c.box;
        COLLISION_USER_AIR.value = false;
        LiveAc& ac = activeAt(20001, "SWR1", userAt, 0, 0, true);
        ac.phase = c.phase;
        ac.halfSize = gf_wingspanOf("A320");
        ac.move.landingRoll = c.landing;
        StaticAc& st = activeStatic(1, c.staticCs);
        st.halfSize = gf_wingspanOf("A320");
        const Lalo standAt = gf_destinationPoint(userAt, 0, c.metresAway * feetPerMetre);
        st.standLat = standAt.lat;
        st.standLon = standAt.lon;
        gf_collisionAvoidanceStep();
        EXPECT_EQ(removed(st), c.removed) << c.what;
    }

    // Standing still: the statics are not looked at again until the aircraft moves.
    LiveAc& ac = engineLists.liveAcs.front();
    ac.move.landingRoll = false;
    COLLISION_LIVE_PARKED_GND.value = true;
    gf_collisionAvoidanceStep();
    StaticAc& newcomer = activeStatic(2, "EZS2*");
    newcomer.standLat = userAt.lat;
    newcomer.standLon = userAt.lon;
    gf_collisionAvoidanceStep();
    EXPECT_FALSE(removed(newcomer));
    ac.pos.latitude += 1e-6;
    gf_collisionAvoidanceStep();
    EXPECT_TRUE(removed(newcomer));
    EXPECT_THAT(logText(), HasSubstr("sid==0? : EZS2*    removed for collision avoidance with static SWR1"));
}

TEST_F(ConflictsTest, StaticDuplicatesOfALiveAircraft) {
    struct Case {
        const char* liveCs;
        const char* liveText;
        const char* liveReg;
        const char* stFeedCs;
        const char* stText;
        const char* stReg;
        bool removed;
        const char* logged;
    };
    for (const Case& c : {
             Case{"SWR8", "", "HB-JNA", "EZS1", "EZS2", "HB-JNA", true, "has same regcode HB-JNA"},
             Case{"SWR8", "", "", "EZS1", "EZS2", "", false, ""}, // empty registrations are no match
             Case{"DLH400", "", "", "DLH400", "DLH401", "", true, "has same callsign"},
             Case{"DLH401", "", "", "DLH400", "DLH401", "", true, "has coupled callsign"},
             Case{"DLH9", "DLH400", "", "DLH400", "DLH401", "", true, "has coupled callsign"},
             Case{"DLH9", "", "", "DLH400", "", "", false, ""}, // an empty text of the live one never matches
             Case{"ABC123_", "", "", "ABC123", "", "", true,
                  "new airborne ABC123_ '' '' has coupled callsign"},
             Case{"", "", "", "", "", "", false, ""}, // no callsign: nothing happens
         }) {
        engineLists.staticAcs.clear();
        engineLists.liveAcs.clear();
        gf_reindexAircraft();
        LiveAc& live = activeAt(20001, c.liveCs, userAt, 5000, 0, false);
        live.text = c.liveText;
        live.reg = c.liveReg;
        StaticAc& st = activeStatic(1, "EZS1*", c.stFeedCs, c.stText, c.stReg);
        EXPECT_EQ(gf_removeStaticDuplicates(live, false), c.removed) << c.liveCs;
        EXPECT_EQ(removed(st), c.removed) << c.liveCs;
        if (c.removed) {
            EXPECT_THAT(logText(), HasSubstr(c.logged)) << c.liveCs;
        }
    }
}

TEST_F(ConflictsTest, TheFirstActiveDuplicateGoesAndTheStandIsNamed) {
    ParkPos& at = stand("E12", 47.45, 8.55);
    LiveAc& live = activeAt(20001, "DLH400", userAt, 0, 0, true);
    StaticAc& waiting = activeStatic(1, "DLH400*", "DLH400");
    waiting.simState = SimState::adding2sim;
    StaticAc& first = activeStatic(2, "DLH400*", "DLH400");
    gf_setStaticStand(1, at.sid);
    StaticAc& second = activeStatic(3, "DLH400*", "DLH400");
    EXPECT_TRUE(gf_removeStaticDuplicates(live, true));
    EXPECT_EQ(waiting.simState, SimState::adding2sim);
    EXPECT_TRUE(removed(first));
    EXPECT_FALSE(removed(second));
    EXPECT_THAT(logText(), HasSubstr("E12     : DLH400*  'DLH400' '' removed, new on ground DLH400"));
}

TEST_F(ConflictsTest, TheStaticTwinOfALiveAircraftOnTheGround) {
    struct Case {
        const char* what;
        bool liveOnGround;
        const char* liveReg;
        const char* staticCs;
        const char* staticReg;
        bool removed;
    };
    for (const Case& c : {
             Case{"the starred callsign", true, "", "DLH400*", "", true},
             Case{"the same registration", true, "D-AIBA", "EZS1*", "D-AIBA", true},
             Case{"empty registrations", true, "", "EZS1*", "", false},
             Case{"another callsign", true, "", "DLH4000*", "", false},
             Case{"the live one airborne", false, "", "DLH400*", "", false},
         }) {
        engineLists.staticAcs.clear();
        engineLists.liveAcs.clear();
        gf_reindexAircraft();
        LiveAc& live = activeAt(20001, "DLH400", userAt, 0, 0, c.liveOnGround);
        live.reg = c.liveReg;
        StaticAc& inactive = activeStatic(1, c.staticCs, "", "", c.staticReg);
        inactive.simState = SimState::removingfromsim;
        StaticAc& st = activeStatic(2, c.staticCs, "", "", c.staticReg);
        EXPECT_EQ(gf_removeStaticTwinOfLive(), c.removed) << c.what;
        EXPECT_EQ(removed(st), c.removed) << c.what;
    }
}

TEST_F(ConflictsTest, TheReservedStandIsClearedStaticFirstThenParkedLive) {
    ParkPos& reserved = stand("B7", 47.45, 8.55);
    ParkPos& other = stand("B8", 47.46, 8.55);
    LiveAc& taxiing = parkedLive(20001, "SWR1", reserved.sid, 5);
    taxiing.phase = AcPhase::taxi;
    LiveAc& elsewhere = parkedLive(20002, "SWR2", other.sid, 5);
    LiveAc& holder = parkedLive(20003, "SWR3", reserved.sid, 5);
    StaticAc& st = staticAt(1, "EZS1*", reserved.sid, WeekSlot{1, 10});

    EXPECT_FALSE(gf_clearReservedStand("B99"));
    EXPECT_FALSE(removed(st));
    EXPECT_TRUE(gf_clearReservedStand("B7"));
    EXPECT_TRUE(removed(st));
    EXPECT_FALSE(removed(holder));
    EXPECT_TRUE(gf_clearReservedStand("B7"));
    EXPECT_TRUE(removed(holder));
    EXPECT_FALSE(removed(taxiing) || removed(elsewhere));
    EXPECT_FALSE(gf_clearReservedStand("B7"));
}

TEST_F(ConflictsTest, RemovingAllStaticAircraft) {
    StaticAc& active = activeStatic(1, "EZS1*");
    StaticAc& queued = activeStatic(2, "EZS2*");
    queued.simState = SimState::adding2sim;
    AiCreateRecord create;
    create.hexid = 2;
    engineLists.staticCreateQueue.push_back(create);
    StaticAc& sent = activeStatic(3, "EZS3*");
    sent.simState = SimState::adding2sim; // already with the simulator: no longer queued
    StaticAc& known = staticAc(4, "EZS4*");
    ASSERT_EQ(known.simState, SimState::buffer);
    (void)active;

    gf_removeAllStatic();
    EXPECT_TRUE(engineLists.staticCreateQueue.empty());
    ASSERT_EQ(engineLists.staticAcs.size(), 2u); // the withdrawn and the never created ones are gone
    ASSERT_NE(gf_findStaticByHexid(1), nullptr);
    ASSERT_NE(gf_findStaticByHexid(3), nullptr);
    EXPECT_EQ(gf_findStaticByHexid(2), nullptr);
    EXPECT_EQ(gf_findStaticByHexid(4), nullptr);
    EXPECT_EQ(gf_findStaticByHexid(1)->simState, SimState::removingfromsim);
    EXPECT_TRUE(gf_findStaticByHexid(3)->removePending);
    EXPECT_EQ(engineLists.removalQueue.size(), 1u);
}

TEST_F(ConflictsTest, ParkedLiveCountAndMeanTime) {
    int repaints = 0;
    gf_engineHooks().repaintStatus = [&] { ++repaints; };
    EXPECT_EQ(gf_countLiveParked(true), 0u);
    EXPECT_EQ(repaints, 0); // 0 shown already

    // Half-hour slots since parking plus half an hour: one parked for two slots, one for four.
    currentWeekSlot = WeekSlot{3, 20}.packed();
    parkedLive(20001, "SWR1", 0, 60).parkedSince = WeekSlot{3, 18}.packed();
    parkedLive(20002, "SWR2", 0, 120).parkedSince = WeekSlot{3, 16}.packed();
    LiveAc& taxiing = parkedLive(20003, "SWR3", 0, 600);
    taxiing.phase = AcPhase::taxi;
    LiveAc& leaving = parkedLive(20004, "SWR4", 0, 600);
    leaving.simState = SimState::removingfromsim;

    EXPECT_EQ(gf_countLiveParked(false), 2u);
    EXPECT_EQ(engineStatus.liveMeanHours.load(), 0.0f);
    EXPECT_EQ(gf_countLiveParked(true), 2u);
    EXPECT_FLOAT_EQ(engineStatus.liveMeanHours.load(), 2.0f);
    EXPECT_EQ(repaints, 1);
    gf_countLiveParked(true);
    EXPECT_EQ(repaints, 1); // unchanged: no repaint

    // Parked for ten minutes, in this slot: half an hour. Since a slot later in the week: nothing more.
    engineLists.liveAcs.clear();
    gf_reindexAircraft();
    parkedLive(20005, "SWR5", 0, 10).parkedSince = WeekSlot{3, 20}.packed();
    EXPECT_EQ(gf_countLiveParked(true), 1u);
    EXPECT_FLOAT_EQ(engineStatus.liveMeanHours.load(), 0.5f);
    parkedLive(20006, "SWR6", 0, 10).parkedSince = WeekSlot{5, 2}.packed();
    EXPECT_EQ(gf_countLiveParked(true), 2u);
    EXPECT_FLOAT_EQ(engineStatus.liveMeanHours.load(), 0.5f);
    EXPECT_EQ(repaints, 2);

    engineLists.liveAcs.clear();
    gf_reindexAircraft();
    EXPECT_EQ(gf_countLiveParked(true), 0u);
    EXPECT_EQ(engineStatus.liveMeanHours.load(), 0.0f);
    EXPECT_EQ(repaints, 3);
}

} // namespace
} // namespace enginetest
