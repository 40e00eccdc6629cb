// The program's wiring: what the window and the run ask of the lower modules reaches them.

#include "run_fixture.h"

#include "app/closing.h"
#include "app/controls.h"
#include "app/install_path.h"
#include "app/wiring.h"
#include "core/hooks.h"
#include "core/restore_parameters.h"
#include "core/strings.h"
#include "engine/base/engine_clock.h"
#include "engine/base/engine_status.h"
#include "engine/base/engine_tables.h"
#include "engine/base/stands.h"
#include "engine/engine_cycle.h"
#include "engine/engine_pass.h"
#include "engine/engine_requests.h"
#include "engine/engine_reset.h"
#include "engine/live/no_match.h"
#include "engine/stands/conflicts.h"
#include "engine/stands/stand_search.h"
#include "engine/static/static_driver.h"
#include "engine/static/static_parking_state.h"
#include "feed/feed_state.h"
#include "feed/udp_readers.h"
#include "liveries/livery_catalogue.h"
#include "refdata/park_airport.h"
#include "refdata/parking_format.h"
#include "refdata/type_lookups.h"
#include "scan/scan_state.h"
#include "simlink/sim_link.h"

#include <fmt/format.h>

#include <chrono>
#include <functional>
#include <set>
#include <string_view>
#include <vector>

namespace {

class WiringTest : public RunTest {
protected:
    void SetUp() override {
        RunTest::SetUp();
        resetModules();
        gf_attachControls();
        gf_wireProgram();
    }
    void TearDown() override {
        gf_unwireProgram();
        resetModules();
        RunTest::TearDown();
    }
    static void resetModules() {
        gf_resetFeedForTests();
        gf_resetSimLinkForTests();
        gf_resetLiveriesForTests();
        gf_resetTypeLookups();
        gf_resetParkAirportForTests();
        gf_resetEngineForTests();
    }

    // An active live aircraft near the user, with its object.
    static LiveAc& activeAc(std::uint32_t hexid, const std::string& cs, std::uint32_t oid, double lat) {
        FlightIdent ident;
        ident.cs = cs;
        ident.type = "A320";
        AcData data(ident);
        data.hexid = hexid;
        LiveAc& ac = gf_appendLiveAc(LiveAc(PosSample{}, std::move(data), 0));
        ac.simState = SimState::active;
        ac.phase = AcPhase::flying;
        ac.pos.latitude = lat;
        gf_setObjectId(ac, oid);
        return ac;
    }
};

// The real wiring sets every slot the production run needs; the start-up check then logs nothing.
TEST_F(WiringTest, TheProgramsWiringLeavesNoNeededSlotUnset) {
    EXPECT_EQ(gf_unwiredSlots(), std::vector<std::string_view>{});
    EXPECT_TRUE(gf_checkWiring());
    EXPECT_FALSE(logHas("not fully wired")) << logText();

    const auto names = gf_neededSlots();
    EXPECT_EQ(std::set<std::string_view>(names.begin(), names.end()).size(), names.size())
        << "a slot is listed twice";
}

// One production slot left unset, of each hook style: the check names it in an error line. A slot
// reset to its module's do-nothing default counts as unset as well.
TEST_F(WiringTest, AnUnsetSlotIsAnErrorLineNamingIt) {
    const struct {
        std::string_view name;
        std::function<void()> unset;
    } cases[] = {
        {"RunSteps.startServer", [] { gf_runSteps().startServer = nullptr; }},
        {"FeedHooks.repaintCounts",
         [] {
             FeedHooks wired = gf_feedHooks();
             gf_resetFeedHooks();
             wired.repaintCounts = gf_feedHooks().repaintCounts; // the feed's own default
             gf_feedHooks() = wired;
         }},
        {"FeedHooks.userState", [] { gf_feedHooks().userState = nullptr; }},
        {"SimLinkHooks.secondTick", [] { gf_simLinkHooks().secondTick = nullptr; }},
        {"CommandHooks.findAirport", [] { gf_commandHooks().findAirport = nullptr; }},
        {"RangeHooks.userPosition", [] { gf_rangeHooks().userPosition = nullptr; }},
        {"RestoreHooks.setRange", [] { gf_restoreHooks().setRange = nullptr; }},
        {"CoreHooks.showError", [] { gf_coreHooks().showError = nullptr; }},
        {"LiveryCatalogueHooks.isInstalledType", [] { gf_liveryCatalogueHooks().isInstalledType = nullptr; }},
        {"ParkingHooks.setParkAirportElevation", [] { gf_parkingHooks().setParkAirportElevation = nullptr; }},
    };
    for (const auto& c : cases) {
        gf_unwireProgram();
        resetModules();
        gf_wireProgram();
        c.unset();
        const std::string line = fmt::format("==> The program is not fully wired: {} is not set", c.name);
        EXPECT_EQ(gf_unwiredSlots(), std::vector<std::string_view>{c.name});
        EXPECT_FALSE(gf_checkWiring());
        EXPECT_EQ(logCount(line), 1u) << c.name;
        // A test that leaves it out on purpose says so, and the check is content.
        EXPECT_TRUE(gf_checkWiring({c.name}));
        EXPECT_EQ(logCount(line), 1u) << c.name;
    }
}

// The traffic filter reads the feed's radius: the window's range, manual or automatic, must reach it.
TEST_F(WiringTest, RangeReachesTheTrafficFilter) {
    gf_setRange(80);
    EXPECT_EQ(trafficRadiusNm.load(), 80.0);

    gf_setRange(60);
    userOnGroundKnown = false;
    gf_autoRange();
    EXPECT_EQ(trafficRadiusNm.load(), 60.0) << "no on-ground reply yet: the range stays";

    struct Case {
        bool onGround;
        double nm;
    };
    // Airborne at height 0 with no park airport: the distance rule's 40 nm.
    for (const Case c : {Case{true, 10.0}, Case{false, 40.0}}) {
        userOnGroundKnown = true;
        userOnGround = c.onGround;
        gf_autoRange();
        EXPECT_EQ(trafficRadiusNm.load(), c.nm) << "on ground " << c.onGround;
        EXPECT_EQ(RANGE.value.load(), static_cast<std::int32_t>(c.nm));
    }
}

// When a learned parking file's airport is dropped, the user's own range and max fit come back into
// the traffic filter and the max-fit list.
TEST_F(WiringTest, RestoredParkingSettingsReachTheFilterAndTheControls) {
    gf_setRange(80);
    savedParkingSettings = SavedParkingSettings{};
    savedParkingSettings.range = 25;
    savedParkingSettings.maxFit = 9;
    gf_restoreOverriddenParameters();
    EXPECT_EQ(trafficRadiusNm.load(), 25.0);
    EXPECT_EQ(MAX_FIT_FL.value.load(), 5.0f);
    EXPECT_EQ(ui.selection(MAX_FIT_FL.controlId), 9) << "5 hours in the list";
}

// What the airport-file reader reports reaches the status area and the traffic filter, and the
// window reads the park airport's state.
TEST_F(WiringTest, ParkAirportReachesTheStatusAreaAndTheFilter) {
    auto& parking = gf_parkingHooks();
    parking.showStandCount(7);
    parking.showAirportFile("FlyTampa", true);
    parking.showQualityText("63");
    parking.setParkAirportElevation(-11.0);
    const StatusView shown = gf_statusView();
    EXPECT_EQ(shown.engine.standCount, 7u);
    EXPECT_EQ(shown.engine.airportFileText, "FlyTampa");
    EXPECT_TRUE(shown.engine.handmadeAirportFile);
    EXPECT_EQ(shown.engine.qualityText, "63");
    EXPECT_EQ(trafficReader.parkAirportElevation(), std::optional<double>(-11.0));

    parkAirportLoaded = true;
    rtTrafficWeek = 12;
    EXPECT_TRUE(gf_windowHooks().parkAirportLoaded());
    EXPECT_EQ(gf_windowHooks().rtTrafficWeek(), 12);

    parkingControlsReady = true;
    EXPECT_TRUE(gf_restoreHooks().parkingControlsReady());
    AUTO_RANGE.value = false;
    gf_setRange(25);
    gf_restoreHooks().applyAutoRange();
    EXPECT_EQ(trafficRadiusNm.load(), 25.0) << "the manual range holds while AUTO_RANGE is off";
    EXPECT_TRUE(gf_parkingHooks().fetchArchivedFile) << "the downloads wire the fetch";
}

// Once the main run has started the feed, the window's waiting mark is off; the run still waits for
// RealTraffic until it has connected, and a scan tick until then restarts the run.
TEST_F(WiringTest, ScanTicksRestartUntilRealTrafficHasConnected) {
    feedStarting = false;
    feedStatus.waitingForRealTraffic = true;
    gf_feedHooks().repaintCounts();
    EXPECT_FALSE(gf_statusView().feedStarting) << "the feed's repaint brought the waiting mark back";
    EXPECT_TRUE(gf_handleCommand({SCAN_LIVERIES.controlId, UiCommand::Kind::checkBox, true}));
    EXPECT_EQ(runControl.stopReason(), StopReason::NewSettings);
    EXPECT_EQ(runControl.restartDelay.load(), 2);

    runControl.reset();
    feedStatus.waitingForRealTraffic = false; // RealTraffic has connected
    EXPECT_TRUE(gf_handleCommand({SCAN_AIRPORTS.controlId, UiCommand::Kind::checkBox, true}));
    EXPECT_FALSE(runControl.stopping());
}

TEST_F(WiringTest, LiveryScanIsWired) {
    EXPECT_TRUE(gf_runSteps().scanLiveries);
    const LiveryHooks& hooks = gf_liveryHooks();
    EXPECT_TRUE(hooks.openManual && hooks.openParametersFolder && hooks.repaintControls &&
                hooks.repaintCounts);
    ASSERT_TRUE(hooks.communityFolder);
    MSFS_INSTALL_PATH.setValue("");
    EXPECT_EQ(hooks.communityFolder(), std::filesystem::path()) << "no install path, no Community folder";
    MSFS_INSTALL_PATH.setValue((root / "msfs").string());
    EXPECT_EQ(hooks.communityFolder(), root / "msfs" / "Community");
}

TEST_F(WiringTest, StatusAreaFollowsTheUserModel) {
    for (const bool known : {false, true}) {
        simLinkStatus.wingSpanKnown = known;
        gf_simLinkHooks().repaintStatus();
        EXPECT_EQ(gf_statusView().sim.wingSpanKnown, known);
    }
}

TEST_F(WiringTest, RandomChoicesFollowTheSetting) {
    RANDOM.value = false;
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(gf_randomIndex(1000), 0);
    RANDOM.value = true;
    bool varied = false;
    for (int i = 0; i < 20 && !varied; ++i)
        varied = gf_randomIndex(1000) != 0;
    EXPECT_TRUE(varied);
}

TEST_F(WiringTest, BlockForgetsTheChosenCallsign) {
    callsign2ObjectIdChoices->replace({"", "SWR12", "DLH4"});
    CALLSIGN_2_OBJECTID.setValue("SWR12");
    engineStatus.setCallsignChoiceText("= 1234");

    EXPECT_TRUE(gf_handleCommand({BLOCK_BUTTON.controlId, UiCommand::Kind::button}));

    EXPECT_EQ(BLOCK_CALLSIGN.value(), "SWR12");
    EXPECT_EQ(callsign2ObjectIdChoices->entries(), std::vector<std::string>{""});
    EXPECT_EQ(CALLSIGN_2_OBJECTID.value(), "");
    EXPECT_EQ(gf_statusView().engine.callsignChoiceText, "");
    EXPECT_EQ(ui.entries(CALLSIGN_2_OBJECTID.controlId), std::vector<std::string>{""});
    EXPECT_EQ(ui.enabled(CALLSIGN_2_OBJECTID.controlId), false);
    EXPECT_EQ(ui.enabled(BLOCK_BUTTON.controlId), false);
}

// The engine's pass runs in every cycle pass while the simulator runs; while it is paused only the
// simulator's results are drained.
TEST_F(WiringTest, TheEnginePassesWithTheCycle) {
    auto& s = gf_runSteps();
    bool running = true;
    s.simRunning = [&] { return running; };
    const std::int64_t before = enginePassCount.load();
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(lf_cyclePass());
    EXPECT_EQ(enginePassCount.load(), before + 3);

    running = false;
    {
        std::lock_guard lock(simResultMutex);
        simResults.push_back(SimResult{40, 0, 0, SimResultKind::objectRemoved, 0, 0});
    }
    ASSERT_TRUE(lf_cyclePass());
    EXPECT_EQ(enginePassCount.load(), before + 3);
    std::lock_guard lock(simResultMutex);
    EXPECT_TRUE(simResults.empty()) << "drained while paused";
}

// The window's requests reach the engine's lists on the worker: the callsign list and its tracking, the
// blocked callsign, the lowered live limit, the no-match clear and the aircraft counts.
TEST_F(WiringTest, WindowRequestsReachTheEngine) {
    gf_reserveTrafficContainers();
    activeAc(0x4B0001, "SWR12", 77, 47.46);
    activeAc(0x4B0002, "DLH4", 78, 47.9);
    activeAc(0x4B0003, "EZY9", 79, 47.5);
    auto& s = gf_runSteps();

    engineRequests.callsignListRequested = true;
    s.handleAddingStack();
    EXPECT_EQ(callsign2ObjectIdChoices->entries(), (std::vector<std::string>{"DLH4", "EZY9", "SWR12"}));
    EXPECT_TRUE(ui.enabled(CALLSIGN_2_OBJECTID.controlId));
    EXPECT_TRUE(ui.enabled(BLOCK_BUTTON.controlId));
    EXPECT_TRUE(engineRequests.callsignChoiceChanged.load())
        << "the list asks for the tracking of its first entry";
    s.handleAddingStack();
    EXPECT_EQ(engineLists.selectedObjectId.load(), 78u);
    EXPECT_EQ(gf_statusView().engine.callsignChoiceText, "= " + gf_oid2string(78));

    BLOCK_CALLSIGN.setValue("EZY9");
    engineRequests.blockListChanged = true;
    s.handleAddingStack();
    EXPECT_EQ(gf_findLiveByOid(79)->simState, SimState::removingfromsim);

    gf_commandHooks().trimLiveAircraft(1);
    EXPECT_EQ(gf_findLiveByOid(78)->simState, SimState::active) << "served by the next pass, not at once";
    s.handleAddingStack();
    EXPECT_EQ(gf_findLiveByOid(78)->simState, SimState::removingfromsim) << "the farthest";
    EXPECT_EQ(gf_findLiveByOid(77)->simState, SimState::active);
    EXPECT_EQ(engineLists.selectedObjectId.load(), 0u) << "the tracked aircraft has gone";
    EXPECT_EQ(gf_statusView().engine.callsignChoiceText, "");

    const WindowHooks::AircraftCounts counts = gf_windowHooks().countAircraft();
    EXPECT_EQ(counts.live, 1u);

    gf_addNoMatch("SWR A320 HB-JLT");
    engineRequests.matchingDepthRaised = true;
    s.every15SecondsDuties(15);
    EXPECT_TRUE(gf_isNoMatch("SWR A320 HB-JLT")) << "only at a 30-second step";
    s.every15SecondsDuties(30);
    EXPECT_FALSE(gf_isNoMatch("SWR A320 HB-JLT"));

    gf_addNoMatch("SWR A320 HB-JLT");
    s.logNoMatchList();
    EXPECT_FALSE(gf_isNoMatch("SWR A320 HB-JLT")) << "logged, then cleared";
}

// The engine's conflict duties: the duplicate check after the coupled search, "Flush static" (with
// INITIAL_LOAD_ONLY on for this run only), the reserved stand every 5 seconds and the static twin.
TEST_F(WiringTest, ConflictDutiesRunOnTheirSeconds) {
    gf_reserveTrafficContainers();
    auto& s = gf_runSteps();
    const auto staticAc = [](std::uint32_t hexid, const std::string& cs, std::uint32_t sid) -> StaticAc& {
        FlightIdent ident;
        ident.cs = cs;
        ident.type = "A320";
        AcData data(ident);
        data.hexid = hexid;
        StaticAc& st = gf_appendStaticAc(StaticAc(std::move(data), sid, StandPlace{}, false));
        st.simState = SimState::active;
        gf_setObjectId(st, hexid + 100);
        return st;
    };
    parkPositions.emplace_back("E12", std::vector<ParkOpt>{}, 47.45, 8.55, 0.0, 20.0, false, false, false);
    parkPositions.back().sid = 1;

    LiveAc& live = activeAc(0x4B0001, "DLH400", 77, 47.46);
    live.onGround = true;
    staticAc(1, "DLH401*", 0).feedCs = "DLH400";
    engineLists.coupledSearchQueue.push_back(live.hexid);
    s.everySecondDuties(runSeconds);
    EXPECT_TRUE(engineLists.coupledSearchQueue.empty());
    EXPECT_TRUE(live.identFlag);
    EXPECT_EQ(gf_findStaticByHexid(1)->simState, SimState::removingfromsim);

    staticAc(2, "DLH400*", 0);
    gf_engineDuties().removeStaticTwinOfLive();
    EXPECT_EQ(gf_findStaticByHexid(2)->simState, SimState::removingfromsim);

    staticAc(3, "EZS1*", 1);
    s.every5SecondsDuties(runSeconds);
    EXPECT_EQ(gf_findStaticByHexid(3)->simState, SimState::active) << "no stand reserved";
    parkAirport.reservedStandName = "E12";
    s.every5SecondsDuties(runSeconds);
    EXPECT_EQ(gf_findStaticByHexid(3)->simState, SimState::removingfromsim);

    // Second 305 is a 5-second one: the twin check of the 61-second period is skipped then.
    staticAc(5, "DLH400*", 0);
    runSeconds = 300;
    s.every5SecondsDuties(runSeconds);
    EXPECT_EQ(gf_findStaticByHexid(5)->simState, SimState::active);
    runSeconds = 305;
    s.every5SecondsDuties(runSeconds);
    EXPECT_EQ(gf_findStaticByHexid(5)->simState, SimState::active);
    runSeconds = 0;

    // The parked live aircraft's mean time reaches the parking block with the counts.
    gf_holdEngineClockForTests();
    live.phase = AcPhase::parked;
    live.parkStartTicks = (gf_engineNow() - std::chrono::minutes(90)).time_since_epoch().count();
    currentWeekSlot = WeekSlot{3, 20}.packed();
    live.parkedSince = WeekSlot{3, 18}.packed(); // two half hours: 2 / 2 + 0.5 hours
    EXPECT_EQ(gf_windowHooks().countAircraft().parkedLive, 1u);
    EXPECT_FLOAT_EQ(gf_statusView().engine.liveMeanHours, 1.5f);

    staticAc(4, "EZS2*", 0);
    INITIAL_LOAD_ONLY.value = false;
    engineRequests.flushStaticRequested = true;
    s.handleAddingStack();
    EXPECT_EQ(gf_findStaticByHexid(4)->simState, SimState::removingfromsim);
    EXPECT_FALSE(engineRequests.flushStaticRequested.load());
    EXPECT_TRUE(INITIAL_LOAD_ONLY.value.load());
    EXPECT_EQ(ui.checked(INITIAL_LOAD_ONLY.controlId), std::optional<bool>(true));
    EXPECT_FALSE(saved("INITIAL_LOAD_ONLY", "true")) << "for this run only";
}

// "# updates": the stand updates since the last save, and while a parking calculation is busy the
// picks of its stand plan still to place, refreshed and repainted every second.
TEST_F(WiringTest, UpdateCountFollowsTheStandPlanWhileACalculationIsBusy) {
    auto& s = gf_runSteps();
    const auto parkingRepaints = [this] {
        std::size_t n = 0;
        for (const RecordingUi::Call& call : ui.calls())
            if (call.kind == RecordingUi::Kind::invalidate && call.rect == uiParkingBlock) ++n;
        return n;
    };
    engineStatus.standUpdateCount = 7;
    gf_engineHooks().repaintStatus();
    EXPECT_EQ(gf_statusView().updateCount(), 7);
    ui.clear();
    s.everySecondDuties(runSeconds);
    EXPECT_EQ(parkingRepaints(), 0u) << "nothing to follow while no calculation is busy";

    // The calculation has planned three stands; the placement takes them from the back.
    staticPicks.staticAddList.assign(3, StaticPick{});
    staticParkingState.busy = true;
    for (const std::int32_t expected : {3, 2, 1}) {
        ui.clear();
        s.everySecondDuties(runSeconds);
        EXPECT_EQ(gf_statusView().updateCount(), expected);
        EXPECT_EQ(parkingRepaints(), 1u);
        // A stand learned meanwhile repaints the block; the plan's count stays.
        gf_engineHooks().repaintStatus();
        EXPECT_EQ(gf_statusView().updateCount(), expected);
        staticPicks.staticAddList.pop_back();
    }
    s.everySecondDuties(runSeconds);
    EXPECT_EQ(gf_statusView().updateCount(), 0);

    // Busy no more: the stand updates again.
    gf_enableParkingControlsFromEngine();
    EXPECT_EQ(gf_statusView().updateCount(), 7);
    s.everySecondDuties(runSeconds);
    EXPECT_EQ(gf_statusView().updateCount(), 7);
}

} // namespace

namespace {

// The scenery scan's slots reach the scan, and the scan's results reach the window and the commands.
TEST_F(WiringTest, SceneryScanSlots) {
    EXPECT_TRUE(gf_runSteps().scanAddonAirports);
    ASSERT_TRUE(gf_scanHooks().inInstallPath);
    EXPECT_EQ(gf_scanHooks().inInstallPath("Community"), gf_inInstallPath("Community"));
    ASSERT_TRUE(gf_windowHooks().tbloCollected);
    EXPECT_FALSE(gf_windowHooks().tbloCollected());
    tbloFileCount = 2;
    EXPECT_TRUE(gf_windowHooks().tbloCollected());
    airportFilesChanged = true;
    gf_commandHooks().clearAirportFilesChanged();
    EXPECT_FALSE(airportFilesChanged);
    gf_resetScanState();
}

// The run reset between two runs, with the modules' own resets as the program wires them.
TEST_F(WiringTest, ResetBringsTheRunBackToItsStart) {
    gf_requestStop(StopReason::NewSettings, 3);
    secondTick = true;
    flightPaused = true;
    runSeconds = 77;
    staticParkingState.renewalCollecting = true;
    mainWindow.setText(&MainWindow::errorLine, "old error");
    engineStatus.setParkedFileText("parked: learned");
    feedStatus.qnh = 1020;
    feedStatus.trafficStatus = readerFlowing;
    engineRequests.flushStaticRequested = true;
    engineRequests.staticParkingNowRequested = true;
    engineRequests.blockListChanged = true;
    engineRequests.callsignChoiceChanged = true;
    lf_resetRunState();
    EXPECT_FALSE(runControl.stopping());
    EXPECT_EQ(runControl.restartDelay, 0);
    EXPECT_FALSE(secondTick);
    EXPECT_FALSE(flightPaused);
    EXPECT_EQ(runSeconds, 0);
    EXPECT_FALSE(staticParkingState.renewalCollecting);
    EXPECT_EQ(mainWindow.text(&MainWindow::errorLine), "");
    const StatusView shown = gf_statusView();
    EXPECT_EQ(shown.engine.parkedFileText, "");
    EXPECT_EQ(shown.feed.qnh, 0);
    EXPECT_EQ(shown.feed.trafficStatus, readerStopped);
    for (const auto* request :
         {&engineRequests.flushStaticRequested, &engineRequests.staticParkingNowRequested,
          &engineRequests.blockListChanged, &engineRequests.callsignChoiceChanged})
        EXPECT_FALSE(request->load()) << "a window request of the old run";
}

} // namespace
