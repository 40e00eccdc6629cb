// The coupled-callsign search, the stand search for static parking and the stand look-ups.

#include "core/units.h"
#include "engine/base/engine_tables.h"
#include "engine/base/stands.h"
#include "tests/engine/stand_fixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

namespace enginetest {
namespace {

constexpr double metre = nmPerMetre / 60.0; // degrees of latitude per metre

class StandSearchTest : public StandTest {
protected:
    static void randomOn() {
        RANDOM.value = true;
        gf_coreHooks().randomEnabled = [] { return true; };
    }
    static void newCalculation() {
        staticPicks.staticAddList.clear();
        for (ParkPos& s : parkPositions)
            s.held = s.adjacentHeld = false;
    }
};

TEST_F(StandSearchTest, TheCoupledWindowAroundNow) {
    struct Case {
        const char* type;
        std::uint32_t now;
        std::uint32_t optionHalfHour;
        bool found;
    };
    for (const Case& c :
         {Case{"B77W", 2, 16, true}, Case{"B77W", 2, 17, false}, Case{"B77W", 2, 0, true},
          Case{"A320", 46, 36, true}, Case{"A320", 46, 35, false}, Case{"A320", 46, 47, true}}) {
        lf_resetStands();
        ParkPos& at = stand("A1", 47.45, 8.55);
        option(at, "SWR", c.type, "", 4, {c.optionHalfHour}, "SWR38", "SWR39");
        AcData ac = aircraft("", "SWR39_", c.type);
        lf_searchForCoupledCsAroundThisTime(WeekSlot{4, c.now}, ac);
        EXPECT_EQ(ac.feedCs == "SWR38" && ac.text == "SWR39", c.found) << c.type << " at " << c.now;
    }
}

TEST_F(StandSearchTest, TheCoupledSearchRunsOncePerAircraft) {
    ParkPos& at = stand("A1", 47.45, 8.55);
    option(at, "SWR", "A320", "", 4, {20}, "SWR38", "SWR39");
    LiveAc& ac = liveAc(20001, "SWR39");
    engineLists.coupledSearchQueue = {4711, 20001, 20001};
    EXPECT_EQ(gf_coupledSearchStep(WeekSlot{4, 20}), nullptr); // unknown address: dropped
    EXPECT_EQ(gf_coupledSearchStep(WeekSlot{4, 20}), &ac);
    EXPECT_EQ(ac.feedCs, "SWR38");
    EXPECT_TRUE(ac.identFlag);
    ac.feedCs = "SWR39";
    EXPECT_EQ(gf_coupledSearchStep(WeekSlot{4, 20}), &ac);
    EXPECT_EQ(ac.feedCs, "SWR39"); // not searched again
    EXPECT_TRUE(engineLists.coupledSearchQueue.empty());
    EXPECT_EQ(gf_coupledSearchStep(WeekSlot{4, 20}), nullptr);
}

TEST_F(StandSearchTest, ASingleCandidateIsAlwaysTaken) {
    randomOn();
    ParkPos& at = stand("A1", 47.45, 8.55);
    option(at, "SWR", "A320", "HB-JLQ", 2, {10, 11}, "SWR100", "SWR101");
    option(at, "SWR", "A320", "HB-JLR", 2, {14}, "SWR102");
    for (int i = 0; i < 20; ++i) {
        newCalculation();
        lf_searchStands(WeekSlot{2, 10}, 1, 1, 0, staticPicks.staticAddList);
        ASSERT_EQ(staticPicks.staticAddList.size(), 1u);
        EXPECT_EQ(staticPicks.staticAddList[0].reg, "HB-JLQ");
        EXPECT_TRUE(staticPicks.staticAddList[0].stays); // still there at 05:30
    }
}

TEST_F(StandSearchTest, WithRandomAStandKeepsTheOptionOfItsStaticAircraft) {
    randomOn();
    ParkPos& at = stand("A1", 47.45, 8.55);
    for (const char* cs : {"DLH100", "DLH200", "DLH300", "DLH400"})
        option(at, "DLH", "A320", "", 2, {10}, cs);
    StaticAc& parked = staticAt(5, "DLH400*", at.sid, WeekSlot{2, 9});
    parked.airl = "DLH";
    parked.simState = SimState::buffer; // not active: it does not count as taken
    std::set<std::string> picked;
    for (int i = 0; i < 30; ++i) {
        newCalculation();
        lf_searchStands(WeekSlot{2, 10}, 1, 1, 0, staticPicks.staticAddList);
        ASSERT_EQ(staticPicks.staticAddList.size(), 1u);
        picked.insert(staticPicks.staticAddList[0].cs);
    }
    EXPECT_EQ(picked, (std::set<std::string>{"DLH400"}));
}

TEST_F(StandSearchTest, ARefusedOptionIsStruckOutForLargerOffsets) {
    ParkPos& at = stand("A1", 47.45, 8.55);
    option(at, "SWR", "A320", "HB-JLQ", 2, {8, 9, 10}, "SWR100");
    staticPicks.liveCallsignSet.insert("SWR100_");
    lf_searchStands(WeekSlot{2, 10}, 1, 1, 0, staticPicks.staticAddList);
    EXPECT_TRUE(staticPicks.staticAddList.empty());
    EXPECT_TRUE(at.opts[0].inUse);
    staticPicks.liveCallsignSet.clear();
    lf_searchStands(WeekSlot{2, 10}, 1, 1, 1, staticPicks.staticAddList);
    EXPECT_TRUE(staticPicks.staticAddList.empty());
}

// The selection searches into a vector of its own before the picks join staticPicks.staticAddList: one flight
// (registration, or an arrival or departure callsign) is never picked for two stands, whether the
// earlier pick is in that vector or in staticPicks.staticAddList. The second stand takes its next candidate,
// or stays free when it has none; the refused option is struck out.
TEST_F(StandSearchTest, AFlightIsPickedForOneStandOnly) {
    struct Flight {
        const char* reg;
        const char* cs;
        const char* cs2;
    };
    struct Case {
        const char* name;
        Flight first;  // the only option of A1
        Flight repeat; // B1's first option: the same flight as A1's
        bool earlierInAddList;
        bool secondCandidate; // B1 has another flight seen at this half hour
    };
    const Flight other{"HB-JCA", "SWR300", ""};
    for (const Case& c : {
             Case{"same registration", {"HB-JNB", "SWR558", ""}, {"HB-JNB", "SWR2656", ""}, false, true},
             Case{"same arrival callsign", {"", "EDW868", ""}, {"", "EDW868", ""}, false, true},
             Case{"departure callsign of the first",
                  {"", "EDW868", "EDW869"},
                  {"", "EDW869", ""},
                  false,
                  true},
             Case{"arrival callsign as departure", {"", "EDW869", ""}, {"", "EDW868", "EDW869"}, false, true},
             Case{"no other candidate", {"HB-JNB", "SWR558", ""}, {"HB-JNB", "SWR2656", ""}, false, false},
             Case{"earlier pick in the add list", {"", "EDW868", "EDW869"}, {"", "EDW869", ""}, true, true},
         }) {
        SCOPED_TRACE(c.name);
        lf_resetStands();
        ParkPos& a = stand("A1", 47.45, 8.55);
        ParkPos& b = stand("B1", 47.46, 8.56);
        option(a, "SWR", "A320", c.first.reg, 2, {10}, c.first.cs, c.first.cs2);
        option(b, "SWR", "A320", c.repeat.reg, 2, {10}, c.repeat.cs, c.repeat.cs2);
        if (c.secondCandidate) option(b, "SWR", "A320", other.reg, 2, {10}, other.cs, other.cs2);

        // A pick of an earlier offset holds A1; else A1 is searched with B1.
        if (c.earlierInAddList) {
            staticPicks.staticAddList.push_back(
                StaticPick{a.sid, 1, "SWR", "A320", c.first.cs, c.first.cs2, c.first.reg, true});
            a.held = true;
        }
        std::vector<StaticPick> picks;
        lf_searchStands(WeekSlot{2, 10}, 1, 1, 0, picks);
        std::vector<StaticPick> all = staticPicks.staticAddList;
        all.insert(all.end(), picks.begin(), picks.end());

        ASSERT_EQ(all.size(), c.secondCandidate ? 2u : 1u);
        EXPECT_EQ(all[0].sid, a.sid);
        EXPECT_EQ(all[0].cs, c.first.cs);
        if (c.secondCandidate) {
            EXPECT_EQ(all[1].sid, b.sid);
            EXPECT_EQ(all[1].cs, other.cs);
        }
        EXPECT_EQ(b.held, c.secondCandidate);
        EXPECT_TRUE(b.opts[0].inUse) << "the repeat is struck out";
    }
}

// A flight live in the feed (by callsign, or its aircraft by registration) or shown by a static or
// parked live aircraft leaves the stand without a pick in this call, though another flight was seen
// there too: a static aircraft standing here keeps its stand at a renewal. The struck-out flight no
// longer blocks the next call.
TEST_F(StandSearchTest, AFlightInUseElsewhereLeavesItsStandFreeForThisCall) {
    const std::string feed = "live in the feed", parked = "parked live",
                      queued = "aircraft waiting in the feed", live = "aircraft live under another callsign",
                      statics = "static aircraft";
    // The static aircraft last: the stand list starts again, the static aircraft stay.
    for (const std::string& reason : {feed, parked, queued, live, statics}) {
        SCOPED_TRACE(reason);
        lf_resetStands();
        ParkPos& at = stand("A1", 47.45, 8.55);
        option(at, "SWR", "A320", "HB-JLQ", 2, {10}, "SWR100");
        option(at, "SWR", "A320", "HB-JLR", 2, {10}, "SWR200");
        if (reason == feed) staticPicks.liveCallsignSet.insert("SWR100");
        if (reason == parked) staticPicks.liveParkedList.push_back({"SWR100", 9, 5});
        if (reason == queued) {
            TrafficRecord r = record(20001, "SWR555", "A320", 1.0);
            r.reg = "HB-JLQ";
            queue(r);
            gf_takeCallsignSnapshot();
            std::lock_guard lock(addingStackMutex);
            addingStack.clear();
        }
        if (reason == live) {
            liveAc(20002, "SWR555").reg = "HB-JLQ";
            gf_takeCallsignSnapshot();
        }
        if (reason == statics) staticAt(5, "SWR100*", at.sid, WeekSlot{2, 1}).feedCs = "SWR100";
        std::vector<StaticPick> picks;
        lf_searchStands(WeekSlot{2, 10}, 1, 1, 0, picks);
        EXPECT_TRUE(picks.empty());
        EXPECT_FALSE(at.held);
        EXPECT_TRUE(at.opts[0].inUse);
        lf_searchStands(WeekSlot{2, 10}, 1, 1, 1, picks);
        EXPECT_TRUE(picks.empty()) << "SWR200 was not seen half an hour earlier";
        lf_searchStands(WeekSlot{2, 10}, 1, 1, 0, picks);
        ASSERT_EQ(picks.size(), 1u);
        EXPECT_EQ(picks[0].cs, "SWR200");
    }
}

TEST_F(StandSearchTest, ACoupledFlightGoneAfterMidnightDoesNotStay) {
    ParkPos& at = stand("A1", 47.45, 8.55);
    option(at, "SWR", "A320", "", 7, {46, 47}, "SWR100", "SWR101");
    lf_searchStands(WeekSlot{7, 47}, 1, 1, 0, staticPicks.staticAddList);
    ASSERT_EQ(staticPicks.staticAddList.size(), 1u);
    EXPECT_FALSE(staticPicks.staticAddList[0].stays);
    // Still there at 00:00 on Monday: it stays.
    newCalculation();
    option(at, "SWR", "A320", "", 1, {0, 1}, "SWR100", "SWR101");
    lf_searchStands(WeekSlot{7, 47}, 1, 1, 0, staticPicks.staticAddList);
    ASSERT_EQ(staticPicks.staticAddList.size(), 1u);
    EXPECT_TRUE(staticPicks.staticAddList[0].stays);
}

TEST_F(StandSearchTest, TheSearchedSlotWrapsToThePreviousDay) {
    ParkPos& at = stand("A1", 47.45, 8.55);
    option(at, "SWR", "A320", "", 7, {46}, "SWR100");
    lf_searchStands(WeekSlot{1, 1}, 1, 1, 3, staticPicks.staticAddList); // Monday 00:30 minus 3: Sunday 23:00
    ASSERT_EQ(staticPicks.staticAddList.size(), 1u);
    EXPECT_EQ(staticPicks.staticAddList[0].offset, 3);
}

// Empty coupled callsigns and registrations are no identity: an option without them is not in use
// because a static aircraft or a pick lacks them too.
TEST_F(StandSearchTest, EmptyTextsNeverMakeAnOptionInUse) {
    ParkPos& a = stand("A1", 47.45, 8.55);
    ParkPos& b = stand("B1", 47.46, 8.56);
    option(a, "SWR", "A320", "", 2, {10}, "SWR100");
    option(b, "SWR", "A320", "", 2, {10}, "SWR200");
    staticAt(5, "XYZ1*", 0, WeekSlot{2, 1}); // no feed callsign, no registration
    staticPicks.liveParkedList.push_back({"", 0, 5});
    lf_searchStands(WeekSlot{2, 10}, 1, 1, 0, staticPicks.staticAddList);
    EXPECT_EQ(staticPicks.staticAddList.size(), 2u);

    ParkOpt opt;
    opt.cs = "SWR300";
    EXPECT_FALSE(lf_isOptionInUse(opt));
    staticPicks.liveParkedList.push_back({"SWR300", 0, 5});
    EXPECT_TRUE(lf_isOptionInUse(opt));
    opt.cs = "";
    opt.reg = "HB-JLQ";
    staticPicks.staticAddList.back().reg = "HB-JLQ";
    EXPECT_TRUE(lf_isOptionInUse(opt));
}

TEST_F(StandSearchTest, NeighboursOfAPickAndOfAStaticAircraftAreKeptFree) {
    ParkPos& a = stand("A1", 47.45, 8.55);
    ParkPos& b = stand("A2", 47.45 + 30 * metre, 8.55);
    ParkPos& c = stand("A3", 47.45 + 60 * metre, 8.55);
    a.adjacent = {b.sid};
    b.adjacent = {a.sid, c.sid};
    c.adjacent = {b.sid};
    for (ParkPos* s : {&a, &b, &c})
        option(*s, "SWR", "A320", "", 2, {10}, "SWR" + s->id);
    lf_searchStands(WeekSlot{2, 10}, 1, 1, 0, staticPicks.staticAddList);
    ASSERT_EQ(staticPicks.staticAddList.size(), 2u); // A1 and A3; A2 is next to A1
    EXPECT_EQ(staticPicks.staticAddList[1].sid, c.sid);
    EXPECT_TRUE(b.adjacentHeld);

    // A static A320 on A2 (30 m away) is too close for another A320 on A1 or A3.
    newCalculation();
    staticAt(5, "XYZ1*", b.sid, WeekSlot{2, 1});
    b.blocked = true;
    lf_searchStands(WeekSlot{2, 10}, 1, 1, 0, staticPicks.staticAddList);
    EXPECT_TRUE(staticPicks.staticAddList.empty());
}

TEST_F(StandSearchTest, HelipadsAndJetStandsDoNotMix) {
    stand("H1", 47.45, 8.55, 12.0, true);
    stand("A1", 47.46, 8.55, 20.0);
    const Lalo nearH1{47.45 + 15 * metre, 8.55};
    const Lalo nearA1{47.46 + 15 * metre, 8.55};
    const AcData jet = aircraft("", "SWR1", "A320");
    const AcData heli = aircraft("", "REGA1", "EC35");
    ASSERT_EQ(heli.sizeCat, SizeCategory::Rotorcraft);
    EXPECT_EQ(gf_findStandForAircraft(nearH1, jet, 0.05, false), nullptr);
    EXPECT_EQ(gf_findStandForAircraft(nearA1, heli, 0.05, false), nullptr);
    ASSERT_NE(gf_findStandForAircraft(nearH1, heli, 0.05, false), nullptr);
    ASSERT_NE(gf_findStandForAircraft(nearA1, jet, 0.05, false), nullptr);
    EXPECT_EQ(gf_findStandForAircraft(nearA1, jet, 0.05, false)->id, "A1");
}

TEST_F(StandSearchTest, ATooSmallStandIsTakenOnlyFromCloseByAndGrows) {
    AcData ac = aircraft("", "SWR1", "B77W");
    const double radiusMetres = ac.halfSize * metresPerNm - 2.0;
    for (const double metres : {25.0, 20.0}) {
        lf_resetStands();
        ParkPos& at = stand("E1", 47.45, 8.55, radiusMetres);
        const ParkPos* found = gf_findStandForAircraft(Lalo{47.45 + metres * metre, 8.55}, ac, 0.05, false);
        if (metres > 20.0) {
            EXPECT_EQ(found, nullptr);
            EXPECT_FALSE(at.radius_change);
            continue;
        }
        ASSERT_EQ(found, &at);
        EXPECT_NEAR(at.radius * metresPerNm, ac.halfSize * metresPerNm - 1.0, 1e-9);
        EXPECT_TRUE(at.radius_change);
        EXPECT_EQ(parkAirport.standUpdateCount, 1u);
    }
}

TEST_F(StandSearchTest, TheStandForAnAircraftSkipsOccupiedStandsAndFallsBackToItsOption) {
    ParkPos& a = stand("A1", 47.45, 8.55);
    ParkPos& b = stand("A2", 47.45 + 60 * metre, 8.55);
    const AcData ac = aircraft("", "SWR100", "A320");
    const Lalo at{47.45 + 5 * metre, 8.55};
    EXPECT_EQ(gf_findStandForAircraft(at, ac, 0.01, false), &a);
    a.occupied = true;
    EXPECT_EQ(gf_findStandForAircraft(at, ac, 0.01, false), nullptr); // A2 is beyond the 0.01 nm
    EXPECT_EQ(gf_findStandForAircraft(at, ac, 0.01, true), nullptr);  // A2 has no option of it
    option(b, "EZS", "A319", "", 1, {3}, "SWR100");
    EXPECT_EQ(gf_findStandForAircraft(at, ac, 0.01, true), &b);
}

TEST_F(StandSearchTest, AParkedNeighbourTooCloseIsAConflict) {
    ParkPos& a = stand("A1", 47.45, 8.55);
    ParkPos& b = stand("A2", 47.45 + 30 * metre, 8.55);
    ParkPos& c = stand("A3", 47.45 + 300 * metre, 8.55);
    const std::vector<std::uint32_t> ids{c.sid, b.sid};
    const AcData arriving = aircraft("", "SWR1", "A320");
    EXPECT_EQ(gf_adjacentLiveConflict(ids, a, arriving), ids.end());
    parkedLive(20001, "EZS5", c.sid, 1);
    LiveAc& next = parkedLive(20002, "EZS6", b.sid, 1);
    EXPECT_EQ(gf_adjacentLiveConflict(ids, a, arriving), ids.begin() + 1);
    next.cs = "SWR1"; // the arriving aircraft itself
    EXPECT_EQ(gf_adjacentLiveConflict(ids, a, arriving), ids.end());
    next.cs = "EZS6";
    next.phase = AcPhase::taxi;
    EXPECT_EQ(gf_adjacentLiveConflict(ids, a, arriving), ids.end());
}

TEST_F(StandSearchTest, OptionPredicatesForTheStaticParking) {
    AcData ac = aircraft("HB-AAA", "EZS1");
    ac.airl = "EZS";
    ParkPos& at = stand("A1", 47.45, 8.55);
    const ParkOpt& opt = option(at, "EZS", "A320", "HB-AAA", 3, {40});
    EXPECT_TRUE(gf_optionCoversRecentSlots(ac, WeekSlot{3, 42}, 2, opt));
    EXPECT_FALSE(gf_optionCoversRecentSlots(ac, WeekSlot{3, 42}, 1, opt));
    EXPECT_FALSE(gf_optionCoversRecentSlots(ac, WeekSlot{4, 42}, 5, opt));
    EXPECT_TRUE(gf_optionCoversDayEnd(ac, WeekSlot{3, 2}, 7, opt));
    EXPECT_FALSE(gf_optionCoversDayEnd(ac, WeekSlot{3, 2}, 6, opt));
    ac.type = "A319";
    EXPECT_FALSE(gf_optionCoversRecentSlots(ac, WeekSlot{3, 42}, 2, opt));
}

TEST_F(StandSearchTest, TheCallsignSnapshotTakesTheFeedsCollection) {
    staticPicks.liveCallsignSet.insert("OLD1");
    trafficReader.startCollectingCallsigns();
    gf_takeCallsignSnapshot();
    EXPECT_TRUE(staticPicks.liveCallsignSet.empty());
    EXPECT_FALSE(trafficReader.collectingCallsigns());
}

TEST_F(StandSearchTest, TheNearestStandNameComesFromThePublishedStands) {
    stand("A1", 47.45, 8.55);
    stand("A2", 47.45 + 40 * metre, 8.55);
    userOnGround = true;
    EXPECT_EQ(gf_nearestStandName(Lalo{47.45, 8.55}), ""); // nothing published yet
    gf_publishStandSnapshot();
    EXPECT_EQ(gf_nearestStandName(Lalo{47.45 + 35 * metre, 8.55}), "A2");
    EXPECT_EQ(gf_nearestStandName(Lalo{47.45 + 100 * metre, 8.55}), "");
    userOnGround = false;
    EXPECT_EQ(gf_nearestStandName(Lalo{47.45 + 35 * metre, 8.55}), "");
    userOnGround = true;
    gf_clearParkStands();
    EXPECT_EQ(gf_nearestStandName(Lalo{47.45 + 35 * metre, 8.55}), "");
    userOnGround = false;
}

// The link asks on its own thread while the worker loads and clears the stands: run under
// ThreadSanitizer (build-tsan) to see that it is clean.
TEST_F(StandSearchTest, TheNearestStandNameIsSafeFromAnotherThread) {
    userOnGround = true;
    std::atomic<bool> stop{false};
    std::atomic<int> answers{0};
    std::thread link([&] {
        int i = 0;
        while (!stop.load()) {
            const std::string name = gf_nearestStandName(Lalo{47.45 + (i++ % 3) * 10 * metre, 8.55});
            if (!name.empty() && name.front() != 'S') std::abort();
            answers.fetch_add(1);
        }
    });
    for (int round = 0; round < 200 || answers.load() < 200; ++round) {
        gf_clearParkStands();
        for (int i = 0; i < 20; ++i)
            stand("S" + std::to_string(i), 47.45 + i * 10 * metre, 8.55);
        gf_publishStandSnapshot();
        for (ParkPos& s : parkPositions)
            s.lat += metre; // a stand moved
        gf_publishStandSnapshot();
    }
    stop = true;
    link.join();
    userOnGround = false;
    EXPECT_GE(answers.load(), 200);
}

} // namespace
} // namespace enginetest
