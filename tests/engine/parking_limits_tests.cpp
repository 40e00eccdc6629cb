// The limit on parked aircraft, the parked live list and the static count with its mean.

#include "engine/base/engine_tables.h"
#include "tests/engine/stand_fixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace enginetest {
namespace {

using ::testing::HasSubstr;

class ParkingLimitTest : public StandTest {
protected:
    void SetUp() override {
        StandTest::SetUp();
        stand("A1", 47.45, 8.55);
    }
    // Ten parked live aircraft: hexid 20001 parked longest (100 minutes), then 99, 98, ...
    static void tenParked() {
        for (std::uint32_t i = 0; i < 10; ++i)
            parkedLive(20001 + i, "SWR" + std::to_string(i), 1, 100 - i);
    }
    static int removedLive() {
        return static_cast<int>(
            std::count_if(engineLists.liveAcs.begin(), engineLists.liveAcs.end(),
                          [](const LiveAc& ac) { return ac.simState == SimState::removingfromsim; }));
    }
};

TEST_F(ParkingLimitTest, ACreatedParkedAircraftPushesOutTheLongestParked) {
    staticPicks.wantedParkCount = 10;
    tenParked();
    gf_enforceMaxPark(0); // the tenth arrived at its stand
    EXPECT_EQ(removedLive(), 0);
    gf_enforceMaxPark(1); // one more created parked
    EXPECT_EQ(removedLive(), 1);
    EXPECT_EQ(gf_findLiveByHexid(20001)->simState, SimState::removingfromsim);
    EXPECT_THAT(logText(), HasSubstr("A1      : SWR0 live max park exceeded, removed"));
}

TEST_F(ParkingLimitTest, NoLimitWithoutAWantedNumber) {
    staticPicks.wantedParkCount = 0;
    tenParked();
    staticAt(1, "XYZ1*", 1, WeekSlot{1, 1});
    gf_enforceMaxPark(1);
    EXPECT_EQ(removedLive(), 0);
    EXPECT_EQ(engineLists.staticAcs[0].simState, SimState::active);
}

TEST_F(ParkingLimitTest, InitialLoadOnlyKeepsLiveAircraftButNotStatics) {
    staticPicks.wantedParkCount = 10;
    INITIAL_LOAD_ONLY.value = true;
    tenParked();
    staticAt(1, "XYZ1*", 1, WeekSlot{2, 5});
    staticAt(2, "XYZ2*", 1, WeekSlot{1, 40}); // parked earliest
    gf_enforceMaxPark(1);
    EXPECT_EQ(removedLive(), 0);
    EXPECT_EQ(engineLists.staticAcs[0].simState, SimState::active);
    EXPECT_EQ(engineLists.staticAcs[1].simState, SimState::removingfromsim);
    EXPECT_THAT(logText(), HasSubstr("XYZ2* static max park exceeded, removed"));
    // The earliest is already going: nothing more this call.
    gf_enforceMaxPark(1);
    EXPECT_EQ(engineLists.staticAcs[0].simState, SimState::active);
}

TEST_F(ParkingLimitTest, TheLongestParkedGoOnRequest) {
    tenParked();
    std::vector<ParkedLive> byTime;
    gf_parkedLiveByTime(byTime);
    ASSERT_EQ(byTime.size(), 10u);
    EXPECT_EQ(byTime.front(), (ParkedLive{20001, std::chrono::minutes(100)}));
    gf_removeLongestParkedLive(3);
    EXPECT_EQ(removedLive(), 3);
    EXPECT_EQ(gf_findLiveByHexid(20003)->simState, SimState::removingfromsim);
    EXPECT_EQ(gf_findLiveByHexid(20004)->simState, SimState::active);
    EXPECT_THAT(logText(), HasSubstr("live parked "));
}

TEST_F(ParkingLimitTest, ParkedTimeLimitsOfTheLiveParkedList) {
    parkedLive(20001, "SWR1", 1, 181, "B77W");
    parkedLive(20002, "SWR2", 1, 180, "B77W");
    parkedLive(20003, "SWR3", 1, 91, "A320");
    parkedLive(20004, "SWR4", 1, 90, "A320");
    gf_buildLiveParkedList();
    EXPECT_EQ(removedLive(), 2);
    ASSERT_EQ(staticPicks.liveParkedList.size(), 2u);
    EXPECT_EQ(staticPicks.liveParkedList[0].cs, "SWR4"); // shortest parked first
    EXPECT_EQ(staticPicks.liveParkedList[1].minutes, 180);

    lf_resetStands();
    engineLists.liveAcs.clear();
    gf_reindexAircraft();
    INITIAL_LOAD_ONLY.value = true;
    parkedLive(20001, "SWR1", 1, 500, "B77W");
    gf_buildLiveParkedList();
    EXPECT_EQ(removedLive(), 0);
    EXPECT_EQ(staticPicks.liveParkedList.size(), 1u);
}

TEST_F(ParkingLimitTest, TheStaticCountAndItsMean) {
    currentWeekSlot = WeekSlot{3, 10}.packed();
    staticAt(1, "XYZ1*", 1, WeekSlot{3, 6});  // 4 half hours
    staticAt(2, "XYZ2*", 1, WeekSlot{3, 10}); // just now
    staticAt(3, "XYZ3*", 1, WeekSlot{5, 2});  // before the week wrapped: counts, adds nothing
    staticAt(4, "XYZ4*", 1, WeekSlot{3, 1}).simState = SimState::buffer;
    EXPECT_EQ(gf_countStaticParked(true), 3u);
    EXPECT_FLOAT_EQ(engineStatus.staticMeanHours.load(), 4.0f / 6.0f + 0.5f);
    staticPicks.lastParkingWasWeek = true;
    engineLists.staticAcs[1].parkedSince = WeekSlot{1, 1}.packed();
    EXPECT_EQ(gf_countStaticParked(true), 3u);
    EXPECT_FLOAT_EQ(engineStatus.staticMeanHours.load(), 4.0f / 6.0f + 0.5f); // unchanged
    currentWeekSlot = 0;
}

} // namespace
} // namespace enginetest
