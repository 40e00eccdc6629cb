// Stands and the records that hold them: every way a live record is erased gives its stand back, a parked
// aircraft respawned with a new livery comes back at its stand, the conflict rules see holders that occupy
// their stands, the parked set-up clears the static parking under it, the reset leaves no park airport
// behind, and the smaller rules around them (the nearest stand on a tie, a failed touchdown write).

#include "core/run_control.h"
#include "core/settings.h"
#include "engine/base/ac_removal.h"
#include "engine/base/engine_tables.h"
#include "engine/engine_reset.h"
#include "engine/live/live_update.h"
#include "engine/live/parking.h"
#include "engine/live/respawn.h"
#include "engine/sim_results.h"
#include "engine/stands/stand_clearing.h"
#include "liveries/livery_choice.h"
#include "liveries/livery_data.h"
#include "refdata/airport_files.h"
#include "simlink/sim_link.h"

#include "tests/engine/stand_fixture.h"
#include "tests/support/temp_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

namespace enginetest {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
namespace fs = std::filesystem;

constexpr double metre = nmPerMetre / 60.0; // degrees of latitude

class StandReleaseTest : public ParkAirportTest {
protected:
    void SetUp() override {
        ParkAirportTest::SetUp();
        scannedLiveries = {{"SWR", "A320", "Stub Swiss", "", 1, false},
                           {"EZS", "A320", "Stub Easy", "", 1, false},
                           {"DLH", "A320", "Stub Lufthansa", "", 1, false}};
        gf_sortLiveries(scannedLiveries);
        gf_buildLiveryTables({});
        scannedLiveries.clear();
    }

    void TearDown() override {
        GUID_CHANGES.value = true;
        ParkAirportTest::TearDown();
    }

    // A live aircraft standing `northMetres` north of the first stand, spawned: created parked on the
    // stand when the rules let it.
    static LiveAc& spawnedAt(std::uint32_t hexid, const std::string& cs, double northMetres = 2,
                             const std::string& airl = "SWR") {
        LiveAc& ac = liveAc(hexid, cs);
        ac.airl = airl;
        ac.phase = AcPhase::birth;
        ac.samples.clear();
        ac.samples.push_back(groundSample(standLat + northMetres * metre, standLon, true));
        ac.samples.push_back(groundSample(standLat + northMetres * metre, standLon, true));
        spawnLiveAc(ac);
        return ac;
    }

    // The spawned aircraft's creation went to the simulator and its object `oid` exists.
    static void created(LiveAc& ac, std::uint32_t oid) {
        std::erase(engineLists.pendingSpawns, ac.hexid);
        gf_setObjectId(ac, oid);
    }

    static void post(SimResultKind kind, std::uint32_t oid, std::uint32_t value = 0) {
        {
            std::lock_guard lock(simResultMutex);
            simResults.push_back(SimResult{oid, value, 0, kind, 0, 0});
        }
        gf_drainSimResults();
    }

    static bool spawnPending(std::uint32_t hexid) {
        return std::find(engineLists.pendingSpawns.begin(), engineLists.pendingSpawns.end(), hexid) !=
               engineLists.pendingSpawns.end();
    }
};

// ---- Every erase gives the stand back --------------------------------------------------------------

TEST_F(StandReleaseTest, EveryPathThatErasesALiveRecordGivesItsStandBack) {
    struct Path {
        const char* name;
        const char* callsign;
        std::function<void(LiveAc&)> erase;
    };
    const Path paths[] = {
        {"queued creation withdrawn", "SWR1",
         [](LiveAc& ac) {
             removeAircraftFromSim(ac);
             gf_compactLiveAcs();
         }},
        {"RealTraffic lost while the creation waits", "SWR1", [](LiveAc&) { gf_removeLiveTraffic(); }},
        {"a ghost while the creation waits", "SWR1_",
         [](LiveAc&) {
             gf_removeGhost("SWR1");
             gf_compactLiveAcs();
         }},
        {"the simulator refuses the creation", "SWR1",
         [](LiveAc& ac) {
             created(ac, 0);
             post(SimResultKind::createFailed, 0, ac.hexid);
         }},
        {"the simulator removes the object on its own", "SWR1",
         [](LiveAc& ac) {
             created(ac, 501);
             post(SimResultKind::objectRemoved, 501);
         }},
        {"respawned, then dropped from the buffer", "SWR1",
         [](LiveAc& ac) {
             created(ac, 501);
             ac.simState = SimState::buffer; // back from a livery respawn
             ac.samples.erase(ac.samples.begin() + 1, ac.samples.end());
             ac.samples.front().duePass = enginePassCount.load();
             ASSERT_TRUE(updateLiveAc(ac)); // a single sample is never spawned
             gf_compactLiveAcs();
         }},
        {"active and removed", "SWR1",
         [](LiveAc& ac) {
             created(ac, 501);
             ac.simState = SimState::active;
             removeAircraftFromSim(ac);
             post(SimResultKind::objectRemoved, 501);
         }},
    };
    for (const Path& path : paths) {
        SCOPED_TRACE(path.name);
        lf_resetStands();
        engineLists.liveAcs.clear();
        engineLists.pendingSpawns.clear();
        engineLists.liveCreateQueue.clear();
        engineLists.coupledSearchQueue.clear();
        gf_reindexAircraft();
        ParkPos& at = stand("A1", standLat, standLon);
        LiveAc& ac = spawnedAt(20001, path.callsign);
        ASSERT_EQ(ac.sid, at.sid);
        ASSERT_EQ(gf_standHolder(at.sid), 20001u);
        path.erase(ac);

        EXPECT_EQ(gf_findLiveByHexid(20001), nullptr) << "the record went";
        EXPECT_FALSE(at.occupied);
        EXPECT_EQ(gf_standHolder(at.sid), 0u);
        EXPECT_FALSE(spawnPending(20001));
        EXPECT_THAT(engineLists.coupledSearchQueue, Not(::testing::Contains(20001u)));
        LiveAc& newcomer = spawnedAt(20002, "EZS2", 3, "EZS");
        EXPECT_EQ(newcomer.sid, at.sid) << "a newcomer takes the stand";
        EXPECT_EQ(newcomer.phase, AcPhase::parked);
    }
}

// ---- A parked aircraft's livery respawn ------------------------------------------------------------

TEST_F(StandReleaseTest, AParkedAircraftWithANewRegistrationIsCreatedAgainAtItsStandOnce) {
    GUID_CHANGES.value = true;
    ParkPos& at = stand("A1", standLat, standLon);
    LiveAc& ac = spawnedAt(20001, "SWR12");
    ASSERT_EQ(ac.sid, at.sid);
    created(ac, 501);
    ac.simState = SimState::active;
    ac.onGround = true;

    TrafficRecord r;
    r.hexid = ac.hexid;
    r.cs = "SWR12";
    r.reg = "HB-AAA"; // the database's EZS A320: another livery
    EXPECT_FALSE(gf_respawnCheck(ac, r));
    ASSERT_EQ(ac.simState, SimState::liveryrespawn);
    post(SimResultKind::objectRemoved, 501);
    LiveAc* back = gf_findLiveByHexid(20001);
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(back->simState, SimState::buffer);

    for (int i = 0; i < 3; ++i) {
        updateLiveAc(*back);
        gf_compactLiveAcs();
        back = gf_findLiveByHexid(20001);
        ASSERT_NE(back, nullptr) << "kept, not lost";
    }
    EXPECT_EQ(back->simState, SimState::adding2sim);
    EXPECT_EQ(back->phase, AcPhase::parked);
    EXPECT_EQ(back->sid, at.sid);
    EXPECT_EQ(back->airl, "EZS");
    EXPECT_EQ(std::count(engineLists.pendingSpawns.begin(), engineLists.pendingSpawns.end(), 20001u), 1)
        << "created again once";
    EXPECT_EQ(gf_standHolder(at.sid), 20001u);
}

// ---- The conflict rules with holders that occupy their stands -------------------------------------

TEST_F(StandReleaseTest, TheConflictRulesSeeHoldersThatOccupyTheirStands) {
    struct Case {
        const char* holder;
        const char* newcomer;
        bool newcomerTakesIt;
        const char* line; // logged when the holder goes
    };
    for (const Case& c : {
             Case{"DLH400_", "DLH400", true, "A1      : DLH400_  ghost, replace by DLH400"},
             Case{"ABC1_", "XYZ9", true, "A1      : ABC1_    ghost, replace by XYZ9"},
             Case{"DLH400", "DLH400", true, "ac with same callsign DLH400 wants it"},
             Case{"DLH400", "DLH400_", false, ""}, // a ghost does not take a real flight's stand
             Case{"DLH400", "DLH400A", false, ""}, // the shorter callsign keeps it
             Case{"ABC1", "XYZ9", false, ""},      // another flight is kept off
         }) {
        SCOPED_TRACE(std::string(c.holder) + " / " + c.newcomer);
        lf_resetStands();
        engineLists.liveAcs.clear();
        engineLists.pendingSpawns.clear();
        gf_reindexAircraft();
        ParkPos& at = stand("A1", standLat, standLon);
        LiveAc& holder = parkedLive(20001, c.holder, at.sid, 5);
        holder.airl = "DLH";
        gf_occupyStand(at.sid, holder.hexid);
        holder.standWatch.seenAtStand = true; // the feed reports it there, as in a run

        LiveAc& newcomer = spawnedAt(20002, c.newcomer, 3, "DLH");
        LiveAc* held = gf_findLiveByHexid(20001);
        ASSERT_NE(held, nullptr);
        EXPECT_EQ(newcomer.sid == at.sid, c.newcomerTakesIt);
        EXPECT_EQ(held->simState == SimState::removingfromsim, c.newcomerTakesIt);
        if (c.newcomerTakesIt) {
            EXPECT_THAT(logText(), HasSubstr(c.line));
            EXPECT_EQ(gf_standHolder(at.sid), 20002u);
        } else {
            EXPECT_EQ(gf_standHolder(at.sid), 20001u);
        }
    }
}

// An arrival that halts at a stand held by its own ghost takes it; another flight's occupied stand it
// leaves alone.
TEST_F(StandReleaseTest, AnArrivalTakesTheStandOfItsGhostButNotOfAnotherFlight) {
    for (const char* holderCs : {"DLH400_", "EZS1"}) {
        SCOPED_TRACE(holderCs);
        lf_resetStands();
        engineLists.liveAcs.clear();
        gf_reindexAircraft();
        ParkPos& at = stand("A1", standLat, standLon);
        LiveAc& holder = parkedLive(20001, holderCs, at.sid, 5);
        gf_occupyStand(at.sid, holder.hexid);
        holder.standWatch.seenAtStand = true;
        LiveAc& arrival = liveAc(20002, "DLH400");
        arrival.simState = SimState::active;
        arrival.phase = AcPhase::taxi;
        arrival.onGround = true;
        gf_setObjectId(arrival, 600);
        arrival.samples.clear();
        arrival.samples.push_back(groundSample(standLat + 40 * metre, standLon, false, 8));
        arrival.samples.push_back(groundSample(standLat + 5 * metre, standLon, true));
        try2Park(arrival, true);
        const bool ghost = std::string(holderCs) == "DLH400_";
        EXPECT_EQ(arrival.sid == at.sid, ghost);
        EXPECT_EQ(gf_findLiveByHexid(20001)->simState == SimState::removingfromsim, ghost);
    }
}

// ---- The parked set-up and the registration check ------------------------------------------------

TEST_F(StandReleaseTest, TheParkedSetUpRemovesTheStaticAtItsStandAndItsPlannedPicks) {
    ParkPos& at = stand("A1", standLat, standLon);
    ParkPos& other = stand("A2", standLat + 300 * metre, standLon);
    LiveAc& ac = spawnedAt(20001, "SWR12");
    ASSERT_EQ(ac.sid, at.sid);
    // While its creation was on its way, the static parking placed and planned for the stand.
    StaticAc& st = staticAt(5, "EZS77*", at.sid, WeekSlot{3, 18});
    StaticAc& next = staticAt(6, "EZS78*", other.sid, WeekSlot{3, 18});
    staticPicks.staticAddList.push_back(StaticPick{at.sid, 0, "EZS", "A320", "EZS79", "", "HB-XXA", true});
    staticPicks.staticAddList.push_back(StaticPick{other.sid, 0, "EZS", "A320", "EZS80", "", "HB-XXB", true});

    std::erase(engineLists.pendingSpawns, ac.hexid);
    ASSERT_TRUE(gf_objectBound(ac, SimResult{501, ac.hexid, 0, SimResultKind::liveObjectFound, 0, 0}));
    EXPECT_EQ(st.simState, SimState::removingfromsim);
    EXPECT_EQ(next.simState, SimState::active);
    ASSERT_EQ(staticPicks.staticAddList.size(), 1u);
    EXPECT_EQ(staticPicks.staticAddList.front().sid, other.sid);
    EXPECT_THAT(logText(), HasSubstr("A1      : SWR12    parks\n"));
    EXPECT_THAT(logText(),
                HasSubstr("A1      : SWR12    parks over static EZS77* \x97 static will be removed\n"));
}

TEST_F(StandReleaseTest, ARegistrationChangeOfTheFlightAtAStandIsLearnedThereAgain) {
    GUID_CHANGES.value = false;
    dbase.registrations["HB-JXB"] = RegRecord{"SWR", "A320", "", false};
    ParkPos& at = stand("A1", standLat, standLon);
    LiveAc& ac = parkedLive(20001, "SWR12", at.sid, 5, "B77W");
    ac.reg = "HB-JXA";
    gf_occupyStand(at.sid, ac.hexid);
    TrafficRecord r;
    r.hexid = ac.hexid;
    r.cs = "SWR12";
    r.reg = "HB-JXB";
    EXPECT_TRUE(gf_respawnCheck(ac, r));
    const auto learned =
        std::find_if(at.opts.begin(), at.opts.end(), [](const ParkOpt& opt) { return opt.reg == "HB-JXB"; });
    ASSERT_NE(learned, at.opts.end()) << "learned at the stand under the new registration";
    EXPECT_EQ(learned->type, "A320");
}

// ---- Reset and reservation ---------------------------------------------------------------------------

TEST_F(StandReleaseTest, TheResetLeavesNoParkAirportAndTheReservationHoldsTheStands) {
    // The learned file is saved below the current folder.
    const testing_support::TempFolder temp("skyloom-stand-release");
    const testing_support::InFolder inTemp(temp.path());
    gf_resetEngineForTests();
    parkPositions = {};
    staticPicks.staticAddList = {};
    gf_reserveTrafficContainers();
    EXPECT_GE(parkPositions.capacity(), 512u);
    EXPECT_GE(staticPicks.staticAddList.capacity(), 512u);

    // A closing down failed before its leave step: the airport is still set, with a flight learned.
    ParkPos& at = stand("A1", standLat, standLon);
    option(at, "EZS", "A320", "HB-XXA", 3, {20}, "EZS79");
    parkAirportLoaded = true;
    staticPicks.staticAddList.push_back(StaticPick{1, 0, "EZS", "A320", "EZS79", "", "HB-XXA", true});
    const fs::path learned = gf_learnedPathOf("LSZH", parkAirportInfo.publisher);
    gf_clearLiveState();
    EXPECT_TRUE(fs::exists(learned)) << "what was learned is saved, not lost";
    EXPECT_TRUE(parkAirportCode.empty());
    EXPECT_TRUE(currentParkAirport.code.empty());
    EXPECT_EQ(currentParkAirport.alt, 0);
    EXPECT_FALSE(parkAirportLoaded.load());
    EXPECT_TRUE(parkPositions.empty());
    EXPECT_TRUE(staticPicks.staticAddList.empty());
    EXPECT_GE(parkPositions.capacity(), 512u) << "emptied, capacity kept";
}

// ---- Smaller rules -------------------------------------------------------------------------------------

TEST_F(StandReleaseTest, OfTwoEquallyNearStandsTheNearestStandNameIsTheFirst) {
    stand("B1", standLat, standLon);
    stand("B2", standLat, standLon);
    gf_publishStandSnapshot();
    userOnGround = true;
    EXPECT_EQ(gf_nearestStandName(Lalo{standLat + 3 * metre, standLon}), "B1");
}

TEST_F(StandReleaseTest, AFailedTouchdownWriteIsOnlyLogged) {
    connect();
    LiveAc& ac = liveAc(0x4B0001, "SWR1");
    ac.simState = SimState::active;
    ac.phase = AcPhase::flying;
    ac.move.landing = true;
    gf_setObjectId(ac, 41);
    {
        std::lock_guard lock(simCommandMutex);
        ASSERT_EQ(SimConnect_InjectFailure(hSimConnect, "SetDataOnSimObject", 1), SIMCONNECT_OK);
    }
    post(SimResultKind::groundData, 41, 1);
    EXPECT_TRUE(ac.move.landingRoll) << "touched down";
    EXPECT_THAT(logText(), HasSubstr("==> SimConnect set ac controls fails"));
    EXPECT_FALSE(runControl.stopping()) << "the run goes on";
    EXPECT_FALSE(simLinkSuspended.load());
}

} // namespace
} // namespace enginetest
