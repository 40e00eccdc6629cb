#include "app/worker.h"

#include "app/closing.h"
#include "app/control_setters.h"
#include "app/controls.h"
#include "app/install_path.h"
#include "app/main_run.h"
#include "app/main_window.h"
#include "app/run_state.h"
#include "app/run_steps.h"
#include "core/generations.h"
#include "core/hooks.h"
#include "core/known_folders.h"
#include "core/log.h"
#include "core/program_paths.h"
#include "core/run_control.h"
#include "core/scan_tasks.h"
#include "core/settings.h"
#include "core/version.h"
#include "feed/feed_state.h"
#include "platform/os/folders.h"

#include <fmt/format.h>

#include <filesystem>
#include <new>
#include <stdexcept>
#include <system_error>

namespace fs = std::filesystem;

namespace {

template <class F, class... A> void lf_call(const F& step, A&&... args) {
    if (step) step(std::forward<A>(args)...);
}

// status() that throws only for errors other than "not found".
fs::file_status lf_status(const fs::path& p, const char* what) {
    std::error_code ec;
    auto st = fs::status(p, ec);
    if (ec && ec != std::errc::no_such_file_or_directory && ec != std::errc::not_a_directory)
        throw fs::filesystem_error(what, p, ec);
    return st;
}

StringParameter& lf_chosenInstallPath() {
    return simulatorIs2020 ? MSFS_INSTALL_PATH : MSFS_2024_INSTALL_PATH;
}

void lf_showInstallPath() {
    ALL_INSTALL_PATH.enable(true);
    gf_showStringParameter(ALL_INSTALL_PATH);
}

// The worker's outer handlers for exceptions that are not the user's to act on: the first stop wins.
void lf_systemError(const std::string& text) {
    gf_showError(text);
    gf_requestStop(StopReason::SystemError, 0);
}

std::string lf_wrongFolderText() {
    return fmt::format("{} must be run from the {} folder!", gf_productName, gf_productName);
}

} // namespace

void lf_enableControls() {
    for (auto* box : {&ALWAYS_ON_TOP, &NAV_LIGHTS_WHILE_PARKED, &GUID_CHANGES, &SCAN_LIVERIES, &LIG_AUTOMATIC,
                      &LIG_PRIORITIZE, &SCAN_AIRPORTS})
        box->enable(true);
    TBLO_BUTTON.enable(false);
    MATCHING_DEPTH.enable(true);
    MATCHING_DEPTH.fillCombo();
    for (auto* box : {&LIGHT_AIRCRAFT, &HELICOPTERS, &HIGH_PERF_AIRCRAFT})
        box->enable(true);
    RANGE.enable(!AUTO_RANGE.value);
    RANGE.fillCombo();
    AUTO_RANGE.enable(true);
    AR_ABOVE_HEIGHT.enable(AUTO_RANGE.value);
    AR_ABOVE_HEIGHT.fillCombo();
    for (auto* box : {&AIRBORNE_ONLY, &COLLISION_USER_GND, &COLLISION_USER_AIR, &COLLISION_LIVE_PARKED_GND})
        box->enable(true);
    BLOCK_BUTTON.enable(false);
    BLOCK_CALLSIGN.enable(true);
    UNBLOCK_BUTTON.enable(!BLOCK_CALLSIGN.value().empty());
    if (!INITIAL_LOAD_ONLY.value) NOW_BUTTON.enable(false);
    parkingControlsReady = true;
    for (auto* list : {&MAX_PARK_SEL, &MAX_LIVE_SEL}) {
        list->enable(true);
        list->fillCombo();
    }
    STRAIGHT_PBS_ONLY.enable(true);
    CS2OID_BUTTON.enable(false);
    CALLSIGN_2_OBJECTID.enable(false);
    AI_PACKAGE_SELECTOR.enable(LIG_AUTOMATIC.value);
    AI_PACKAGE_SELECTOR.fillCombo();

    // Every simulator-specific name and path depends on this flag.
    simulatorIs2020 = SIM_CHOICE.value() == "MSFS 2020";
    SIM_CHOICE.enable(true);
    SIM_CHOICE.fillCombo();

    DESTINATION.enable(false);
    for (auto* list : {&AIRP_RANGE, &AIRP_HEIGHT}) {
        list->enable(true);
        list->fillCombo();
    }
    REREAD_BUTTON.enable(false);
    parking_percentage.enable(false);
    parking_percentage.value = 30; // every start shows 30, whatever the file holds
    parking_percentage.fillCombo();
    MAX_FIT_FL.enable(false);
    gf_fillMaxFitCombo();
    gf_showMaxFit();
    WEEK.enable(true);
    PARK_SOFT.enable(true);
    FLUSH_STATIC_BUTTON.enable(false);
    INITIAL_LOAD_ONLY.enable(true);
}

void lf_stripCommunitySuffix(StringParameter& installPath) {
    std::string value = installPath.value();
    if (value.size() >= 10) {
        const std::string_view tail(value.data() + value.size() - 10, 10);
        if (tail == "\\Community" || tail == "/Community") value.resize(value.size() - 10);
    }
    installPath.set(value);
}

void lf_prepareFolders() {
    const fs::path folders[] = {outputFolder,          outputInfoFolder,        outputErrorsFolder,
                                airportsFolder,        learnedFolder,           learnedStockFolder,
                                learnedSimaddonFolder, learnedThirdpartyFolder, mySimaddonFolder,
                                myThirdpartyFolder,    myRegcodesFolder};
    for (const auto& relative : folders) {
        const fs::path folder = os::inWorkingFolder(relative);
        if (fs::is_directory(lf_status(folder, "status"))) continue;
        std::error_code ec;
        fs::create_directories(folder, ec);
        if (ec) throw fs::filesystem_error("create_directories", folder, ec);
    }
    for (const auto& name : {"AIG-regcodes0.xml", "AIG-regcodes00.xml"}) {
        const fs::path stale = os::inWorkingFolder(inputFolder / name);
        if (!fs::exists(lf_status(stale, "exists"))) continue;
        std::error_code ec;
        fs::remove(stale, ec);
        if (ec) throw fs::filesystem_error("remove", stale, ec);
    }
}

namespace {

bool lf_stopAfterProduction() {
    const bool wasClosed = runControl.close.load();
    if (productionMode) gf_requestStop(StopReason::UserClosedSim, 0);
    return wasClosed;
}

void lf_startUp() {
    const auto& s = gf_runSteps();
    lf_call(s.startParameters);
    gf_keepLoadedRange();
    gf_invalidate(uiWholeArea);
    gf_logFlush();

    lf_enableControls();
    lf_stripCommunitySuffix(lf_chosenInstallPath());
    lf_prepareFolders();

    if (freshStart && s.checkForUpdates && !s.checkForUpdates()) return;
    gf_refreshWeekSlot();

    if (!referenceDataLoaded && s.readDbase) {
        // Only a database that was read counts: a run that restarts after the failure reads it again.
        if (!s.readDbase()) throw std::runtime_error("reading data files failed!");
        referenceDataLoaded = true;
    }
    if (s.readAirports && !s.readAirports()) throw std::runtime_error("reading airports failed!");

    ALL_INSTALL_PATH.setValue(lf_chosenInstallPath().value());
    lf_showInstallPath();
    if (ALL_INSTALL_PATH.value().empty()) {
        const fs::path detected = gf_detectInstallPath();
        if (detected.empty())
            throw orv::UserErrorException(150, "No install path detected. Type the full path to your "
                                               "Community folder above, then press Enter");
        const auto u8 = detected.u8string();
        lf_chosenInstallPath().set(std::string(u8.begin(), u8.end()));
        ALL_INSTALL_PATH.setValue(lf_chosenInstallPath().value());
        lf_showInstallPath();
    }
    gf_invalidate(uiWholeArea);

    if (productionMode) {
        lf_stopAfterProduction();
        return;
    }

    const fs::path jar = gf_getAppDataPath() / "InsideSystems" / "RealTraffic.jar";
    realTrafficLocal = fs::exists(lf_status(jar, "exists"));
    gf_showMessage(fmt::format("RealTraffic {}detected at this PC", realTrafficLocal ? "" : "not "), true);
}

} // namespace

void trafficThread() {
    const auto& s = gf_runSteps();
    try {
        if (!fs::is_directory(lf_status(os::inWorkingFolder(docsFolder), "status")))
            throw orv::UserErrorException(41, lf_wrongFolderText());
        lf_startUp();
        gf_logFlush();
        // A stop asked for during the start-up (a new program version, production mode, the user)
        // ends the run before the scans.
        if (!runControl.stopping()) {
            gf_resetScanTasks();
            if (SCAN_LIVERIES.value) lf_call(s.scanLiveries);
            lf_call(s.processScannedLiveries);
        }
        if (!runControl.stopping()) {
            if (SCAN_AIRPORTS.value) {
                simAddonAirportCount = 0;
                thirdPartyAirportCount = 0;
                gf_invalidate(uiWholeArea);
                lf_call(s.scanAddonAirports);
            }
            simAddonAirportCount = gf_countDirectoryEntries(os::inWorkingFolder(mySimaddonFolder));
            thirdPartyAirportCount = gf_countDirectoryEntries(os::inWorkingFolder(myThirdpartyFolder));
            gf_invalidate(uiWholeArea);
            if (runControl.stopping()) {
                // A stop that came during the scans ends the run as a close, unless it has a reason
                // of its own (a restart keeps its reason and restarts).
                if (runControl.stopReason() == StopReason::NotYetSet)
                    gf_requestStop(StopReason::UserClosedSim, 0);
            } else {
                lf_call(s.createFlightPlanFolder);
                lf_call(s.readMyParkAirports);
                REREAD_BUTTON.enable(true);
                const std::string destination = DESTINATION.value();
                if (!destination.empty() && s.findAirport && s.setDestination)
                    if (auto position = s.findAirport(destination)) s.setDestination(destination, *position);
                gf_ui().setAlwaysOnTop(ALWAYS_ON_TOP.value);
                lf_mainRun();
            }
        }
    } catch (const orv::UserErrorException& e) {
        const std::string text = e.what();
        gf_showError(text.empty() ? "Unknown exception" : text);
        gf_forceStopReason(StopReason::SystemError);
    } catch (const fmt::format_error& e) {
        gf_showError(fmt::format("std::format error: {}", e.what()));
        lf_systemError(e.what());
    } catch (const std::bad_alloc& e) {
        lf_systemError(e.what());
    } catch (const std::exception& e) {
        lf_systemError(e.what());
    } catch (...) {
        gf_showError("Unknown exception");
        gf_forceStopReason(StopReason::SystemError);
    }
    gf_logFlush();
    lf_closingDown();
}
