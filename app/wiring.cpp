#include "app/wiring.h"

#include "app/commands.h"
#include "app/control_setters.h"
#include "app/install_path.h"
#include "app/main_window.h"
#include "app/run_state.h"
#include "app/run_steps.h"
#include "app/status_line.h"
#include "core/hooks.h"
#include "core/migration.h"
#include "core/restore_parameters.h"
#include "core/settings.h"
#include "core/timeutil.h"
#include "feed/feed_state.h"
#include "feed/rt_link.h"
#include "feed/udp_readers.h"
#include "liveries/livery_catalogue.h"
#include "liveries/livery_tables.h"
#include "refdata/airports.h"
#include "refdata/dbase.h"
#include "refdata/park_airport.h"
#include "refdata/parking_quality.h"
#include "scan/airport_scan.h"
#include "scan/scan_state.h"
#include "simlink/flight_plans.h"
#include "simlink/sim_link.h"
#include "update/downloader.h"
#include "update/update_check.h"
#include "update/update_hooks.h"

#include <cstdlib>

namespace {

// The feed keeps its own view of the link and the readers; the status area paints the window's.
void lf_showFeedStatus() {
    // The window's waiting mark is its own (the main run lowers it once it has started the feed);
    // the feed's waitingForRealTraffic stays up until RealTraffic has connected.
    mainWindow.realTrafficConnected = feedStatus.realTrafficConnected.load();
    mainWindow.trafficStatus = feedStatus.trafficStatus.load();
    mainWindow.qnhStatus = feedStatus.qnhStatus.load();
    mainWindow.qnh = feedStatus.qnh.load();
    mainWindow.setText(&MainWindow::realTrafficText, feedStatus.realTrafficText());
    gf_invalidate(uiCountsBand);
}

// The readers' ports: 49005 and 49004, or other ones given for test runs through the environment.
std::uint16_t lf_port(const char* variable, std::uint16_t standard) {
    const char* text = std::getenv(variable);
    if (!text) return standard;
    const long value = std::strtol(text, nullptr, 10);
    return value > 0 && value < 65536 ? static_cast<std::uint16_t>(value) : standard;
}

std::optional<Lalo> lf_findAirport(const std::string& icao) {
    const Airport* airport = gf_findAirport(icao);
    if (!airport) return std::nullopt;
    return Lalo{airport->lat, airport->lon};
}

void lf_wireFeed(RunSteps& s) {
    gf_installFeedCoreHooks();
    gf_feedHooks().repaintCounts = lf_showFeedStatus;
    s.startServer = [](const std::string& port) { realTrafficLink.startServer(port); };
    s.showRealTrafficConnected = [](bool connected) {
        feedStatus.realTrafficConnected = connected;
        lf_showFeedStatus();
    };
    s.awaitRealTraffic = [] {
        gf_awaitRTConnection();
        lf_showFeedStatus();
    };
    s.professionalPeer = [] { return realTrafficLink.rtProfessional.load(); };
    s.setProfessionalPeer = [](bool professional) { realTrafficLink.rtProfessional = professional; };
    s.sendSimTime = [] { gf_sendSimTime(simTimeUnix.load()); };
    s.sendUserState = [] { gf_sendUserState(); };
    s.setAddingStackOpen = [](bool open) { gf_setAddingStackOpen(open); };
    s.startQnhReader = [] { gf_startQnhReader(lf_port("SKYLOOM_QNH_PORT", qnhPort)); };
    s.startTrafficReader = [] { gf_startTrafficReader(lf_port("SKYLOOM_TRAFFIC_PORT", trafficPort)); };
    s.setRangeCentre = [](const Lalo& centre) { trafficReader.setReferencePosition(centre); };
    s.lastTrafficTime = [] { return trafficReader.feedTimestamp.load(); };
    s.checkReaderActivity = [] {
        gf_checkReaderActivity();
        lf_showFeedStatus();
    };
    s.readersWithoutData = [] {
        return feedStatus.trafficStatus == readerNoData || feedStatus.qnhStatus == readerNoData;
    };
    s.stopReaders = [] { gf_stopReaders(); };
    s.waitForReaders = [](std::chrono::milliseconds limit) { return gf_waitForReadersToEnd(limit); };
    s.closeRealTrafficLink = [] { gf_closeRealTrafficLink(); };
    s.resetFeed = [] {
        gf_resetFeedRunState();
        lf_showFeedStatus();
    };
}

void lf_showSimLinkStatus() {
    mainWindow.simConnected = simLinkStatus.simConnected.load();
    mainWindow.simRunning = simLinkStatus.simRunning.load();
    mainWindow.userModelKnown = simLinkStatus.wingSpanKnown.load();
    mainWindow.setText(&MainWindow::simulatorText, simLinkStatus.simulatorText());
    mainWindow.setText(&MainWindow::userAircraftTitle, simLinkStatus.userAircraftText());
    mainWindow.setText(&MainWindow::userStand, simLinkStatus.userStandText());
    gf_invalidate(uiCountsBand);
}

void lf_wireSimLink(RunSteps& s) {
    auto& hooks = gf_simLinkHooks();
    hooks.repaintStatus = lf_showSimLinkStatus;
    hooks.secondTick = [] { secondTick = true; };
    gf_feedHooks().userState = [] {
        const UserState u = gf_userStateCopy();
        return RtUserState{u.latitude, u.longitude, u.pitch, u.bank, u.heading, u.altitude, u.groundVelocity};
    };
    // The automatic range follows the latest state the link received; until the first on-ground
    // reply there is none and the range stays as it is.
    auto& range = gf_rangeHooks();
    range.userOnGround = []() -> std::optional<bool> {
        if (!userOnGroundKnown.load()) return std::nullopt;
        return userOnGround.load();
    };
    range.userHeightFt = [] { return gf_userState().altAboveGround; };
    range.userPosition = []() -> std::optional<Lalo> {
        const UserState u = gf_userState();
        if (!gf_positionKnown(u.latitude, u.longitude)) return std::nullopt;
        return Lalo{u.latitude, u.longitude};
    };
    s.startSimClient = [] { gf_startSimClient(); };
    s.simRunning = [] { return gf_simRunningAndNotStopping(); };
    s.requestUserOnGround = [] { return gf_requestUserOnGround(); };
    s.refreshUserState = [] { gf_requestUserState(); };
    s.userPosition = []() -> std::optional<Lalo> {
        const UserState u = gf_userStateCopy();
        if (!gf_positionKnown(u.latitude, u.longitude)) return std::nullopt;
        return Lalo{u.latitude, u.longitude};
    };
    s.requestUserTitleAndModel = [] { gf_requestUserAcTitleAndModel(); };
    s.clearPositionBuffers = [] { gf_clearPositionBuffers(); };
    s.stopSimClient = [] { gf_stopSimClient(); };
    s.joinSimClient = [] { gf_joinSimClient(); };
    s.createFlightPlanFolder = [] { gf_createFlightPlanFolder(); };
    s.removeFlightPlanFolder = [] { gf_removeFlightPlanFolder(); };
    s.resetSimLink = [] {
        gf_resetSimLinkRunState();
        lf_showSimLinkStatus();
    };
}

void lf_wireReferenceData(RunSteps& s) {
    s.readDbase = [] { return gf_readDbase(); };
    s.readAirports = [] { return gf_readAirports(); };
    s.findAirport = lf_findAirport;
    gf_commandHooks().findAirport = lf_findAirport;
}

void lf_wireLiveries(RunSteps& s) {
    gf_installLiveryCatalogueHooks();
    gf_liveryHooks().showLiveryCount = [](std::uint64_t count) {
        mainWindow.liveryCount = count;
        gf_invalidate(uiCountsBand);
    };
    s.processScannedLiveries = [] { gf_processScannedLiveries(); };
    s.logLiveryMatchSummary = [] { gf_logLiveryMatchSummary(); };
    s.reserveContainers = [] {
        gf_reserveLiveryTables();
        gf_reserveSimQueues();
    };
    gf_commandHooks().clearLiveryTables = [] { gf_requestLiveryTablesRebuild(); };
}

// The chosen callsign is forgotten: its list back to one empty entry, the box and "Block" disabled.
void lf_resetCallsignChoice() {
    mainWindow.setText(&MainWindow::callsignChoiceText, "");
    gf_invalidate(uiControlsBand);
    callsign2ObjectIdChoices->replace({std::string()});
    CALLSIGN_2_OBJECTID.setValue("");
    CALLSIGN_2_OBJECTID.fillCombo();
    CALLSIGN_2_OBJECTID.enable(false);
    BLOCK_BUTTON.enable(false);
}

void lf_wireWindow(RunSteps& s) {
    gf_installStatusLine();
    gf_coreHooks().simulatorIs2020 = [] { return simulatorIs2020.load(); };
    gf_coreHooks().randomEnabled = [] { return RANDOM.value.load(); };
    // A learned parking file's settings given back to the user show in their controls.
    gf_restoreHooks().showMaxFit = gf_showMaxFit;
    gf_restoreHooks().setRange = [](std::int32_t nm) { gf_setRange(nm); };
    auto& commands = gf_commandHooks();
    commands.setSimulatorIs2020 = [](bool is2020) {
        simulatorIs2020 = is2020;
        simulatorKind = is2020 ? 1 : 2;
    };
    commands.waitingForRealTraffic = [] { return feedStatus.waitingForRealTraffic.load(); };
    commands.cycleSecond = [] { return runSeconds.load(); };
    commands.resetCallsignChoice = lf_resetCallsignChoice;
    s.autoRange = [] { gf_autoRange(); };
    s.setDestination = [](const std::string& icao, const Lalo& position) {
        gf_setDestination(icao, position);
    };
}

// The airport and learned parking files: the park airport's summary in the status area, its elevation
// in the traffic filter, the learned settings' controls and the closest-stand query. The fetch of
// archived airport files belongs to the downloads.
void lf_wireParkingFiles() {
    auto& parking = gf_parkingHooks();
    parking.showStandCount = [](std::uint64_t count) {
        mainWindow.standCount = count;
        gf_invalidate(uiParkingBlock);
    };
    parking.showAirportFile = [](const std::string& publisher, bool handmade) {
        mainWindow.setText(&MainWindow::airportFileText, publisher);
        mainWindow.handmadeAirportFile = handmade;
        gf_invalidate(uiParkingBlock);
    };
    parking.showQualityText = [](const std::string& text) {
        mainWindow.setText(&MainWindow::qualityText, text);
        gf_invalidate(uiParkingBlock);
    };
    parking.setParkAirportElevation = [](std::optional<double> elevationFt) {
        trafficReader.setParkAirportElevation(elevationFt);
    };
    auto& restore = gf_restoreHooks();
    restore.applyAutoRange = gf_applyAutoRange;
    restore.parkingControlsReady = [] { return parkingControlsReady.load(); };
    gf_setClosestStandQuery(gf_readDestApfForClosestStand);
    auto& window = gf_windowHooks();
    window.parkAirportLoaded = [] { return parkAirportLoaded.load(); };
    window.rtTrafficWeek = [] { return rtTrafficWeek.load(); };
}

// Downloads and updates: the start-up update check, the window's side of what it changes, the fetch of
// archived airport files and the record of the add-on's files among the program-made files.
void lf_wireUpdates(RunSteps& s) {
    auto& hooks = gf_updateHooks();
    hooks.setCheckBox = [](CheckBoxParameter& box, bool value) { gf_setCheckBox(box, value); };
    hooks.repaint = [] { gf_invalidate(uiControlsBand); };
    hooks.warningBox = [](std::string_view text, std::string_view caption) {
        gf_ui().messageBox(std::string(text), std::string(caption));
    };
    gf_parkingHooks().fetchArchivedFile = [](const std::string& serverPath,
                                             const std::filesystem::path& target) {
        return gf_downloadArchivedFile(serverPath, target);
    };
    s.checkForUpdates = [] { return gf_checkForUpdates(); };
}

} // namespace

// The scenery scan: its step, its roots, the tblo notice and the simulator switch.
void gf_wireScan(RunSteps& s) {
    s.scanAddonAirports = [] { gf_scanForAddonAirports(); };
    gf_scanHooks().inInstallPath = [](const std::filesystem::path& relative) {
        return gf_inInstallPath(relative);
    };
    gf_scanHooks().repaintStatus = [] { gf_invalidate(uiWholeArea); };
    gf_windowHooks().tbloCollected = [] { return gf_tbloCollected(); };
    gf_commandHooks().clearAirportFilesChanged = [] { airportFilesChanged = false; };
}

void gf_wireRunSteps() {
    auto& s = gf_runSteps();
    s.startParameters = [] { gf_startParameters(); };
    lf_wireWindow(s);
    lf_wireReferenceData(s);
    lf_wireFeed(s);
    lf_wireLiveries(s);
    lf_wireSimLink(s);
    lf_wireParkingFiles();
    gf_wireScan(s);
    lf_wireUpdates(s);
}

void gf_wireProgram() {
    gf_wireRunSteps();
}

void gf_unwireProgram() {
    // Nothing of the last run may outlive the window's hooks.
    if (const auto& join = gf_runSteps().joinSimClient) join();
    gf_resetCoreHooks();
    gf_resetRestoreHooks();
    gf_parkingHooks() = ParkingHooks{};
    gf_resetUpdateHooks();
    gf_resetRunSteps();
    gf_scanHooks() = ScanHooks{};
}
