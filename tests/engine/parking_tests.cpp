// Live aircraft at stands: taking a stand after a halt, the stand of an aircraft created on the ground,
// the feed's samples of a parked aircraft (stays, leaves, is towed, is gone), the parked list of
// aircraft the feed still reports, and who may free an occupied stand.

#include "core/units.h"
#include "engine/base/engine_tables.h"
#include "engine/base/stands.h"
#include "engine/live/live_update.h"
#include "engine/live/movement.h"
#include "engine/live/parking.h"
#include "engine/stands/conflicts.h"
#include "engine/stands/stand_clearing.h"

#include "tests/engine/stand_fixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

namespace enginetest {
namespace {

using ::testing::HasSubstr;

constexpr double metre = nmPerMetre / 60.0; // degrees of latitude

class ParkingTest : public ParkAirportTest {
protected:
    // An active aircraft taxiing on the ground that has come to a halt `northMetres` north of the
    // first stand (its last queued sample stands there).
    static LiveAc& halted(std::uint32_t hexid, const std::string& cs, double northMetres,
                          const std::string& type = "A320") {
        LiveAc& ac = liveAc(hexid, cs, type);
        ac.simState = SimState::active;
        ac.phase = AcPhase::taxi;
        ac.onGround = true;
        gf_setObjectId(ac, hexid + 1);
        ac.samples.clear();
        ac.samples.push_back(groundSample(standLat + (northMetres + 80) * metre, standLon, false, 10));
        ac.samples.push_back(groundSample(standLat + (northMetres + 40) * metre, standLon, false, 8));
        ac.samples.push_back(groundSample(standLat + northMetres * metre, standLon, true));
        return ac;
    }

    // A live aircraft about to be created on the ground: two samples, standing when `standing`.
    static LiveAc& newborn(std::uint32_t hexid, const std::string& cs, const std::string& reg = "",
                           double northMetres = 0, bool standing = true) {
        LiveAc& ac = liveAc(hexid, cs);
        ac.reg = reg;
        ac.phase = AcPhase::birth;
        ac.samples.clear();
        ac.samples.push_back(groundSample(standLat + northMetres * metre, standLon, standing));
        ac.samples.push_back(groundSample(standLat + northMetres * metre, standLon, standing));
        return ac;
    }

    // The user aircraft standing on the ground at the first stand.
    static void userAtFirstStand() {
        engineLists.engineUserState.latitude = standLat + 2 * metre;
        engineLists.engineUserState.longitude = standLon;
        userOnGround = true;
        gf_publishStandSnapshot();
    }
};

// ---- try2Park --------------------------------------------------------------------------------------

TEST_F(ParkingTest, AHaltedAircraftTakesTheStandWithinItsReachUnlessItIsRefused) {
    struct Case {
        const char* name;
        double northMetres;
        bool landed;
        bool reserved;
        bool userThere;
        bool userAirborne;
        bool taken;
    };
    for (const Case& c : {
             Case{"close by", 10, false, false, false, false, true},
             Case{"40 m, with real samples", 40, false, false, false, false, false},
             Case{"40 m, landed", 40, true, false, false, false, true},
             Case{"70 m, landed", 70, true, false, false, false, false},
             Case{"the reserved stand", 10, true, true, false, false, false},
             Case{"the user's stand", 10, true, false, true, false, false},
             Case{"the user in the air above it", 10, true, false, true, true, true},
         }) {
        SCOPED_TRACE(c.name);
        lf_resetStands();
        engineLists.liveAcs.clear();
        gf_reindexAircraft();
        parkAirport.reservedStandName.clear();
        userOnGround = false;
        ParkPos& at = stand("A1", standLat, standLon);
        at.heading = 2.5;
        at.cargo = true;
        gf_publishStandSnapshot();
        if (c.reserved) parkAirport.reservedStandName = "A1";
        if (c.userThere) {
            userAtFirstStand();
            userOnGround = !c.userAirborne;
        }
        LiveAc& ac = halted(20001, "SWR1", c.northMetres);
        const auto queued = ac.samples.size();
        try2Park(ac, c.landed);
        if (c.taken) {
            EXPECT_EQ(ac.phase, AcPhase::parking);
            EXPECT_EQ(ac.sid, at.sid);
            EXPECT_DOUBLE_EQ(ac.standLat, at.lat);
            EXPECT_DOUBLE_EQ(ac.standLon, at.lon);
            EXPECT_DOUBLE_EQ(ac.standHdg, 2.5);
            EXPECT_TRUE(ac.standFlag) << "the cargo stand's mark";
            ASSERT_FALSE(ac.samples.empty());
            EXPECT_DOUBLE_EQ(ac.samples.back().lat, at.lat)
                << "the queue is cut and the drive onto it follows";
            EXPECT_DOUBLE_EQ(ac.samples.back().lon, at.lon);
        } else {
            EXPECT_EQ(ac.phase, AcPhase::taxi);
            EXPECT_EQ(ac.sid, 0u);
            EXPECT_EQ(ac.samples.size(), queued);
        }
    }
}

// The search runs once per halt: halting again at the same spot does not search again, a halt a little
// farther on does.
TEST_F(ParkingTest, HaltingTwiceAtOneSpotSearchesOnce) {
    stand("A1", standLat, standLon);
    parkAirport.reservedStandName = "A1";
    LiveAc& ac = halted(20001, "SWR1", 5);
    try2Park(ac, false);
    ASSERT_EQ(ac.phase, AcPhase::taxi) << "refused while reserved";
    parkAirport.reservedStandName.clear();
    try2Park(ac, false);
    EXPECT_EQ(ac.phase, AcPhase::taxi) << "the same spot: no second search";
    ac.samples.back().lat -= 1 * metre;
    try2Park(ac, false);
    EXPECT_EQ(ac.phase, AcPhase::parking);
}

TEST_F(ParkingTest, TakingAStandClearsItsHolderTheCloseNeighboursAndTheStaticAircraft) {
    ParkPos& a = stand("A1", standLat, standLon);
    ParkPos& b = stand("A2", standLat, standLon + 30 * metre / std::cos(standLat * radiansPerDegree));
    ParkPos& c = stand("A3", standLat - 300 * metre, standLon);
    a.adjacent = {b.sid, c.sid};
    LiveAc& holder = parkedLive(20001, "SWR1", a.sid, 5);
    LiveAc& neighbour = parkedLive(20002, "SWR2", b.sid, 5);
    LiveAc& far = parkedLive(20003, "SWR3", c.sid, 5);
    StaticAc& atStand = staticAt(11, "EZS7", a.sid, WeekSlot{3, 10});
    atStand.reg = "HB-AAA";
    StaticAc& nextDoor = staticAt(12, "EZS8", b.sid, WeekSlot{3, 10});
    LiveAc& ac = halted(20009, "EZS9", 5);
    ac.reg = "HB-AAA";
    try2Park(ac, false);
    ASSERT_EQ(ac.phase, AcPhase::parking);
    EXPECT_EQ(holder.simState, SimState::removingfromsim);
    EXPECT_EQ(neighbour.simState, SimState::removingfromsim);
    EXPECT_EQ(far.simState, SimState::active);
    EXPECT_EQ(atStand.simState, SimState::removingfromsim);
    EXPECT_EQ(nextDoor.simState, SimState::removingfromsim);
    const std::string log = logText();
    EXPECT_THAT(log, HasSubstr("A1      : SWR1     removed, EZS9 wants to park there"));
    EXPECT_THAT(log,
                HasSubstr("A2      : SWR2     removed by parking EZS9 at adjacent and possibly colliding "
                          "stand A1"));
    EXPECT_THAT(log, HasSubstr("A1      : EZS7     HB-AAA makes way for the same live version EZS9 HB-AAA"));
    EXPECT_THAT(log, HasSubstr("A2      : EZS8     makes way for EZS9 parking at excluded stand A1"));
}

TEST_F(ParkingTest, AnEmptyQueueIsLoggedAndNothingHappens) {
    stand("A1", standLat, standLon);
    LiveAc& ac = halted(20001, "SWR1", 5);
    ac.samples.clear();
    try2Park(ac, false);
    EXPECT_EQ(ac.phase, AcPhase::taxi);
    EXPECT_THAT(logText(), HasSubstr("try2Park empty sz?"));
}

// ---- The stand at creation --------------------------------------------------------------------------

TEST_F(ParkingTest, TheStandOfAnAircraftCreatedOnTheGround) {
    enum class Holder { none, parkedSeen, shorterCallsign, neighbourTooClose };
    enum class Refusal { none, reserved, userThere };
    struct Case {
        const char* name;
        double northMetres;
        bool standing;
        double secondGs;
        double lastNorthMetres; // the last queued sample, when it differs
        bool airportFar;
        Refusal refusal;
        Holder holder;
        bool found;
        bool erased;
    };
    for (const Case& c : {
             Case{"standing on the stand", 3, true, 0, 3, false, Refusal::none, Holder::none, true, false},
             Case{"standing 50 m off", 50, true, 0, 50, false, Refusal::none, Holder::none, true, false},
             Case{"standing 60 m off", 60, true, 0, 60, false, Refusal::none, Holder::none, false, false},
             Case{"settling onto it", 30, false, 4, 2, false, Refusal::none, Holder::none, true, false},
             Case{"still rolling", 30, false, 8, 2, false, Refusal::none, Holder::none, false, false},
             Case{"stopping short of it", 100, false, 4, 60, false, Refusal::none, Holder::none, false,
                  false},
             Case{"far from the park airport", 3, true, 0, 3, true, Refusal::none, Holder::none, false,
                  false},
             Case{"the reserved stand", 3, true, 0, 3, false, Refusal::reserved, Holder::none, false, false},
             Case{"the user's stand", 3, true, 0, 3, false, Refusal::userThere, Holder::none, false, false},
             Case{"the feed still has the holder there", 3, true, 0, 3, false, Refusal::none,
                  Holder::parkedSeen, false, true},
             Case{"a longer callsign of the holder", 3, true, 0, 3, false, Refusal::none,
                  Holder::shorterCallsign, false, true},
             Case{"a parked neighbour too close", 3, true, 0, 3, false, Refusal::none,
                  Holder::neighbourTooClose, false, true},
         }) {
        SCOPED_TRACE(c.name);
        lf_resetStands();
        engineLists.liveAcs.clear();
        engineLists.staticAcs.clear();
        gf_reindexAircraft();
        parkAirport.reservedStandName = c.refusal == Refusal::reserved ? "A1" : "";
        userOnGround = false;
        currentParkAirport.lat = c.airportFar ? standLat + 0.2 : standLat;
        ParkPos& at = stand("A1", standLat, standLon);
        ParkPos& next = stand("A2", standLat, standLon - 25 * metre / std::cos(standLat * radiansPerDegree));
        at.adjacent = {next.sid};
        if (c.refusal == Refusal::userThere) userAtFirstStand();
        staticAt(11, "EZS7", at.sid, WeekSlot{3, 10});
        if (c.holder == Holder::parkedSeen)
            parkedLive(20001, "DLH7", at.sid, 5).standWatch.seenAtStand = true;
        if (c.holder == Holder::shorterCallsign) parkedLive(20001, "DLH400", at.sid, 5);
        if (c.holder == Holder::neighbourTooClose) parkedLive(20001, "DLH7", next.sid, 5);
        LiveAc& ac = newborn(20009, "DLH400A", "", c.northMetres, c.standing);
        ac.samples.push_back(groundSample(standLat + c.lastNorthMetres * metre, standLon, c.standing));
        ac.samples[1].gs = c.secondGs;
        const ParkPos* found = gf_standAtCreation(ac);
        EXPECT_EQ(found != nullptr, c.found);
        EXPECT_EQ(ac.eraseNow, c.erased);
        if (found != nullptr) {
            EXPECT_EQ(found->sid, at.sid);
            EXPECT_TRUE(ac.samples.front().standing);
            EXPECT_EQ(ac.samples.front().gs, 0);
            EXPECT_EQ(engineLists.staticAcs.front().simState, SimState::removingfromsim)
                << "the static aircraft made way";
        } else {
            EXPECT_EQ(engineLists.staticAcs.front().simState, SimState::active);
        }
    }
}

// spawnLiveAc creates an aircraft found on a stand parked there: on the stand's spot and heading,
// holding the stand, its flight learned, and the parked count kept.
TEST_F(ParkingTest, AnAircraftCreatedOnAStandParksThereAndHoldsIt) {
    ParkPos& at = stand("A1", standLat, standLon);
    at.heading = 1.0;
    staticPicks.wantedParkCount = 2;
    LiveAc& old = parkedLive(20001, "SWR1", 0, 50);
    parkedLive(20002, "SWR2", 0, 20);
    LiveAc& ac = newborn(20009, "EZS9", "HB-AAA", 4);
    ac.liveryTitle = "Stub A320";
    spawnLiveAc(ac);
    ASSERT_EQ(ac.phase, AcPhase::parked);
    EXPECT_EQ(ac.simState, SimState::adding2sim);
    EXPECT_EQ(ac.sid, at.sid);
    EXPECT_EQ(ac.parkStartTicks, gf_engineTicks());
    ASSERT_EQ(ac.samples.size(), 1u);
    EXPECT_DOUBLE_EQ(ac.samples.front().lat, at.lat);
    EXPECT_NEAR(ac.samples.front().track, 1.0 * degreesPerRadian, 1e-9);
    EXPECT_NEAR(ac.pos.heading, 1.0, 1e-9);
    EXPECT_TRUE(at.occupied);
    EXPECT_EQ(gf_standHolder(at.sid), ac.hexid);
    ASSERT_EQ(at.opts.size(), 1u) << "the flight is learned at the stand";
    EXPECT_EQ(at.opts.front().reg, "HB-AAA");
    EXPECT_EQ(old.simState, SimState::removingfromsim) << "the longest parked made room";
}

TEST_F(ParkingTest, AnAircraftStandingWhereNoStandIsWaitsAndOneTheStandRefusesGoes) {
    stand("A1", standLat, standLon);
    LiveAc& waiting = newborn(20009, "EZS9", "", 200);
    waiting.liveryTitle = "Stub A320";
    spawnLiveAc(waiting);
    EXPECT_EQ(waiting.phase, AcPhase::birth);
    EXPECT_EQ(waiting.samples.size(), 1u) << "its front sample dropped";
    EXPECT_EQ(waiting.simState, SimState::buffer);

    parkedLive(20001, "DLH400", 1, 5);
    LiveAc& refused = newborn(20010, "DLH400A", "", 2);
    refused.liveryTitle = "Stub A320";
    spawnLiveAc(refused);
    EXPECT_TRUE(refused.eraseNow);
    EXPECT_EQ(refused.simState, SimState::buffer);
}

// ---- Samples of an aircraft at its stand --------------------------------------------------------------

// A parked A320 (half span 17.9 m) and the feed's samples at the given distances (metres north of the
// stand): small drifts keep it parked; a steady move away or a jump of more than its half span makes
// it leave; samples far away end it.
TEST_F(ParkingTest, TheFeedsSamplesDecideWhetherAParkedAircraftStaysLeavesOrGoes) {
    enum class Outcome { stays, leaves, removed, taxis, dropped };
    struct Case {
        const char* name;
        AcPhase phase;
        AcPhase prevPhase;
        SimState state;
        std::vector<double> metres;
        Outcome outcome;
    };
    for (const Case& c : {
             Case{"drifting",
                  AcPhase::parked,
                  AcPhase::parking,
                  SimState::active,
                  {2, 4, 3, 5, 4},
                  Outcome::stays},
             Case{"moving away steadily",
                  AcPhase::parked,
                  AcPhase::parking,
                  SimState::active,
                  {0, 4, 8, 12},
                  Outcome::leaves},
             Case{"back and forth",
                  AcPhase::parked,
                  AcPhase::parking,
                  SimState::active,
                  {0, 4, 8, 2, 12},
                  Outcome::stays},
             Case{"a jump of more than its half span",
                  AcPhase::parked,
                  AcPhase::parking,
                  SimState::active,
                  {0, 20},
                  Outcome::leaves},
             Case{"far within twice the reach after arriving",
                  AcPhase::parked,
                  AcPhase::parking,
                  SimState::active,
                  {150},
                  Outcome::stays},
             Case{"beyond the reach, created parked",
                  AcPhase::parked,
                  AcPhase::birth,
                  SimState::active,
                  {150},
                  Outcome::leaves},
             Case{"beyond 200 m", AcPhase::parked, AcPhase::birth, SimState::active, {250}, Outcome::removed},
             Case{"driving in, beyond the reach",
                  AcPhase::parking,
                  AcPhase::taxi,
                  SimState::active,
                  {100},
                  Outcome::taxis},
             Case{"not created yet",
                  AcPhase::parked,
                  AcPhase::birth,
                  SimState::adding2sim,
                  {0, 30},
                  Outcome::dropped},
         }) {
        SCOPED_TRACE(c.name);
        lf_resetStands();
        engineLists.liveAcs.clear();
        gf_reindexAircraft();
        ParkPos& at = stand("A1", standLat, standLon);
        LiveAc& ac = parkedLive(20001, "EZS9", at.sid, 30);
        ac.reg = "HB-AAA";
        ac.standLat = at.lat;
        ac.standLon = at.lon;
        ac.onGround = true;
        ac.phase = c.phase;
        ac.prevPhase = c.prevPhase;
        ac.simState = c.state;
        ac.samples.push_back(groundSample(at.lat, at.lon, true));
        gf_occupyStand(at.sid, ac.hexid);
        bool accepted = false;
        for (const double m : c.metres) {
            PosSample s = groundSample(at.lat + m * metre, at.lon, false, 2);
            accepted = gf_checkStandDeparture(ac, s);
            if (accepted) {
                EXPECT_FALSE(s.standing);
                break;
            }
        }
        switch (c.outcome) {
        case Outcome::stays:
            EXPECT_FALSE(accepted);
            EXPECT_EQ(ac.phase, AcPhase::parked);
            EXPECT_FALSE(ac.move.pushbackPending);
            EXPECT_TRUE(ac.standWatch.seenAtStand);
            EXPECT_TRUE(at.occupied);
            EXPECT_EQ(ac.parkStartTicks, gf_engineTicks()) << "parked since the last sample at the stand";
            break;
        case Outcome::leaves:
            EXPECT_TRUE(accepted);
            EXPECT_EQ(ac.phase, AcPhase::parked);
            EXPECT_TRUE(ac.move.pushbackPending);
            EXPECT_FALSE(at.occupied) << "the stand is free";
            ASSERT_EQ(at.opts.size(), 1u);
            EXPECT_TRUE(at.opts.front().cpl) << "learned as a coupled option";
            break;
        case Outcome::removed:
            EXPECT_FALSE(accepted);
            EXPECT_EQ(ac.simState, SimState::removingfromsim);
            EXPECT_FALSE(at.occupied);
            ASSERT_EQ(at.opts.size(), 1u);
            EXPECT_TRUE(at.opts.front().cpl);
            break;
        case Outcome::taxis:
            EXPECT_TRUE(accepted);
            EXPECT_EQ(ac.phase, AcPhase::taxi);
            break;
        case Outcome::dropped:
            EXPECT_FALSE(accepted);
            EXPECT_FALSE(ac.standWatch.seenAtStand);
            EXPECT_TRUE(at.opts.empty());
            break;
        }
    }
}

// Leaving the stand once is enough: a later sample of an aircraft that already left changes nothing more.
TEST_F(ParkingTest, AnAircraftLeavesItsStandOnce) {
    ParkPos& at = stand("A1", standLat, standLon);
    LiveAc& ac = parkedLive(20001, "EZS9", at.sid, 30);
    ac.reg = "HB-AAA";
    ac.standLat = at.lat;
    ac.standLon = at.lon;
    ac.prevPhase = AcPhase::birth;
    ac.samples.push_back(groundSample(at.lat, at.lon, true));
    PosSample away = groundSample(at.lat + 100 * metre, at.lon, false, 3);
    ASSERT_TRUE(gf_checkStandDeparture(ac, away));
    EXPECT_EQ(ac.prevPhase, AcPhase::parked);
    // Another aircraft took the stand meanwhile: the one that left does not free it again.
    gf_occupyStand(at.sid, 20002);
    at.opts.clear();
    PosSample further = groundSample(at.lat + 110 * metre, at.lon, false, 3);
    EXPECT_TRUE(gf_checkStandDeparture(ac, further));
    EXPECT_TRUE(at.occupied);
    EXPECT_TRUE(at.opts.empty());
}

// A parked aircraft that landed here and is dead reckoned leaves its stand: towed when its last real
// sample is recent for its kind (a Heavy within an hour, a Large within 25 minutes, a business jet
// within 15), never for other kinds; the landed mark goes either way and sample 0 is due at once.
TEST_F(ParkingTest, ALandedAircraftLeavingSoonAfterItsLastSampleIsTowed) {
    struct Case {
        SizeCategory category;
        std::int64_t minutesSinceReal;
        bool towed;
    };
    for (const Case& c : {
             Case{SizeCategory::Heavy, 59, true},
             Case{SizeCategory::Heavy, 61, false},
             Case{SizeCategory::Large, 24, true},
             Case{SizeCategory::Large, 26, false},
             Case{SizeCategory::Buzjets, 14, true},
             Case{SizeCategory::Buzjets, 16, false},
             Case{SizeCategory::Light, 1, false},
         }) {
        SCOPED_TRACE(fmt::format("{} after {} minutes", gf_sizeCategoryName(c.category), c.minutesSinceReal));
        lf_resetStands();
        engineLists.liveAcs.clear();
        gf_reindexAircraft();
        ParkPos& at = stand("A1", standLat, standLon);
        LiveAc& ac = parkedLive(20001, "EZS9", at.sid, 30);
        ac.sizeCat = c.category;
        ac.standLat = at.lat;
        ac.standLon = at.lon;
        ac.prevPhase = AcPhase::parking;
        ac.move.landed = true;
        ac.move.extrapolationCount = 1;
        ac.samples.clear();
        PosSample reckoned = groundSample(at.lat, at.lon, true);
        reckoned.duePass = enginePassCount.load() - c.minutesSinceReal * 6000 + parkedLegPasses;
        ac.samples.push_back(reckoned);
        PosSample away = groundSample(at.lat + 180 * metre, at.lon, false, 3);
        ASSERT_TRUE(gf_checkStandDeparture(ac, away)) << "left";
        EXPECT_EQ(ac.move.towed, c.towed);
        EXPECT_FALSE(ac.move.landed);
        EXPECT_EQ(ac.move.extrapolationCount, 0);
        EXPECT_EQ(ac.samples.front().duePass, enginePassCount.load() + 1);
        EXPECT_EQ(ac.move.lagBound, 3000);
        EXPECT_EQ(ac.move.leadBound, 3000);
    }
}

// ---- Parked list, conflicts and the occupied mark -----------------------------------------------------

// The feed still reports them at their stands: kept in the parked list with 0 minutes however long
// they stand, and no other flight takes their stand.
TEST_F(ParkingTest, AircraftTheFeedReportsAtTheirStandsStay) {
    ParkPos& at = stand("A1", standLat, standLon);
    LiveAc& seen = parkedLive(20001, "SWR1", at.sid, 200, "B77W");
    seen.sizeCat = SizeCategory::Heavy;
    seen.standWatch.seenAtStand = true;
    LiveAc& old = parkedLive(20002, "SWR2", 0, 200, "B77W");
    old.sizeCat = SizeCategory::Heavy;
    gf_buildLiveParkedList();
    ASSERT_EQ(staticPicks.liveParkedList.size(), 1u);
    EXPECT_EQ(staticPicks.liveParkedList.front().cs, "SWR1");
    EXPECT_EQ(staticPicks.liveParkedList.front().minutes, 0);
    EXPECT_EQ(seen.simState, SimState::active);
    EXPECT_EQ(old.simState, SimState::removingfromsim);

    EXPECT_FALSE(gf_standConflictAllows(at.sid, "EZS9"));
    EXPECT_EQ(seen.simState, SimState::active);
    EXPECT_TRUE(gf_standConflictAllows(at.sid, "SWR1")) << "the same flight again replaces it";
}

// The dead-reckoned sample of a parked aircraft frees the stand only when that aircraft holds it; the
// feed reporting the holder at its stand again gives the stand back to it.
TEST_F(ParkingTest, OnlyTheHoldersDeadReckonedSampleFreesTheStandUntilTheFeedReportsItThere) {
    ParkPos& at = stand("A1", standLat, standLon);
    LiveAc& holder = parkedLive(20001, "SWR1", at.sid, 5);
    LiveAc& other = parkedLive(20002, "SWR2", at.sid, 5);
    for (LiveAc* ac : {&holder, &other}) {
        ac->onGround = true;
        ac->samples.clear();
        ac->samples.push_back(groundSample(at.lat, at.lon, true));
    }
    gf_occupyStand(at.sid, holder.hexid);
    nextPosMain(other);
    EXPECT_TRUE(at.occupied);
    EXPECT_GE(other.samples.front().duePass, parkedLegPasses) << "a week ahead";
    holder.standWatch.seenAtStand = true;
    nextPosMain(holder);
    EXPECT_FALSE(at.occupied);
    EXPECT_FALSE(holder.standWatch.seenAtStand);

    holder.standLat = at.lat;
    holder.standLon = at.lon;
    PosSample there = groundSample(at.lat + 2 * metre, at.lon, true);
    EXPECT_FALSE(gf_checkStandDeparture(holder, there));
    EXPECT_TRUE(at.occupied);
    EXPECT_EQ(gf_standHolder(at.sid), holder.hexid);
}

} // namespace
} // namespace enginetest
