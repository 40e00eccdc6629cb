#include "app/wiring.h"

#include "app/commands.h"
#include "app/control_setters.h"
#include "app/install_path.h"
#include "app/main_window.h"
#include "app/run_state.h"
#include "app/run_steps.h"
#include "app/status_line.h"
#include "core/hooks.h"
#include "core/log.h"
#include "core/migration.h"
#include "core/restore_parameters.h"
#include "core/settings.h"
#include "core/timeutil.h"
#include "engine/base/aircraft_counts.h"
#include "engine/base/callsign_choice.h"
#include "engine/base/engine_status.h"
#include "engine/base/engine_tables.h"
#include "engine/base/stands.h"
#include "engine/engine_cycle.h"
#include "engine/engine_requests.h"
#include "engine/engine_reset.h"
#include "engine/live/flight_plan_files.h"
#include "engine/live/live_update.h"
#include "engine/live/no_match.h"
#include "engine/sim_results.h"
#include "engine/stands/conflicts.h"
#include "engine/stands/stand_search.h"
#include "engine/static/park_airports.h"
#include "engine/static/static_driver.h"
#include "engine/static/static_parking.h"
#include "engine/static/static_parking_state.h"
#include "feed/feed_state.h"
#include "feed/rt_link.h"
#include "feed/udp_readers.h"
#include "liveries/livery_catalogue.h"
#include "liveries/livery_scan.h"
#include "liveries/livery_tables.h"
#include "refdata/airports.h"
#include "refdata/dbase.h"
#include "refdata/park_airport.h"
#include "refdata/parking_quality.h"
#include "refdata/type_lookups.h"
#include "scan/airport_scan.h"
#include "scan/scan_state.h"
#include "simlink/flight_plans.h"
#include "simlink/sim_link.h"
#include "update/downloader.h"
#include "update/update_check.h"
#include "update/update_hooks.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <limits>
#include <mutex>
#include <typeinfo>

namespace {

// The counts band paints the feed's and the simulator link's status as they publish it.
void lf_repaintCountsBand() {
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
    gf_feedHooks().repaintCounts = lf_repaintCountsBand;
    s.startServer = [](const std::string& port) { realTrafficLink.startServer(port); };
    s.showRealTrafficConnected = [](bool connected) {
        feedStatus.realTrafficConnected = connected;
        lf_repaintCountsBand();
    };
    s.awaitRealTraffic = [] {
        gf_awaitRTConnection();
        lf_repaintCountsBand();
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
        lf_repaintCountsBand();
    };
    s.readersWithoutData = [] {
        return feedStatus.trafficStatus == readerNoData || feedStatus.qnhStatus == readerNoData;
    };
    s.stopReaders = [] { gf_stopReaders(); };
    s.waitForReaders = [](std::chrono::milliseconds limit) { return gf_waitForReadersToEnd(limit); };
    s.closeRealTrafficLink = [] { gf_closeRealTrafficLink(); };
    s.resetFeed = [] {
        gf_resetFeedRunState();
        lf_repaintCountsBand();
    };
}

void lf_wireSimLink(RunSteps& s) {
    auto& hooks = gf_simLinkHooks();
    hooks.repaintStatus = lf_repaintCountsBand;
    hooks.secondTick = [] { secondTick = true; };
    // Asked on the link's thread: answered from the stands the worker last published.
    hooks.nearestStandName = [](const Lalo& position) { return gf_nearestStandName(position); };
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
    s.removeFlightPlanFolder = [] {
        // The files' worker is stopped first, so that no plan is written into the folder as it goes.
        gf_stopFlightPlanFiles();
        gf_removeFlightPlanFolder();
    };
    s.resetSimLink = [] {
        gf_resetSimLinkRunState();
        lf_repaintCountsBand();
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
        liveryCount = count;
        gf_invalidate(uiCountsBand);
    };
    s.processScannedLiveries = [] { gf_processScannedLiveries(); };
    s.logLiveryMatchSummary = [] { gf_logLiveryMatchSummary(); };
    gf_commandHooks().clearLiveryTables = [] { gf_requestLiveryTablesRebuild(); };
}

// The livery scan of the start-up, and what it asks of the window and the install path.
void lf_wireLiveryScan(RunSteps& s) {
    auto& hooks = gf_liveryHooks();
    hooks.communityFolder = []() -> std::filesystem::path {
        // Without an install path the folder would be a bare relative name: no Community folder known.
        const std::filesystem::path community = gf_inInstallPath("Community");
        return community.is_absolute() ? community : std::filesystem::path();
    };
    hooks.openManual = [] { (void)gf_openManual(); };
    hooks.openParametersFolder = [] { (void)gf_openParametersFolder(); };
    hooks.repaintControls = [] { gf_invalidate(uiControlsBand); };
    hooks.repaintCounts = [] { gf_invalidate(uiCountsBand); };
    s.scanLiveries = [] { gf_scanForLiveries(); };
}

void lf_wireWindow(RunSteps& s) {
    gf_installStatusLine();
    gf_coreHooks().simulatorIs2020 = [] { return simulatorIs2020.load(); };
    gf_coreHooks().randomEnabled = [] { return RANDOM.value.load(); };
    // A learned parking file's settings given back to the user show in their controls.
    gf_restoreHooks().showMaxFit = gf_showMaxFit;
    gf_restoreHooks().setRange = [](std::int32_t nm) { gf_setRange(nm); };
    auto& commands = gf_commandHooks();
    commands.setSimulatorIs2020 = [](bool is2020) { simulatorIs2020 = is2020; };
    commands.waitingForRealTraffic = [] { return feedStatus.waitingForRealTraffic.load(); };
    commands.cycleSecond = [] { return runSeconds.load(); };
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
        engineStatus.standCount = count;
        gf_invalidate(uiParkingBlock);
    };
    parking.showAirportFile = [](const std::string& publisher, bool handmade) {
        engineStatus.setAirportFileText(publisher);
        engineStatus.handmadeAirportFile = handmade;
        gf_invalidate(uiParkingBlock);
    };
    parking.showQualityText = [](const std::string& text) {
        engineStatus.setQualityText(text);
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

// The callsign text beside the box (the controls band) and the static parking's part of the parking
// block are painted from the engine's status.
void lf_repaintCallsignChoiceText() {
    gf_invalidate(uiControlsBand);
}

void lf_repaintStaticParking() {
    gf_invalidate(uiParkingBlock);
    gf_invalidate(uiControlsBand);
}

void lf_wireEngine(RunSteps& s) {
    gf_engineHooks().repaintStatus = [] {
        lf_repaintStaticParking();
        gf_invalidate(uiCountsBand);
    };
    gf_engineHooks().disableParkingControls = [] { gf_disableParkingControls(); };
    gf_engineHooks().enableParkingControls = [] { gf_enableParkingControls(); };
    gf_engineHooks().enableDestination = [](bool on) {
        DESTINATION.enable(on);
        gf_invalidate(uiControlsBand);
    };
    gf_engineHooks().parkAirportForgotten = [] {
        if (!INITIAL_LOAD_ONLY.value.load()) NOW_BUTTON.enable(false);
        FLUSH_STATIC_BUTTON.enable(false);
        gf_invalidate(uiControlsBand);
    };
    s.readMyParkAirports = [] { (void)lf_readMyParkAirports(); };
    s.updateStaticParking = [](bool atStart) { gf_updateStaticParking(atStart); };
    s.leaveParkAirport = [] { gf_leaveParkAirport(); };
    gf_simLinkHooks().keepUserStand = [](const std::string& stand) { gf_keepUserStand(stand); };
    gf_rangeHooks().firstParkAirport = [] { return gf_firstParkAirportPosition(); };
    gf_engineHooks().repaintControls = lf_repaintCallsignChoiceText;
    s.reserveContainers = [] {
        gf_reserveTrafficContainers();
        gf_reserveLiveryTables();
        gf_reserveSimQueues();
    };
    s.handleAddingStack = [] { lf_handleAddingStack(); };
    s.enginePausedPass = [](bool pauseSecond) { gf_enginePausedPass(pauseSecond); };
    s.resetEngine = [] {
        gf_clearLiveState();
        engineStatus.clearRun();
    };
    s.logNoMatchList = [] { gf_engineDuties().logNoMatchList(); };
    s.everySecondDuties = [](std::int32_t seconds) {
        gf_engineEverySecond(seconds);
        // While a calculation is busy "# updates" follows its stand plan as the placement works through it.
        if (gf_publishStandPlan()) gf_invalidate(uiParkingBlock);
    };
    s.every5SecondsDuties = [](std::int32_t seconds) { gf_engineEvery5Seconds(seconds); };
    gf_feedHooks().removeLiveTraffic = [] { gf_removeLiveTraffic(); };
    s.every15SecondsDuties = [](std::int32_t seconds) {
        gf_engineEvery15Seconds(seconds);
        lf_repaintStaticParking();
    };
    gf_windowHooks().countAircraft = [] {
        const EngineCounts counts = gf_countAircraft();
        gf_countLiveParked(true); // the mean parked time shown beside the count
        return WindowHooks::AircraftCounts{counts.live, counts.parkedLive, counts.statics};
    };
    auto& commands = gf_commandHooks();
    commands.resetCallsignChoice = [] { gf_resetCallsignChoice(); };
    commands.trimLiveAircraft = [](std::int32_t maxLive) { engineRequests.requestLiveTrim(maxLive); };
    commands.setParkedNavLights = [](bool on) { engineRequests.requestParkedNavLights(on); };
    commands.setStaticRenewalCountdown = [](std::int32_t minutes) {
        engineRequests.requestRenewalCountdown(minutes);
    };
    commands.setDestinationParkAirport = [](const std::string& icao, const Lalo& position) {
        engineRequests.requestDestination(icao, position);
    };
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
    lf_wireLiveryScan(s);
    lf_wireSimLink(s);
    lf_wireEngine(s);
    lf_wireParkingFiles();
    gf_wireScan(s);
    lf_wireUpdates(s);
}

// ---- The check of the wiring --------------------------------------------------------------------------
//
// Every slot that the production run needs is listed once in `neededSlots` below, and the start-up
// (gf_checkWiring, right after gf_wireProgram) logs an error line for each one that is not wired, so
// that a forgotten wire shows in the log instead of as silently missing behaviour.
//
// A slot counts as wired when it is not empty and does not hold its module's own default (a few hook
// sets, the feed's for one, start with do-nothing defaults). Slots whose default is what the program
// wants are not listed: RunSteps.sleep and RunSteps.now (the steady clock), FeedHooks.reportThreadError
// (the feed's own report and stop) and CoreHooks.clock (the system clock).
//
// How a new slot joins the check:
//  - a member of a hook set that is already known (RunSteps, FeedHooks, SimLinkHooks, WindowHooks,
//    CommandHooks, RangeHooks, RestoreHooks, CoreHooks, LiveryHooks, LiveryCatalogueHooks, EngineHooks,
//    ParkingHooks, ScanHooks, UpdateHooks): one
//    line SKYLOOM_SLOT(TheHooks, member) in `neededSlots`, in the group of its module, in the same change
//    that wires it in gf_wireProgram;
//  - a new hook set: one HookAccess specialisation (its accessor, and its reset when its defaults are
//    not all empty), then its members as above.

namespace {

// How the check reaches a hook set: its accessor, and the reset that gives its defaults (none: the
// defaults are all empty).
template <typename Hooks> struct HookAccess;

#define SKYLOOM_HOOK_ACCESS(Hooks, accessor, resetter)                                                       \
    template <> struct HookAccess<Hooks> {                                                                   \
        static Hooks& get() { return accessor(); }                                                           \
        static constexpr void (*reset)() = resetter;                                                         \
    }

SKYLOOM_HOOK_ACCESS(RunSteps, gf_runSteps, gf_resetRunSteps);
SKYLOOM_HOOK_ACCESS(FeedHooks, gf_feedHooks, gf_resetFeedHooks);
SKYLOOM_HOOK_ACCESS(SimLinkHooks, gf_simLinkHooks, gf_resetSimLinkHooks);
SKYLOOM_HOOK_ACCESS(WindowHooks, gf_windowHooks, gf_resetWindowHooks);
SKYLOOM_HOOK_ACCESS(CommandHooks, gf_commandHooks, nullptr);
SKYLOOM_HOOK_ACCESS(RangeHooks, gf_rangeHooks, nullptr);
SKYLOOM_HOOK_ACCESS(RestoreHooks, gf_restoreHooks, gf_resetRestoreHooks);
SKYLOOM_HOOK_ACCESS(CoreHooks, gf_coreHooks, gf_resetCoreHooks);
SKYLOOM_HOOK_ACCESS(LiveryHooks, gf_liveryHooks, nullptr);
SKYLOOM_HOOK_ACCESS(LiveryCatalogueHooks, gf_liveryCatalogueHooks, nullptr);
SKYLOOM_HOOK_ACCESS(EngineHooks, gf_engineHooks, gf_resetEngineHooks);
SKYLOOM_HOOK_ACCESS(ParkingHooks, gf_parkingHooks, nullptr);
SKYLOOM_HOOK_ACCESS(ScanHooks, gf_scanHooks, nullptr);
SKYLOOM_HOOK_ACCESS(UpdateHooks, gf_updateHooks, gf_resetUpdateHooks);

#undef SKYLOOM_HOOK_ACCESS

// The module's defaults of a hook set, taken once: the set is reset and the wired slots put back.
// Only at start-up, before other threads use the hooks.
template <typename Hooks> const Hooks& lf_defaultsOf() {
    static const Hooks defaults = [] {
        if (HookAccess<Hooks>::reset == nullptr) return Hooks{};
        Hooks wired = HookAccess<Hooks>::get();
        HookAccess<Hooks>::reset();
        Hooks standard = HookAccess<Hooks>::get();
        HookAccess<Hooks>::get() = std::move(wired);
        return standard;
    }();
    return defaults;
}

// Not empty and not the module's default (a default is a function of its own type).
template <typename Signature>
bool lf_isWired(const std::function<Signature>& slot, const std::function<Signature>& standard) {
    return slot && (!standard || slot.target_type() != standard.target_type());
}

struct WiringSlot {
    std::string_view name;
    bool (*wired)();
};

#define SKYLOOM_SLOT(Hooks, member)                                                                          \
    WiringSlot {                                                                                             \
#Hooks "." #member,                                                                                  \
            [] { return lf_isWired(HookAccess<Hooks>::get().member, lf_defaultsOf<Hooks>().member); }        \
    }

// Every slot the production run needs.
const WiringSlot neededSlots[] = {
    // core: settings, messages, the traffic clock
    SKYLOOM_SLOT(RunSteps, startParameters),
    SKYLOOM_SLOT(CoreHooks, showMessage),
    SKYLOOM_SLOT(CoreHooks, showError),
    SKYLOOM_SLOT(CoreHooks, simulatorIs2020),
    SKYLOOM_SLOT(CoreHooks, randomEnabled),
    SKYLOOM_SLOT(CoreHooks, feedTime),
    SKYLOOM_SLOT(CoreHooks, professionalPeer),
    SKYLOOM_SLOT(RestoreHooks, showMaxFit),
    SKYLOOM_SLOT(RestoreHooks, setRange),
    // the window: commands, range, destination
    SKYLOOM_SLOT(CommandHooks, findAirport),
    SKYLOOM_SLOT(CommandHooks, clearLiveryTables),
    SKYLOOM_SLOT(CommandHooks, resetCallsignChoice),
    SKYLOOM_SLOT(CommandHooks, setSimulatorIs2020),
    SKYLOOM_SLOT(CommandHooks, waitingForRealTraffic),
    SKYLOOM_SLOT(CommandHooks, cycleSecond),
    SKYLOOM_SLOT(RangeHooks, userOnGround),
    SKYLOOM_SLOT(RangeHooks, userHeightFt),
    SKYLOOM_SLOT(RangeHooks, userPosition),
    SKYLOOM_SLOT(RunSteps, autoRange),
    SKYLOOM_SLOT(RunSteps, setDestination),
    // reference data
    SKYLOOM_SLOT(RunSteps, readDbase),
    SKYLOOM_SLOT(RunSteps, readAirports),
    SKYLOOM_SLOT(RunSteps, findAirport),
    // the feed
    SKYLOOM_SLOT(FeedHooks, repaintCounts),
    SKYLOOM_SLOT(FeedHooks, userState),
    SKYLOOM_SLOT(FeedHooks, removeLiveTraffic),
    SKYLOOM_SLOT(RunSteps, startServer),
    SKYLOOM_SLOT(RunSteps, showRealTrafficConnected),
    SKYLOOM_SLOT(RunSteps, awaitRealTraffic),
    SKYLOOM_SLOT(RunSteps, professionalPeer),
    SKYLOOM_SLOT(RunSteps, setProfessionalPeer),
    SKYLOOM_SLOT(RunSteps, sendSimTime),
    SKYLOOM_SLOT(RunSteps, sendUserState),
    SKYLOOM_SLOT(RunSteps, setAddingStackOpen),
    SKYLOOM_SLOT(RunSteps, startQnhReader),
    SKYLOOM_SLOT(RunSteps, startTrafficReader),
    SKYLOOM_SLOT(RunSteps, setRangeCentre),
    SKYLOOM_SLOT(RunSteps, lastTrafficTime),
    SKYLOOM_SLOT(RunSteps, checkReaderActivity),
    SKYLOOM_SLOT(RunSteps, readersWithoutData),
    SKYLOOM_SLOT(RunSteps, stopReaders),
    SKYLOOM_SLOT(RunSteps, waitForReaders),
    SKYLOOM_SLOT(RunSteps, closeRealTrafficLink),
    SKYLOOM_SLOT(RunSteps, resetFeed),
    // the liveries
    SKYLOOM_SLOT(LiveryHooks, showLiveryCount),
    SKYLOOM_SLOT(LiveryCatalogueHooks, liveryAirlines),
    SKYLOOM_SLOT(LiveryCatalogueHooks, airlineHasModel),
    SKYLOOM_SLOT(LiveryCatalogueHooks, randomLightModel),
    SKYLOOM_SLOT(LiveryCatalogueHooks, randomBuzjetModel),
    SKYLOOM_SLOT(LiveryCatalogueHooks, randomRotorcraftModel),
    SKYLOOM_SLOT(LiveryCatalogueHooks, isInstalledType),
    SKYLOOM_SLOT(RunSteps, processScannedLiveries),
    SKYLOOM_SLOT(RunSteps, logLiveryMatchSummary),
    SKYLOOM_SLOT(RunSteps, reserveContainers),
    // livery scan
    SKYLOOM_SLOT(RunSteps, scanLiveries),
    SKYLOOM_SLOT(LiveryHooks, communityFolder),
    SKYLOOM_SLOT(LiveryHooks, openManual),
    SKYLOOM_SLOT(LiveryHooks, openParametersFolder),
    SKYLOOM_SLOT(LiveryHooks, repaintControls),
    SKYLOOM_SLOT(LiveryHooks, repaintCounts),
    // the simulator link
    SKYLOOM_SLOT(SimLinkHooks, repaintStatus),
    SKYLOOM_SLOT(SimLinkHooks, secondTick),
    SKYLOOM_SLOT(SimLinkHooks, nearestStandName),
    SKYLOOM_SLOT(RunSteps, startSimClient),
    SKYLOOM_SLOT(RunSteps, simRunning),
    SKYLOOM_SLOT(RunSteps, requestUserOnGround),
    SKYLOOM_SLOT(RunSteps, refreshUserState),
    SKYLOOM_SLOT(RunSteps, userPosition),
    SKYLOOM_SLOT(RunSteps, requestUserTitleAndModel),
    SKYLOOM_SLOT(RunSteps, clearPositionBuffers),
    SKYLOOM_SLOT(RunSteps, stopSimClient),
    SKYLOOM_SLOT(RunSteps, joinSimClient),
    SKYLOOM_SLOT(RunSteps, createFlightPlanFolder),
    SKYLOOM_SLOT(RunSteps, removeFlightPlanFolder),
    SKYLOOM_SLOT(RunSteps, resetSimLink),
    // engine
    SKYLOOM_SLOT(EngineHooks, repaintStatus),
    SKYLOOM_SLOT(EngineHooks, repaintControls),
    SKYLOOM_SLOT(RunSteps, handleAddingStack),
    SKYLOOM_SLOT(RunSteps, enginePausedPass),
    SKYLOOM_SLOT(RunSteps, resetEngine),
    SKYLOOM_SLOT(RunSteps, logNoMatchList),
    SKYLOOM_SLOT(RunSteps, everySecondDuties),
    SKYLOOM_SLOT(RunSteps, every5SecondsDuties),
    SKYLOOM_SLOT(RunSteps, every15SecondsDuties),
    SKYLOOM_SLOT(WindowHooks, countAircraft),
    SKYLOOM_SLOT(CommandHooks, trimLiveAircraft),
    SKYLOOM_SLOT(CommandHooks, setParkedNavLights),
    // static parking and park airports
    SKYLOOM_SLOT(EngineHooks, disableParkingControls),
    SKYLOOM_SLOT(EngineHooks, enableParkingControls),
    SKYLOOM_SLOT(EngineHooks, enableDestination),
    SKYLOOM_SLOT(EngineHooks, parkAirportForgotten),
    SKYLOOM_SLOT(RunSteps, readMyParkAirports),
    SKYLOOM_SLOT(RunSteps, updateStaticParking),
    SKYLOOM_SLOT(RunSteps, leaveParkAirport),
    SKYLOOM_SLOT(SimLinkHooks, keepUserStand),
    SKYLOOM_SLOT(CommandHooks, setStaticRenewalCountdown),
    SKYLOOM_SLOT(CommandHooks, setDestinationParkAirport),
    SKYLOOM_SLOT(RangeHooks, firstParkAirport),
    // airport and learned parking files
    SKYLOOM_SLOT(ParkingHooks, showStandCount),
    SKYLOOM_SLOT(ParkingHooks, showAirportFile),
    SKYLOOM_SLOT(ParkingHooks, showQualityText),
    SKYLOOM_SLOT(ParkingHooks, setParkAirportElevation),
    SKYLOOM_SLOT(RestoreHooks, applyAutoRange),
    SKYLOOM_SLOT(RestoreHooks, parkingControlsReady),
    SKYLOOM_SLOT(WindowHooks, parkAirportLoaded),
    SKYLOOM_SLOT(WindowHooks, rtTrafficWeek),
    // scenery scan
    SKYLOOM_SLOT(RunSteps, scanAddonAirports),
    SKYLOOM_SLOT(ScanHooks, inInstallPath),
    SKYLOOM_SLOT(ScanHooks, repaintStatus),
    SKYLOOM_SLOT(WindowHooks, tbloCollected),
    SKYLOOM_SLOT(CommandHooks, clearAirportFilesChanged),
    // downloads and updates
    SKYLOOM_SLOT(RunSteps, checkForUpdates),
    SKYLOOM_SLOT(ParkingHooks, fetchArchivedFile),
    SKYLOOM_SLOT(UpdateHooks, setCheckBox),
    SKYLOOM_SLOT(UpdateHooks, repaint),
    SKYLOOM_SLOT(UpdateHooks, warningBox),
};

#undef SKYLOOM_SLOT

} // namespace

std::vector<std::string_view> gf_neededSlots() {
    std::vector<std::string_view> names;
    for (const auto& slot : neededSlots)
        names.push_back(slot.name);
    return names;
}

std::vector<std::string_view> gf_unwiredSlots() {
    std::vector<std::string_view> names;
    for (const auto& slot : neededSlots)
        if (!slot.wired()) names.push_back(slot.name);
    return names;
}

bool gf_checkWiring(std::initializer_list<std::string_view> leftOut) {
    bool complete = true;
    for (const auto name : gf_unwiredSlots()) {
        if (std::find(leftOut.begin(), leftOut.end(), name) != leftOut.end()) continue;
        gf_logError(fmt::format("The program is not fully wired: {} is not set", name));
        complete = false;
    }
    return complete;
}

void gf_wireProgram() {
    gf_wireRunSteps();
}

void gf_unwireProgram() {
    // Nothing of the last run may outlive the window's hooks.
    if (const auto& join = gf_runSteps().joinSimClient) join();
    gf_resetCoreHooks();
    gf_resetRestoreHooks();
    gf_resetEngineHooks();
    gf_parkingHooks() = ParkingHooks{};
    gf_resetUpdateHooks();
    gf_resetRunSteps();
    gf_scanHooks() = ScanHooks{};
}
