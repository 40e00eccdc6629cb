// The worker run: folder check, start-up order, stops during the start-up, the install path and the
// exception handlers.

#include "../../scan/bgl_writer.h"
#include "app/controls.h"
#include "app/install_path.h"
#include "app/wiring.h"
#include "app/worker.h"
#include "liveries/livery_catalogue.h"
#include "liveries/livery_scan.h"
#include "refdata/airports.h"
#include "refdata/data_files.h"
#include "refdata/dbase.h"
#include "refdata/refdata.h"
#include "run_fixture.h"
#include "scan/scan_state.h"
#include "tests/liveries/community_tree.h"
#include "tools/datapack/datapack.h"

#include <fmt/format.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

class WorkerTest : public RunTest {
protected:
    void SetUp() override {
        RunTest::SetUp();
        // A valid package folder, so that the start-up gets past the install path.
        packages = root / "msfs";
        fs::create_directories(packages / "Community");
        fs::create_directories(packages / "Official");
        MSFS_INSTALL_PATH.setValue(packages.string());
        MSFS_INSTALL_PATH.save();

        auto& s = gf_runSteps();
        auto record = [this](const char* name) { return [this, name] { steps.push_back(name); }; };
        s.startParameters = record("parameters");
        s.checkForUpdates = [this] {
            steps.push_back("updates");
            return updateResult;
        };
        s.readDbase = [this] {
            steps.push_back("dbase");
            return true;
        };
        s.readAirports = [this] {
            steps.push_back("airports");
            return true;
        };
        s.scanLiveries = record("scan liveries");
        s.processScannedLiveries = record("process liveries");
        s.scanAddonAirports = record("scan airports");
        s.createFlightPlanFolder = record("flight plans");
        s.readMyParkAirports = record("park airports");
        s.reserveContainers = record("main run");
        s.simRunning = [] { return false; };
    }

    // One worker run that is closed by the user once it has waited `closeAfter`.
    void runUntilClosed(std::chrono::milliseconds closeAfter = 1s) {
        at(slept + closeAfter, [] { gf_requestStop(StopReason::UserClosedSim, 0); });
        trafficThread();
    }

    fs::path packages;
    bool updateResult = true;
    std::vector<std::string> steps;
};

TEST_F(WorkerTest, WrongWorkingFolderShowsErrorFortyOneAndWaitsForClose) {
    fs::remove_all(root / "work" / "docs");
    runUntilClosed(2s);
    ASSERT_FALSE(shownErrors.empty());
    EXPECT_EQ(shownErrors.front(), "41: Skyloom must be run from the Skyloom folder!");
    EXPECT_TRUE(logHas("Exiting: SYSTEM ERROR"));
    EXPECT_TRUE(steps.empty());
    EXPECT_EQ(ui.posted(), std::vector<UiMessage>{UiMessage::storeAndQuit});
}

TEST_F(WorkerTest, StartUpRunsInOrderAndARestartSkipsTheOncePerProcessSteps) {
    SCAN_LIVERIES.value = true;
    SCAN_AIRPORTS.value = true;
    runUntilClosed();
    EXPECT_EQ(steps, (std::vector<std::string>{"parameters", "updates", "dbase", "airports", "scan liveries",
                                               "process liveries", "scan airports", "flight plans",
                                               "park airports", "main run"}));
    EXPECT_TRUE(fs::is_directory(root / "work" / "airports" / "learned" / "thirdparty"));
    EXPECT_TRUE(fs::is_directory(root / "work" / "input" / "my_regcodes"));

    // The next run after a restart: no update check, no second read of the type database.
    steps.clear();
    runControl.reset();
    freshStart = false;
    SCAN_LIVERIES.value = false;
    SCAN_AIRPORTS.value = false;
    runUntilClosed();
    EXPECT_EQ(steps, (std::vector<std::string>{"parameters", "airports", "process liveries", "flight plans",
                                               "park airports", "main run"}));
}

// A new program version asks for a stop during the start-up: nothing after the start-up runs.
TEST_F(WorkerTest, StopDuringStartUpSkipsTheScans) {
    SCAN_LIVERIES.value = true;
    gf_runSteps().checkForUpdates = [this] {
        steps.push_back("updates");
        gf_requestStop(StopReason::NewVersion, 0);
        return false;
    };
    trafficThread();
    EXPECT_EQ(steps, (std::vector<std::string>{"parameters", "updates"}));
    EXPECT_TRUE(logHas("Exiting: NEW VERSION"));
    EXPECT_EQ(ui.posted(), std::vector<UiMessage>{UiMessage::storeAndQuit});
}

TEST_F(WorkerTest, ProductionModeLoadsAndClosesDown) {
    productionMode = true;
    SCAN_LIVERIES.value = true;
    trafficThread();
    EXPECT_EQ(steps, (std::vector<std::string>{"parameters", "updates", "dbase", "airports"}));
    EXPECT_TRUE(logHas("Exiting: USER CLOSED SIM"));
    EXPECT_EQ(ui.posted(), std::vector<UiMessage>{UiMessage::storeAndQuit});
}

TEST_F(WorkerTest, UnreadableReferenceDataIsASystemError) {
    gf_runSteps().readAirports = [] { return false; };
    runUntilClosed();
    ASSERT_FALSE(shownErrors.empty());
    EXPECT_EQ(shownErrors.front(), "reading airports failed!");
    EXPECT_TRUE(logHas("Exiting: SYSTEM ERROR"));
}

// A type database that could not be read is read again by the next run (a restart after the error
// must not go on without it); once read, it is not read again.
TEST_F(WorkerTest, TypeDatabaseCountsAsLoadedOnlyOnceRead) {
    bool readable = false;
    gf_runSteps().readDbase = [&] {
        steps.push_back("dbase");
        return readable;
    };
    runUntilClosed();
    ASSERT_FALSE(shownErrors.empty());
    EXPECT_EQ(shownErrors.front(), "reading data files failed!");
    EXPECT_FALSE(referenceDataLoaded);

    for (bool expectRead : {true, false}) {
        steps.clear();
        runControl.reset();
        readable = true;
        runUntilClosed();
        EXPECT_EQ(std::count(steps.begin(), steps.end(), "dbase"), expectRead ? 1 : 0);
        EXPECT_TRUE(referenceDataLoaded);
    }
}

TEST_F(WorkerTest, ExceptionTypesEndTheRunWithSystemError) {
    const std::vector<std::function<void()>> throwers{
        [] { throw std::runtime_error("plain failure"); },
        [] { throw fmt::format_error("bad format"); },
        [] { throw 42; },
    };
    for (const auto& thrower : throwers) {
        runControl.reset();
        shownErrors.clear();
        ui.clear();
        gf_runSteps().readMyParkAirports = thrower;
        runUntilClosed();
        EXPECT_EQ(runControl.stopReason(), StopReason::SystemError);
        EXPECT_FALSE(shownErrors.empty());
        EXPECT_EQ(ui.posted(), std::vector<UiMessage>{UiMessage::storeAndQuit});
    }
    EXPECT_EQ(shownErrors.front(), "Unknown exception");
}

// Error 150 invites the user to type the install path. The stop flag is set with reason 7, so the typed
// path cannot replace the reason; it ends the wait and restarts the run.
TEST_F(WorkerTest, NoInstallPathThenTypedPathRestarts) {
    MSFS_INSTALL_PATH.setValue("");
    at(2s, [] { gf_requestStop(StopReason::NewSettings, 3); });
    trafficThread();
    ASSERT_FALSE(shownErrors.empty());
    EXPECT_EQ(
        shownErrors.front(),
        "150: No install path detected. Type the full path to your Community folder above, then press Enter");
    EXPECT_TRUE(logHas("Exiting: SYSTEM ERROR"));
    EXPECT_EQ(ui.posted(), std::vector<UiMessage>{UiMessage::startRun});
    EXPECT_TRUE(ALL_INSTALL_PATH.value().empty());
}

TEST_F(WorkerTest, DetectedInstallPathIsStored) {
    MSFS_INSTALL_PATH.setValue("");
    const fs::path steam = root / "config" / "Microsoft Flight Simulator" / "Packages";
    fs::create_directories(steam / "Community");
    fs::create_directories(steam / "Official");
    runUntilClosed();
    EXPECT_EQ(ALL_INSTALL_PATH.value(), steam.string());
    EXPECT_TRUE(saved("MSFS_INSTALL_PATH", steam.string()));
}

TEST_F(WorkerTest, RealTrafficDetection) {
    runUntilClosed();
    EXPECT_FALSE(realTrafficLocal);
    EXPECT_TRUE(logHas("RealTraffic not detected at this PC"));

    runControl.reset();
    fs::create_directories(root / "config" / "InsideSystems");
    std::ofstream(root / "config" / "InsideSystems" / "RealTraffic.jar") << "jar";
    runUntilClosed();
    EXPECT_TRUE(realTrafficLocal);
    EXPECT_TRUE(logHas("RealTraffic detected at this PC"));
}

TEST_F(WorkerTest, CommunitySuffixIsStripped) {
    const std::pair<std::string, std::string> cases[] = {
        {"C:\\MSFS\\Community", "C:\\MSFS"},
        {"/games/msfs/Community", "/games/msfs"},
        {"C:\\Community\\Packages", "C:\\Community\\Packages"},
        {"Community", "Community"},
        {"", ""},
    };
    for (const auto& [stored, expected] : cases) {
        MSFS_INSTALL_PATH.setValue(stored);
        lf_stripCommunitySuffix(MSFS_INSTALL_PATH);
        EXPECT_EQ(MSFS_INSTALL_PATH.value(), expected);
        EXPECT_TRUE(saved("MSFS_INSTALL_PATH", expected));
    }
}

// The simulator choice and parking_percentage are set even before the window has its controls.
TEST_F(WorkerTest, EnableControlsDerivesTheSimulatorWithoutControls) {
    SIM_CHOICE.setValue("MSFS 2024");
    parking_percentage.value = 70;
    lf_enableControls();
    EXPECT_FALSE(simulatorIs2020);
    EXPECT_EQ(gf_simulatorKind(), 2);
    EXPECT_EQ(parking_percentage.value, 30);
    EXPECT_EQ(gf_officialFolderName(), "Official2024");

    SIM_CHOICE.setValue("MSFS 2020");
    lf_enableControls();
    EXPECT_TRUE(simulatorIs2020);
    EXPECT_EQ(gf_simulatorKind(), 1);
}

// The max-fit list gets its hours and shows the hours of the stored MAX_FIT.
TEST_F(WorkerTest, EnableControlsFillsTheMaxFitList) {
    gf_attachControls();
    MAX_FIT.value = 9;
    lf_enableControls();
    const auto entries = ui.entries(MAX_FIT_FL.controlId);
    ASSERT_TRUE(entries.has_value());
    ASSERT_EQ(entries->size(), 20u);
    EXPECT_EQ(entries->front(), "0.5");
    EXPECT_EQ((*entries)[9], "5.0");
    EXPECT_EQ(entries->back(), "24.0");
    EXPECT_EQ(ui.selection(MAX_FIT_FL.controlId), 9);
    EXPECT_EQ(MAX_FIT_FL.value, 5.0f);
    EXPECT_EQ(ui.enabled(MAX_FIT_FL.controlId), false);
}

TEST_F(WorkerTest, StaleRegistrationCopiesAreRemoved) {
    fs::create_directories(root / "work" / "input");
    for (const char* name : {"AIG-regcodes0.xml", "AIG-regcodes00.xml", "AIG-regcodes.xml"})
        std::ofstream(root / "work" / "input" / name) << "x";
    lf_prepareFolders();
    EXPECT_FALSE(fs::exists(root / "work" / "input" / "AIG-regcodes0.xml"));
    EXPECT_FALSE(fs::exists(root / "work" / "input" / "AIG-regcodes00.xml"));
    EXPECT_TRUE(fs::exists(root / "work" / "input" / "AIG-regcodes.xml"));
}

// The livery scan inside a start-up: with the box ticked the first start-up scans the Community folder
// of the install path, processes the catalogue and shows its count; the next start-up neither scans nor
// processes again.
class WorkerLiveryScanTest : public WorkerTest {
protected:
    void SetUp() override {
        WorkerTest::SetUp();
        gf_resetRefdata();
        gf_resetLiveriesForTests();
        refdataInputFolder() = root / "work" / "input";
        fs::create_directories(refdataInputFolder());
        const fs::path data = fs::path(SKYLOOM_SOURCE_DIR) / "data";
        datapack::encryptDataFile(data / "dbase.xml", refdataInputFolder() / "dbase.enc");
        datapack::encryptDataFile(data / "AIG-regcodes.xml", refdataInputFolder() / "AIG-regcodes.enc");
        community_tree::writeSampleCommunity(packages / "Community");

        auto& s = gf_runSteps();
        s.readDbase = [this] {
            steps.push_back("dbase");
            return gf_readDbase();
        };
        s.scanLiveries = [this] {
            steps.push_back("scan liveries");
            gf_scanForLiveries();
        };
        s.processScannedLiveries = [this] {
            steps.push_back("process liveries");
            gf_processScannedLiveries();
        };
        auto& hooks = gf_liveryHooks();
        hooks.communityFolder = [] { return gf_inInstallPath("Community"); };
        hooks.showLiveryCount = [](std::uint64_t count) { liveryCount = count; };
        gf_installLiveryCatalogueHooks();
    }
    void TearDown() override {
        gf_resetLiveriesForTests();
        gf_resetRefdata();
        refdataInputFolder() = "input";
        WorkerTest::TearDown();
    }
};

TEST_F(WorkerLiveryScanTest, FirstStartUpScansAndTheNextDoesNot) {
    ASSERT_TRUE(SCAN_LIVERIES.value.load());
    runUntilClosed();
    EXPECT_EQ(gf_statusView().liveryCount, 12u);
    EXPECT_FALSE(SCAN_LIVERIES.value.load());
    EXPECT_TRUE(saved("SCAN_LIVERIES", "false"));
    EXPECT_TRUE(fs::exists(root / "work" / "output" / "LiveriesScanned.xml"));
    EXPECT_TRUE(logHas("12 liveries read from"));

    runControl.reset();
    steps.clear();
    runUntilClosed();
    EXPECT_EQ(std::count(steps.begin(), steps.end(), "scan liveries"), 0);
    EXPECT_EQ(logCount("liveries scan automatic starts"), 1u);
    EXPECT_TRUE(logHas("Processing scanned liveries skipped; already done in previous start-up"));
    EXPECT_EQ(gf_statusView().liveryCount, 12u);
}

} // namespace

// ---- The add-on airport scan at start-up -------------------------------------------------------------

class WorkerScanTest : public WorkerTest {
protected:
    void SetUp() override {
        WorkerTest::SetUp();
        gf_resetScanState();
        gf_resetRefdata();
        for (const char* code : {"LSZH", "EDDF", "LSGG"}) {
            airportTable.records.push_back(Airport{code, "", 47.0, 8.0, 1000.0, 0});
            airportTable.codes.insert(code);
        }
        dbase.publisherLists = {{"FlyTampa"}};
        dbase.simaddons20 = {"LSGG"};
        dbase.thirdparties20 = {{"FlyTampa", {"LSZH40"}}};
        gf_attachControls();
        gf_wireScan(gf_runSteps());
    }
    void TearDown() override {
        gf_resetScanState();
        gf_resetRefdata();
        WorkerTest::TearDown();
    }
    void bgl(const fs::path& relative, const std::string& code, int stands) {
        std::vector<bglw::Parking> list;
        for (int i = 1; i <= stands; ++i) {
            bglw::Parking p;
            p.number = static_cast<std::uint32_t>(i);
            p.lat = 47.0 + i * 0.0005;
            list.push_back(p);
        }
        bglw::save(packages / relative,
                   bglw::file({bglw::Section{3, 0, {bglw::airport(code, 0, {bglw::parkingList(list)})}}}));
    }
};

TEST_F(WorkerScanTest, StartUpScanShowsBothCountsAndTheTbloButton) {
    bgl("Official/OneStore/microsoft-airport-lsgg/scenery/x.bgl", "LSGG", 3); // link in my_simaddon
    bgl("Community/flytampa-lszh/scenery/x.bgl", "LSZH", 41);                 // link, its file collected
    bgl("Community/unknown/scenery/x.bgl", "EDDF", 2);                        // file without maker
    SCAN_AIRPORTS.value = true;
    runUntilClosed();
    EXPECT_EQ(gf_statusView().simAddonAirportCount, 1u);
    EXPECT_EQ(gf_statusView().thirdPartyAirportCount, 2u);
    EXPECT_FALSE(SCAN_AIRPORTS.value);
    EXPECT_TRUE(saved("SCAN_AIRPORTS", "false"));
    EXPECT_EQ(ui.enabled(TBLO_BUTTON.controlId), true);
    ASSERT_TRUE(gf_windowHooks().tbloCollected);
    EXPECT_TRUE(gf_windowHooks().tbloCollected());
    EXPECT_TRUE(fs::exists(root / "work" / "tblo" / "tblo.zip"));
    EXPECT_TRUE(logHas("! Mail "));
}

TEST_F(WorkerScanTest, EmptyFoldersGiveTheWarningAndUntickTheBox) {
    SCAN_AIRPORTS.value = true;
    runUntilClosed();
    EXPECT_TRUE(logHas("Warning: Scan has not found any add-on airports"));
    EXPECT_FALSE(SCAN_AIRPORTS.value);
    EXPECT_EQ(gf_statusView().thirdPartyAirportCount, 0u);
    EXPECT_FALSE(gf_windowHooks().tbloCollected());
    EXPECT_FALSE(fs::exists(root / "work" / "tblo"));
}
