// The program's wiring: what the window and the run ask of the lower modules reaches them.

#include "run_fixture.h"

#include "app/controls.h"
#include "app/install_path.h"
#include "app/wiring.h"
#include "core/restore_parameters.h"
#include "core/strings.h"
#include "feed/feed_state.h"
#include "feed/udp_readers.h"
#include "liveries/livery_catalogue.h"
#include "refdata/park_airport.h"
#include "refdata/type_lookups.h"
#include "scan/scan_state.h"
#include "simlink/sim_link.h"

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
    }
};

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
    EXPECT_EQ(mainWindow.standCount.load(), 7u);
    EXPECT_EQ(mainWindow.text(&MainWindow::airportFileText), "FlyTampa");
    EXPECT_TRUE(mainWindow.handmadeAirportFile.load());
    EXPECT_EQ(mainWindow.text(&MainWindow::qualityText), "63");
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
    mainWindow.feedStarting = false;
    feedStatus.waitingForRealTraffic = true;
    gf_feedHooks().repaintCounts();
    EXPECT_FALSE(mainWindow.feedStarting.load()) << "the feed's repaint brought the waiting mark back";
    EXPECT_TRUE(gf_handleCommand({SCAN_LIVERIES.controlId, UiCommand::Kind::checkBox, true}));
    EXPECT_EQ(runControl.stopReason(), StopReason::NewSettings);
    EXPECT_EQ(runControl.restartDelay.load(), 2);

    runControl.reset();
    feedStatus.waitingForRealTraffic = false; // RealTraffic has connected
    EXPECT_TRUE(gf_handleCommand({SCAN_AIRPORTS.controlId, UiCommand::Kind::checkBox, true}));
    EXPECT_FALSE(runControl.stopping());
}

TEST_F(WiringTest, StatusAreaFollowsTheUserModel) {
    for (const bool known : {false, true}) {
        simLinkStatus.wingSpanKnown = known;
        gf_simLinkHooks().repaintStatus();
        EXPECT_EQ(mainWindow.userModelKnown.load(), known);
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
    mainWindow.setText(&MainWindow::callsignChoiceText, "= 1234");

    EXPECT_TRUE(gf_handleCommand({BLOCK_BUTTON.controlId, UiCommand::Kind::button}));

    EXPECT_EQ(BLOCK_CALLSIGN.value(), "SWR12");
    EXPECT_EQ(callsign2ObjectIdChoices->entries(), std::vector<std::string>{""});
    EXPECT_EQ(CALLSIGN_2_OBJECTID.value(), "");
    EXPECT_EQ(mainWindow.text(&MainWindow::callsignChoiceText), "");
    EXPECT_EQ(ui.entries(CALLSIGN_2_OBJECTID.controlId), std::vector<std::string>{""});
    EXPECT_EQ(ui.enabled(CALLSIGN_2_OBJECTID.controlId), false);
    EXPECT_EQ(ui.enabled(BLOCK_BUTTON.controlId), false);
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

} // namespace
