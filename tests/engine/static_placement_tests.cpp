// Static aircraft placement: the stand and neighbour checks, callsigns, numbers, liveries and the
// create record.

#include "core/units.h"
#include "engine/base/engine_tables.h"
#include "engine/static/static_placement.h"

#include "liveries/livery_catalogue.h"
#include "liveries/livery_choice.h"
#include "liveries/livery_data.h"

#include "tests/engine/stand_fixture.h"

#include <gtest/gtest.h>

namespace enginetest {
namespace {

class StaticPlacementTest : public StandTest {
protected:
    void SetUp() override {
        StandTest::SetUp();
        gf_resetStaticPlacementForTests();
        scannedLiveries = {
            {"ABC", "A320", "Abc A320", "", 1, false},
            {"XYZ", "A320", "Xyz A320", "", 1, false},
            {"DLH", "A320", "Lufthansa A320", "", 1, false},
        };
        gf_sortLiveries(scannedLiveries);
        gf_buildLiveryTables({});
        scannedLiveries.clear();
        MATCHING_DEPTH.value = 2;
        currentWeekSlot = WeekSlot{3, 20}.packed();
        a1 = &stand("A1", 47.4500, 8.5600);
        a2 = &stand("A2", 47.4502, 8.5600);
        a3 = &stand("A3", 47.4600, 8.5600);
        a1->adjacent = {a2->sid};
        a2->adjacent = {a1->sid};
        a1->heading = 1.0;
        a1->cargo = true;
    }

    void TearDown() override {
        gf_resetStaticPlacementForTests();
        StandTest::TearDown();
    }

    static StaticPick pick(std::uint32_t sid, std::string airl, std::string cs, std::string cs2 = "",
                           bool stays = true, std::int32_t offset = 0) {
        StaticPick p;
        p.sid = sid;
        p.offset = offset;
        p.airl = std::move(airl);
        p.type = "A320";
        p.cs = std::move(cs);
        p.cs2 = std::move(cs2);
        p.stays = stays;
        return p;
    }

    // Places one pick; the static aircraft made of it, nullptr when refused.
    static const StaticAc* place(StaticPick p) {
        const std::size_t before = engineLists.staticAcs.size();
        staticPicks.staticAddList.push_back(std::move(p));
        lf_detcs();
        EXPECT_TRUE(staticPicks.staticAddList.empty());
        return engineLists.staticAcs.size() > before ? &engineLists.staticAcs.back() : nullptr;
    }

    ParkPos* a1 = nullptr;
    ParkPos* a2 = nullptr;
    ParkPos* a3 = nullptr;
};

TEST_F(StaticPlacementTest, CallsignsShownForStaticAircraft) {
    struct Case {
        const char* name;
        std::string airl, cs, cs2;
        bool stays;
        std::uint32_t number;
        std::string shown;
    };
    const std::vector<Case> cases{
        {"leaves within the half hour: departure callsign", "ABC", "ABC123", "ABC124", false, 1, "ABC124*"},
        {"stays: arrival callsign", "ABC", "ABC123", "ABC124", true, 1, "ABC123*"},
        {"leaving without departure callsign", "ABC", "ABC123", "", false, 1, "ABC123*"},
        {"trailing underscores", "XYZ", "XYZ9_", "", true, 1, "XYZ9*"},
        {"already starred", "XYZ", "XYZ9*", "", true, 1, "XYZ9*"},
        {"no callsign: airline and number", "DLH", "", "", true, 42, "DLH42*"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        staticPicks.staticNumberCounter = c.number - 1;
        const StaticAc* ac = place(pick(a3->sid, c.airl, c.cs, c.cs2, c.stays));
        ASSERT_NE(ac, nullptr);
        EXPECT_EQ(ac->cs, c.shown);
        EXPECT_EQ(ac->feedCs, c.cs);
        EXPECT_EQ(ac->text, c.cs2);
        EXPECT_EQ(ac->hexid, c.number);
        ASSERT_FALSE(engineLists.staticCreateQueue.empty());
        EXPECT_EQ(engineLists.staticCreateQueue.back().callsign, c.shown);
        gf_swapEraseStaticAc(engineLists.staticAcs.size() - 1);
    }
    EXPECT_EQ(gf_staticCallsignOf("AB__"), "AB*");
    EXPECT_EQ(gf_staticCallsignOf(""), "*");
}

TEST_F(StaticPlacementTest, CreateRecordOnTheGroundAtTheStand) {
    currentWeekSlot = WeekSlot{1, 2}.packed(); // Monday 01:00
    const StaticAc* ac = place(pick(a1->sid, "ABC", "ABC1", "", true, 4));
    ASSERT_NE(ac, nullptr);
    EXPECT_EQ(WeekSlot::fromPacked(ac->parkedSince), (WeekSlot{7, 46}));
    EXPECT_EQ(ac->simState, SimState::adding2sim);
    EXPECT_EQ(ac->sid, a1->sid);
    EXPECT_TRUE(ac->standFlag);
    EXPECT_TRUE(ac->cargo); // from the cargo stand
    EXPECT_EQ(ac->liveryTitle, "Abc A320");
    ASSERT_EQ(engineLists.staticCreateQueue.size(), 1u);
    const AiCreateRecord& create = engineLists.staticCreateQueue.back();
    EXPECT_DOUBLE_EQ(create.initPosition.latitude, a1->lat);
    EXPECT_DOUBLE_EQ(create.initPosition.longitude, a1->lon);
    EXPECT_DOUBLE_EQ(create.initPosition.heading, degreesPerRadian);
    EXPECT_EQ(create.initPosition.onGround, 1u);
    EXPECT_EQ(create.initPosition.altitude, 0.0);
    EXPECT_EQ(create.initPosition.airspeed, 0u);
    EXPECT_EQ(create.title, "Abc A320");
    EXPECT_EQ(create.hexid, 1u);
    EXPECT_EQ(gf_staticsAtStand(a1->sid), std::vector<std::size_t>{0});

    EXPECT_EQ(gf_weekSlotBefore(WeekSlot{3, 20}, 0), (WeekSlot{3, 20}));
    EXPECT_EQ(gf_weekSlotBefore(WeekSlot{3, 2}, 3), (WeekSlot{2, 47}));
}

TEST_F(StaticPlacementTest, LiveAircraftOnTheStandOrANeighbour) {
    struct Case {
        const char* name;
        AcPhase phase;
        bool onPickedStand; // else on the neighbour
        bool placed;
        std::string log;
    };
    const std::vector<Case> cases{
        {"parked on the stand", AcPhase::parked, true, false,
         "A1      : no static parking for ABC1, live aircraft SWR1 standing here"},
        {"parking on the neighbour", AcPhase::parking, false, false,
         "A1      : no static parking for ABC1, live aircraft SWR1 is adjacent at A2, possibly colliding"},
        {"taxiing on the stand", AcPhase::taxi, true, true, ""},
        {"pushing back from the neighbour", AcPhase::pushing_back, false, true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LiveAc& live = liveAc(20000, "SWR1");
        live.phase = c.phase;
        live.sid = c.onPickedStand ? a1->sid : a2->sid;
        const StaticAc* ac = place(pick(a1->sid, "ABC", "ABC1"));
        EXPECT_EQ(ac != nullptr, c.placed);
        if (!c.log.empty()) {
            EXPECT_EQ(logCount(c.log), 1u);
        }
        engineLists.liveAcs.clear();
        engineLists.staticAcs.clear();
        engineLists.staticCreateQueue.clear();
        gf_reindexAircraft();
    }
}

TEST_F(StaticPlacementTest, RefusedPicks) {
    // A static aircraft on the neighbour.
    ASSERT_NE(place(pick(a2->sid, "ABC", "ABC2")), nullptr);
    EXPECT_EQ(place(pick(a1->sid, "ABC", "ABC1")), nullptr);
    EXPECT_EQ(
        logCount("A1      : no static parking for ABC1, static aircraft ABC2* is adjacent at A2, possibly "
                 "colliding"),
        1u);

    // A stand that has gone is an error line, and no neighbour of it is read.
    EXPECT_EQ(place(pick(99, "ABC", "ABC9")), nullptr);
    EXPECT_EQ(logCount("==> stand with id sid==? not found"), 1u);

    // Without a livery the record goes again; the number it took is skipped.
    EXPECT_EQ(place(pick(a3->sid, "QQQ", "QQQ1")), nullptr);
    EXPECT_EQ(logCount("no livery match ..."), 1u);
    EXPECT_EQ(engineLists.staticAcs.size(), 1u);
    EXPECT_EQ(engineLists.staticCreateQueue.size(), 1u);
    EXPECT_EQ(staticPicks.staticNumberCounter, 2u);
    EXPECT_TRUE(gf_staticsAtStand(a3->sid).empty());
}

TEST_F(StaticPlacementTest, NumbersRunFromOneTo9999AndNeverZero) {
    staticPicks.staticNumberCounter = 9998;
    EXPECT_EQ(gf_nextStaticNumber(), 9999u);
    EXPECT_EQ(gf_nextStaticNumber(), 1u);
    EXPECT_EQ(gf_nextStaticNumber(), 2u);
    gf_resetStaticPlacementForTests();
    for (int i = 0; i < 20000; ++i)
        ASSERT_NE(gf_nextStaticNumber(), 0u);
}

} // namespace
} // namespace enginetest
