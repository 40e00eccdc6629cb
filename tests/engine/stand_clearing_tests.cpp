// Making room at a stand, the stand conflict check and who may free an occupied stand.

#include "core/units.h"
#include "engine/base/ac_removal.h"
#include "engine/base/engine_tables.h"
#include "engine/stands/stand_clearing.h"

#include "tests/engine/stand_fixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace enginetest {
namespace {

using ::testing::HasSubstr;

constexpr double metre = nmPerMetre / 60.0;

class StandClearingTest : public StandTest {};

TEST_F(StandClearingTest, TheConflictCheckBetweenHolderAndNewcomer) {
    struct Case {
        const char* holder;
        AcPhase phase;
        const char* newcomer;
        bool allowed;
        bool holderRemoved;
    };
    for (const Case& c : {
             Case{"DLH400", AcPhase::parked, "DLH400A", false, false}, // the shorter callsign keeps the stand
             Case{"DLH400A", AcPhase::parked, "DLH400", true, true},
             Case{"ABC1", AcPhase::pushing_back, "ABC1", true, true}, // the same flight again
             Case{"ABC1_", AcPhase::parked, "XYZ9", true, true},      // a ghost makes way
             Case{"ABC1", AcPhase::parked, "XYZ9_", false, false},    // a ghost does not take it
             Case{"ABC1", AcPhase::pushed_back, "XYZ9", true, true},  // another flight
             Case{"ABC1", AcPhase::taxi, "XYZ9", true, false},        // not holding it any more
         }) {
        lf_resetStands();
        engineLists.liveAcs.clear();
        gf_reindexAircraft();
        ParkPos& at = stand("A1", 47.45, 8.55);
        LiveAc& holder = parkedLive(20001, c.holder, at.sid, 5);
        holder.phase = c.phase;
        EXPECT_EQ(gf_standConflictAllows(at.sid, c.newcomer), c.allowed) << c.holder << " / " << c.newcomer;
        EXPECT_EQ(holder.simState == SimState::removingfromsim, c.holderRemoved)
            << c.holder << " / " << c.newcomer;
    }
}

// Only the aircraft that holds a stand frees it: a second aircraft with the same stand number that
// goes does not make the stand look free.
TEST_F(StandClearingTest, OnlyTheHolderFreesAnOccupiedStand) {
    ParkPos& at = stand("A1", 47.45, 8.55);
    LiveAc& holder = parkedLive(20001, "SWR1", at.sid, 5);
    LiveAc& other = parkedLive(20002, "SWR2", at.sid, 5);
    gf_occupyStand(at.sid, holder.hexid);
    removeAircraftFromSim(other);
    EXPECT_TRUE(at.occupied);
    EXPECT_EQ(gf_standHolder(at.sid), holder.hexid);
    removeAircraftFromSim(holder);
    EXPECT_FALSE(at.occupied);
    EXPECT_EQ(gf_standHolder(at.sid), 0u);
}

TEST_F(StandClearingTest, TheHolderAndCloseNeighboursMakeWay) {
    ParkPos& a = stand("A1", 47.45, 8.55);
    ParkPos& b = stand("A2", 47.45 + 30 * metre, 8.55);
    ParkPos& c = stand("A3", 47.45 + 300 * metre, 8.55);
    a.adjacent = {b.sid, c.sid};
    LiveAc& holder = parkedLive(20001, "SWR1", a.sid, 5);
    LiveAc& near = parkedLive(20002, "SWR2", b.sid, 5);
    LiveAc& far = parkedLive(20003, "SWR3", c.sid, 5);
    for (LiveAc* ac : {&holder, &near, &far})
        ac->halfSize = gf_wingspanOf("A320");
    const AcData newcomer = aircraft("", "EZS9", "A320");
    gf_clearStandHolder(a, newcomer);
    for (const std::uint32_t id : a.adjacent)
        gf_clearAdjacentLive(a, *gf_findStand(id), newcomer);
    EXPECT_EQ(holder.simState, SimState::removingfromsim);
    EXPECT_EQ(near.simState, SimState::removingfromsim);
    EXPECT_EQ(far.simState, SimState::active);
    EXPECT_THAT(logText(), HasSubstr("A1      : SWR1     removed, EZS9 wants to park there"));
    EXPECT_THAT(logText(), HasSubstr("A2      : SWR2     removed by parking EZS9 at adjacent"));
}

TEST_F(StandClearingTest, StaticAircraftMakeWayAtTheStandAndCloseNeighbours) {
    ParkPos& a = stand("A1", 47.45, 8.55);
    ParkPos& b = stand("A2", 47.45 + 30 * metre, 8.55);
    ParkPos& c = stand("A3", 47.45 + 300 * metre, 8.55);
    a.adjacent = {b.sid, c.sid};
    StaticAc& here = staticAt(1, "EZS9*", a.sid, WeekSlot{1, 1});
    here.reg = "HB-AAA";
    staticAt(2, "XYZ2*", b.sid, WeekSlot{1, 1});
    staticAt(3, "XYZ3*", c.sid, WeekSlot{1, 1});
    staticAt(4, "XYZ4*", a.sid, WeekSlot{1, 1}).simState = SimState::buffer;
    for (StaticAc& ac : engineLists.staticAcs)
        ac.halfSize = gf_wingspanOf("A320");
    const AcData newcomer = aircraft("HB-AAA", "EZS9", "A320");
    gf_clearStaticsForStand(a, newcomer);
    EXPECT_EQ(gf_findStaticByHexid(1)->simState, SimState::removingfromsim);
    EXPECT_EQ(gf_findStaticByHexid(2)->simState, SimState::removingfromsim);
    EXPECT_EQ(gf_findStaticByHexid(3)->simState, SimState::active);
    EXPECT_EQ(gf_findStaticByHexid(4)->simState, SimState::buffer); // not the first at the stand
    EXPECT_THAT(logText(), HasSubstr("EZS9*    HB-AAA makes way for the same live version EZS9 HB-AAA"));
    EXPECT_THAT(logText(), HasSubstr("A2      : XYZ2*    makes way for EZS9 parking at excluded stand A1"));
}

} // namespace
} // namespace enginetest
