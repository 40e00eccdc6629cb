// Choosing the static aircraft: the wanted number, the fit search over growing offsets and its modes,
// the full calculation, and the renewal (live flights, the review window, the older-stays rule,
// leaving flights, the trim to the wanted number).

#include "engine/base/engine_tables.h"
#include "engine/base/stands.h"
#include "engine/engine_reset.h"
#include "engine/static/static_parking.h"

#include "engine/stands/conflicts.h"
#include "engine/static/static_driver.h"
#include "engine/static/static_parking_state.h"
#include "engine/static/static_placement.h"

#include "tests/engine/stand_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace enginetest {
namespace {

class StaticParkingTest : public StandTest {
protected:
    void SetUp() override {
        StandTest::SetUp();
        MAX_PARK_SEL.value = 500;
        CUSTOM_PARKING_PERCENTAGE.value = -1;
        parking_percentage.value = 30;
        MAX_FIT.value = 47;
        WEEK.value = false;
        PARK_SOFT.value = false;
        gf_engineHooks().enableParkingControls = [this] { ++enabled; };
        gf_engineHooks().disableParkingControls = [this] { ++disabled; };
        currentWeekSlot = now.packed();
    }

    void TearDown() override {
        WEEK.value = false;
        PARK_SOFT.value = false;
        MAX_PARK_SEL.value = 500;
        CUSTOM_PARKING_PERCENTAGE.value = -1;
        parking_percentage.value = 30;
        StandTest::TearDown();
    }

    // `count` stands far enough apart to have no neighbours.
    void stands(int count) {
        for (int i = 0; i < count; ++i)
            stand(fmt::format("S{}", i + 1), 47.40 + 0.002 * i, 8.55);
    }

    // A real option seen `offset` half hours before now (on now's weekday unless it wraps).
    ParkOpt& seenAt(ParkPos& at, std::int32_t offset, const std::string& cs, std::uint32_t day = 0,
                    bool real = true) {
        const WeekSlot when = gf_weekSlotBefore(now, offset);
        ParkOpt& opt = option(at, "SWR", "A320", "HB-" + cs, day == 0 ? when.day : day, {when.halfHour}, cs);
        opt.real = real ? 1 : 0;
        return opt;
    }

    std::map<std::int32_t, int> offsetsPicked() const {
        std::map<std::int32_t, int> counts;
        for (const StaticPick& p : staticPicks.staticAddList)
            ++counts[p.offset];
        return counts;
    }

    WeekSlot now{2, 20}; // Tuesday 10:00
    int enabled = 0;
    int disabled = 0;
};

TEST_F(StaticParkingTest, WantedCountFromMaxParkAndPercentages) {
    struct Case {
        std::int32_t maxPark, custom, percentage;
        int stands;
        std::int64_t wanted;
        std::int32_t share;
    };
    const std::vector<Case> cases{
        {0, -1, 30, 10, 0, 30},   // no max park: 0, the status shows the percentage
        {500, -1, 30, 3, 1, 33},  // few stands below 50 %: one
        {500, -1, 60, 3, 2, 67},  // round(1.8)
        {500, -1, 25, 10, 3, 30}, // round(2.5): halves away from zero
        {500, 0, 30, 10, 0, 0},   // a custom 0 wins over the percentage
        {500, 0, 30, 1, 1, 100},  // one stand still asks for one aircraft
        {500, -1, 30, 0, 1, 0},   // no stands: one, share 0
        {10, -1, 100, 40, 10, 25},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(fmt::format("max {} custom {} {}% of {}", c.maxPark, c.custom, c.percentage, c.stands));
        lf_resetStands();
        stands(c.stands);
        MAX_PARK_SEL.value = c.maxPark;
        CUSTOM_PARKING_PERCENTAGE.value = c.custom;
        parking_percentage.value = c.percentage;
        EXPECT_EQ(gf_wantedStaticCount(), c.wanted);
        EXPECT_EQ(engineStatus.maxParkCount.load(), c.wanted);
        EXPECT_EQ(engineStatus.maxParkPercent.load(), c.share);
        EXPECT_EQ(staticPicks.wantedParkCount, c.wanted);
    }
}

// Wanted 5: offsets 0..2 give 4 picks, offset 3 three more of which only one is kept.
TEST_F(StaticParkingTest, SearchKeepsEarlierOffsetsAndOnlyTheMissingOfTheLast) {
    stands(10);
    parking_percentage.value = 50;
    seenAt(parkPositions[0], 0, "A0");
    seenAt(parkPositions[1], 0, "B0");
    seenAt(parkPositions[2], 1, "C1");
    seenAt(parkPositions[3], 2, "D2");
    for (int i = 4; i < 7; ++i)
        seenAt(parkPositions[static_cast<std::size_t>(i)], 3, fmt::format("E{}", i));
    lf_calculateStaticParking();
    ASSERT_EQ(staticPicks.staticAddList.size(), 5u);
    EXPECT_EQ(offsetsPicked(), (std::map<std::int32_t, int>{{0, 2}, {1, 1}, {2, 1}, {3, 1}}));
    // Largest offset first: the placement takes the best fits from the back.
    EXPECT_EQ(staticPicks.staticAddList.front().offset, 3);
    EXPECT_EQ(staticPicks.staticAddList.back().offset, 0);
    EXPECT_EQ(staticPicks.fitReal, 3);
    EXPECT_EQ(disabled, 1);
    EXPECT_EQ(enabled, 0); // on again when the placement has used the list up
    EXPECT_EQ(engineStatus.pendingStaticCount.load(), 5u);
    EXPECT_NE(logText().find("5 positions (50% vs wanted 50%, with Max fit="), std::string::npos);
}

TEST_F(StaticParkingTest, ModesRunAsTheSettingsAllow) {
    struct Case {
        const char* name;
        bool week, soft;
        std::size_t picks;
        bool softMark, weekMark;
    };
    // One stand fits only by a flight of another weekday, one only by a soft flight.
    const std::vector<Case> cases{
        {"real same day only, even when short", false, false, 0, false, false},
        {"week/real", true, false, 1, false, true},
        {"soft", false, true, 1, true, false},
        {"all four", true, true, 2, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        lf_resetStands();
        stands(2);
        parking_percentage.value = 100;
        seenAt(parkPositions[0], 0, "OTHERDAY", 5);
        seenAt(parkPositions[1], 0, "SOFT", 0, false);
        WEEK.value = c.week;
        PARK_SOFT.value = c.soft;
        enabled = 0;
        lf_calculateStaticParking();
        EXPECT_EQ(staticPicks.staticAddList.size(), c.picks);
        EXPECT_EQ(engineStatus.softMark.load(), c.softMark);
        EXPECT_EQ(engineStatus.weekMark.load(), c.weekMark);
        EXPECT_EQ(enabled, c.picks == 0 ? 1 : 0);
    }
    EXPECT_NE(logText().find("no parking positions found"), std::string::npos);
}

// The same aircraft or flight seen at two stands in the same half hour stands at one of them only.
TEST_F(StaticParkingTest, OneAircraftStandsAtOneStandOnly) {
    stands(4);
    parking_percentage.value = 100;
    option(parkPositions[0], "SWR", "B77W", "HB-JNB", now.day, {now.halfHour}, "SWR558");
    option(parkPositions[1], "SWR", "B77W", "HB-JNB", now.day, {now.halfHour}, "SWR2656");
    option(parkPositions[2], "EDW", "A320", "HB-JJA", now.day, {now.halfHour}, "EDW868", "EDW869");
    option(parkPositions[3], "EDW", "A320", "HB-JJB", now.day, {now.halfHour}, "EDW869");
    lf_calculateStaticParking();
    ASSERT_EQ(staticPicks.staticAddList.size(), 2u);
    EXPECT_NE(staticPicks.staticAddList[0].reg, staticPicks.staticAddList[1].reg);
    EXPECT_EQ(
        std::count_if(parkPositions.begin(), parkPositions.end(), [](const ParkPos& p) { return p.held; }),
        2);
}

// Within the one offset the fit allows, the second stand takes the other flight seen there instead of
// staying empty.
TEST_F(StaticParkingTest, AStandWhoseFlightIsShownElsewhereTakesItsNextFlight) {
    stands(2);
    parking_percentage.value = 100;
    MAX_FIT.value = 0;
    option(parkPositions[0], "SWR", "B77W", "HB-JNB", now.day, {now.halfHour}, "SWR558");
    option(parkPositions[1], "SWR", "B77W", "HB-JNB", now.day, {now.halfHour}, "SWR2656");
    option(parkPositions[1], "EDW", "A320", "HB-JJB", now.day, {now.halfHour}, "EDW869");
    lf_calculateStaticParking();
    ASSERT_EQ(staticPicks.staticAddList.size(), 2u);
    std::map<std::uint32_t, std::string> regBySid;
    for (const StaticPick& p : staticPicks.staticAddList)
        regBySid[p.sid] = p.reg;
    EXPECT_EQ(regBySid, (std::map<std::uint32_t, std::string>{{parkPositions[0].sid, "HB-JNB"},
                                                              {parkPositions[1].sid, "HB-JJB"}}));
}

// "# updates" shows the stand plan while a calculation is busy: its count is published at the end of
// the calculation and of a renewal, and once a second while the placement works through the picks.
TEST_F(StaticParkingTest, TheStandPlanCountFollowsTheCalculationAndThePlacement) {
    stands(4);
    parking_percentage.value = 100;
    for (std::size_t i = 0; i < 4; ++i)
        seenAt(parkPositions[i], 0, fmt::format("P{}", i));
    int repaints = 0;
    gf_engineHooks().repaintStatus = [&] { ++repaints; };
    lf_calculateStaticParking();
    EXPECT_EQ(engineStatus.standPlanCount.load(), 4u);
    EXPECT_GE(repaints, 1);
    staticPicks.staticAddList.pop_back(); // placed
    staticPicks.staticAddList.pop_back();
    EXPECT_EQ(engineStatus.standPlanCount.load(), 4u) << "not yet published";
    EXPECT_TRUE(gf_publishStandPlan());
    EXPECT_EQ(engineStatus.standPlanCount.load(), 2u);
    staticPicks.staticAddList.clear();
    gf_enableParkingControlsFromEngine(); // the placement has ended: busy no more
    EXPECT_FALSE(gf_publishStandPlan());
    EXPECT_EQ(engineStatus.standPlanCount.load(), 0u);

    // A renewal's plan: the static aircraft at S1 stays, three stands get picks.
    StaticAc& kept = staticAt(1, "P0*", parkPositions[0].sid, now);
    kept.reg = "HB-P0";
    kept.airl = "SWR";
    gf_disableParkingControlsFromEngine(); // announced
    gf_adjustParking();
    EXPECT_EQ(engineStatus.standPlanCount.load(), 3u);
    EXPECT_TRUE(gf_publishStandPlan());
    EXPECT_EQ(engineStatus.standPlanCount.load(), 3u);
}

TEST_F(StaticParkingTest, ReservedAndUserStandsGetNoPick) {
    stands(3);
    parking_percentage.value = 100;
    for (std::size_t i = 0; i < 3; ++i)
        seenAt(parkPositions[i], 0, fmt::format("R{}", i));
    parkAirport.reservedStandName = "S2";
    lf_calculateStaticParking();
    ASSERT_EQ(staticPicks.staticAddList.size(), 2u);
    for (const StaticPick& p : staticPicks.staticAddList)
        EXPECT_NE(p.sid, parkPositions[1].sid);
    EXPECT_TRUE(parkPositions[1].blocked);
}

TEST_F(StaticParkingTest, MaxParkZeroRemovesEveryStaticButNoParkedLive) {
    stands(4);
    MAX_PARK_SEL.value = 0;
    seenAt(parkPositions[0], 0, "A0");
    lf_calculateStaticParking();
    EXPECT_TRUE(staticPicks.staticAddList.empty());
    EXPECT_EQ(enabled, 1);

    staticAt(1, "A0*", parkPositions[0].sid, now);
    staticAt(2, "B0*", parkPositions[1].sid, now);
    LiveAc& live = parkedLive(20001, "SWR7", parkPositions[2].sid, 10);
    gf_adjustParking();
    for (const StaticAc& ac : engineLists.staticAcs)
        EXPECT_EQ(ac.simState, SimState::removingfromsim) << ac.cs;
    EXPECT_EQ(live.simState, SimState::active);
}

TEST_F(StaticParkingTest, RenewalRemovesAStaticWhoseFlightIsLive) {
    stands(2);
    parking_percentage.value = 100;
    ParkOpt& opt = seenAt(parkPositions[0], 0, "SWR12");
    opt.hh.set(now.halfHour + 1);
    StaticAc& kept = staticAt(1, "SWR12*", parkPositions[0].sid, now);
    kept.feedCs = "SWR12";
    kept.reg = opt.reg;
    kept.airl = "SWR";
    ParkOpt& other = seenAt(parkPositions[1], 0, "SWR99");
    other.hh.set(now.halfHour + 1);
    StaticAc& live = staticAt(2, "SWR99*", parkPositions[1].sid, now);
    live.feedCs = "SWR99";
    live.reg = other.reg;
    live.airl = "SWR";

    trafficReader.startCollectingCallsigns();
    trafficReader.setReferencePosition(Lalo{47.4, 8.55});
    trafficReader.handle("RTTFC,4921362,47.5,8.6,12000,-800,0,275.4,250,SWR99,A320,HB-JLT,ZRH,LHR,"
                         "1765370000.5,adsb,SWR99,adsb_icao,12100,240,280,0.5,0,2.5,270,272.5,-768,none,A3");
    gf_adjustParking();
    EXPECT_EQ(engineLists.staticAcs[0].simState, SimState::active);          // still fits: stays
    EXPECT_EQ(engineLists.staticAcs[1].simState, SimState::removingfromsim); // its flight is live
}

// Tuesday 00:30 (slot 1) with a window of 4 half hours reaches back to Monday 22:30.
TEST_F(StaticParkingTest, ReviewWindowReachesIntoThePreviousDay) {
    struct Case {
        std::uint32_t mondaySlot;
        bool stays;
    };
    for (const Case c : {Case{46, true}, Case{45, true}, Case{42, false}}) {
        SCOPED_TRACE(c.mondaySlot);
        lf_resetStands();
        engineLists.staticAcs.clear();
        gf_reserveTrafficContainers();
        now = WeekSlot{2, 1};
        currentWeekSlot = now.packed();
        stands(2);
        parking_percentage.value = 50; // wanted 1
        ParkOpt& seen = option(parkPositions[0], "SWR", "A320", "HB-OLD", 1, {c.mondaySlot}, "SWR1");
        StaticAc& ac = staticAt(1, "SWR1*", parkPositions[0].sid, WeekSlot{1, c.mondaySlot});
        ac.feedCs = "SWR1";
        ac.reg = seen.reg;
        ac.airl = "SWR";
        seenAt(parkPositions[1], 4, "NEW4"); // the search reaches wanted at offset 4
        gf_adjustParking();
        EXPECT_EQ(staticPicks.fitReal, 4);
        EXPECT_EQ(engineLists.staticAcs[0].simState, c.stays ? SimState::active : SimState::removingfromsim);
        // Wanted 1: a kept aircraft leaves no room for the new pick.
        EXPECT_EQ(staticPicks.staticAddList.size(), c.stays ? 0u : 1u);
    }
}

TEST_F(StaticParkingTest, OlderStaysBetweenAStaticAndAPick) {
    struct Case {
        WeekSlot now;
        std::int32_t offset;
        WeekSlot parkedSince;
        bool pickLater;
    };
    const std::vector<Case> cases{
        {{2, 20}, 0, {2, 19}, true}, {{2, 20}, 1, {2, 19}, false}, // equal times: the static aircraft stays
        {{2, 20}, 3, {2, 10}, true}, {{2, 1}, 3, {1, 47}, false},  // the pick's time wraps to Monday 23:00
        {{2, 1}, 3, {1, 45}, true},  {{1, 0}, 1, {7, 46}, true},   // Monday wraps to Sunday
    };
    for (const Case& c : cases)
        EXPECT_EQ(gf_pickIsLater(c.now, c.offset, c.parkedSince), c.pickLater)
            << c.now.day << "/" << c.now.halfHour << " offset " << c.offset;
}

// A static aircraft showing its arriving flight whose departure is due: it is replaced by one under the
// departure callsign that keeps the parked time.
TEST_F(StaticParkingTest, LeavingFlightIsShownUnderItsDepartureCallsign) {
    stands(1);
    parking_percentage.value = 100;
    ParkOpt& opt =
        option(parkPositions[0], "SWR", "A320", "HB-LEV", now.day, {17, 18, 19, 20}, "SWR100", "SWR101");
    StaticAc& ac = staticAt(1, "SWR100*", parkPositions[0].sid, WeekSlot{2, 17});
    ac.feedCs = "SWR100";
    ac.text = "SWR101";
    ac.reg = opt.reg;
    ac.airl = "SWR";
    gf_adjustParking();
    ASSERT_EQ(staticPicks.staticAddList.size(), 1u);
    const StaticPick& p = staticPicks.staticAddList.front();
    EXPECT_EQ(p.cs, "SWR100");
    EXPECT_EQ(p.cs2, "SWR101");
    EXPECT_FALSE(p.stays);
    EXPECT_EQ(p.offset, 3); // parked since 08:30, now 10:00
    EXPECT_EQ(engineLists.staticAcs[0].simState, SimState::removingfromsim);
    // The placement dates the new aircraft back by the offset: the old one's parked time.
    EXPECT_EQ(gf_weekSlotBefore(now, p.offset), (WeekSlot{2, 17}));
}

TEST_F(StaticParkingTest, TrimTakesPicksThenKeptThenLongestParkedLive) {
    stands(6);
    parking_percentage.value = 50; // wanted 3
    for (std::size_t i = 0; i < 6; ++i)
        seenAt(parkPositions[i], 0, fmt::format("T{}", i));
    // Two parked live aircraft, one static aircraft that still fits.
    parkedLive(20001, "LIVE1", parkPositions[3].sid, 10);
    parkedLive(20002, "LIVE2", parkPositions[4].sid, 50);
    ParkOpt& opt = parkPositions[5].opts.front();
    StaticAc& ac = staticAt(1, "T5*", parkPositions[5].sid, now);
    ac.feedCs = "T5";
    ac.reg = opt.reg;
    ac.airl = "SWR";
    gf_adjustParking();
    // 2 live + 1 kept = 3: no room for picks, nothing removed.
    EXPECT_TRUE(staticPicks.staticAddList.empty());
    EXPECT_EQ(engineLists.staticAcs[0].simState, SimState::active);
    for (const LiveAc& live : engineLists.liveAcs)
        EXPECT_EQ(live.simState, SimState::active) << live.cs;

    // Wanted 1: the kept static aircraft goes, then the longest parked live one.
    parking_percentage.value = 15; // round(0.9) = 1
    gf_adjustParking();
    EXPECT_EQ(engineLists.staticAcs[0].simState, SimState::removingfromsim);
    EXPECT_EQ(engineLists.liveAcs[0].simState, SimState::active);          // parked 10 minutes
    EXPECT_EQ(engineLists.liveAcs[1].simState, SimState::removingfromsim); // parked 50 minutes
}

} // namespace
} // namespace enginetest
