// The SimClient thread: waits for the simulator, opens the connection, registers what the program
// uses and polls the connection for messages until it is asked to stop.

#include "core/hooks.h"
#include "core/log.h"
#include "core/run_control.h"
#include "core/timeutil.h"
#include "core/version.h"
#include "platform/os/timer.h"
#include "simlink/sim_internal.h"

#include <fmt/format.h>

#include <chrono>
#include <condition_variable>
#include <thread>

SimLinkStatus simLinkStatus;

namespace {

using namespace std::chrono_literals;

SimLinkHooks hooks;
std::mutex threadMutex; // guards simClientThread and simAddress
std::jthread simClientThread;
std::string simAddress;
std::atomic<std::uint32_t> openAttempts{0};
std::atomic<std::uint64_t> framesHandled{0};
std::atomic<std::uint64_t> dispatchRounds{0};

constexpr auto openRetry = 100ms;
constexpr auto dispatchPeriod = 1ms;

// The pause between dispatch rounds, which gf_wakeSimClient ends early, and the count of rounds ended,
// which gf_waitSimDispatch waits on.
std::mutex pauseMutex;
std::condition_variable pauseEnd;   // a wake was asked for
std::condition_variable roundEnded; // a round ended
bool wakeAsked = false;
std::uint64_t pauses = 0;

void lf_pauseBetweenRounds() {
    std::unique_lock lock(pauseMutex);
    ++pauses;
    roundEnded.notify_all();
    pauseEnd.wait_until(lock, std::chrono::steady_clock::now() + dispatchPeriod, [] { return wakeAsked; });
    wakeAsked = false;
}

struct DatumEntry {
    DataDefId definition;
    const char* name;
    const char* unit; // nullptr: no unit
    SIMCONNECT_DATATYPE type;
};

constexpr DatumEntry dataDefinitions[] = {
    {defUserTitle, "TITLE", nullptr, SIMCONNECT_DATATYPE_STRINGV},
    {defUserAtcModel, "ATC MODEL", nullptr, SIMCONNECT_DATATYPE_STRING32},
    {defUserOnGround, "SIM ON GROUND", "Bool", SIMCONNECT_DATATYPE_INT64},
    {defAiPosition, "Plane Latitude", "degree", SIMCONNECT_DATATYPE_FLOAT64},
    {defAiPosition, "Plane Longitude", "degree", SIMCONNECT_DATATYPE_FLOAT64},
    {defAiPosition, "Plane Pitch degrees", "radians", SIMCONNECT_DATATYPE_FLOAT64},
    {defAiPosition, "Plane Bank degrees", "radians", SIMCONNECT_DATATYPE_FLOAT64},
    {defAiPosition, "Plane Heading degrees true", "radians", SIMCONNECT_DATATYPE_FLOAT64},
    {defAiPosition, "Plane Altitude", "feet", SIMCONNECT_DATATYPE_FLOAT64},
    {defAiPosition, "Vertical Speed", "feet per second", SIMCONNECT_DATATYPE_FLOAT64},
    {defAiPosition, "Airspeed True", "knots", SIMCONNECT_DATATYPE_FLOAT64},
    {defUserState, "Plane Latitude", "degree", SIMCONNECT_DATATYPE_FLOAT64},
    {defUserState, "Plane Longitude", "degree", SIMCONNECT_DATATYPE_FLOAT64},
    {defUserState, "Plane Pitch degrees", "radians", SIMCONNECT_DATATYPE_FLOAT64},
    {defUserState, "Plane Bank degrees", "radians", SIMCONNECT_DATATYPE_FLOAT64},
    {defUserState, "Plane Heading degrees true", "radians", SIMCONNECT_DATATYPE_FLOAT64},
    {defUserState, "Plane Altitude", "feet", SIMCONNECT_DATATYPE_FLOAT64},
    {defUserState, "Plane Alt Above Ground", "feet", SIMCONNECT_DATATYPE_FLOAT64},
    {defUserState, "Ground Velocity", "knots", SIMCONNECT_DATATYPE_FLOAT64},
    {defUserState, "ZULU TIME", "Seconds", SIMCONNECT_DATATYPE_INT64},
    {defUserState, "ZULU DAY OF YEAR", "Number", SIMCONNECT_DATATYPE_INT64},
    {defUserState, "ZULU YEAR", "Number", SIMCONNECT_DATATYPE_INT64},
    {defUserState, "LIGHT STATES", "Mask", SIMCONNECT_DATATYPE_INT64},
    {defStaticCg, "Static CG to Ground", "feet", SIMCONNECT_DATATYPE_FLOAT64},
    {defStaticCg, "Static Pitch", "radians", SIMCONNECT_DATATYPE_FLOAT64},
    {defLightOnStates, "Light On States", "Mask", SIMCONNECT_DATATYPE_INT64},
    {defObjectsByType, "Plane Alt Above Ground", "feet", SIMCONNECT_DATATYPE_FLOAT64},
    {defObjectsByType, "Ground Altitude", "feet", SIMCONNECT_DATATYPE_FLOAT64},
    {defObjectsByType, "SIM ON GROUND", "Bool", SIMCONNECT_DATATYPE_INT64},
    {defObjectsByType, "ATC ID", nullptr, SIMCONNECT_DATATYPE_STRING32},
    {defAcControls, "SPOILERS HANDLE POSITION", "percent", SIMCONNECT_DATATYPE_FLOAT64},
    {defAcControls, "GENERAL ENG THROTTLE LEVER POSITION:1", "percent", SIMCONNECT_DATATYPE_FLOAT64},
    {defAcControls, "GENERAL ENG THROTTLE LEVER POSITION:2", "percent", SIMCONNECT_DATATYPE_FLOAT64},
};

constexpr std::pair<ClientEventId, const char*> clientEvents[] = {
    {evGearSet, "GEAR_SET"},
    {evEngineAutoStart, "ENGINE_AUTO_START"},
    {evEngineAutoShutdown, "ENGINE_AUTO_SHUTDOWN"},
    {evThrottleSet, "THROTTLE_SET"},
    {evFlapsSet, "FLAPS_SET"},
    {evSpoilersSet, "SPOILERS_SET"},
    {evNavLightsSet, "NAV_LIGHTS_SET"},
    {evBeaconLightsSet, "BEACON_LIGHTS_SET"},
    {evLandingLightsSet, "LANDING_LIGHTS_SET"},
    {evTaxiLightsSet, "TAXI_LIGHTS_SET"},
    {evStrobesSet, "STROBES_SET"},
    {evLogoLightsSet, "LOGO_LIGHTS_SET"},
    {evCabinLightsSet, "CABIN_LIGHTS_SET"},
    {evAllLightsToggle, "ALL_LIGHTS_TOGGLE"},
    {evFreezeLatLonSet, "FREEZE_LATITUDE_LONGITUDE_SET"},
    {evFreezeAltitudeSet, "FREEZE_ALTITUDE_SET"},
    {evFreezeAttitudeSet, "FREEZE_ATTITUDE_SET"},
};

// ENGINE_AUTO_START stays outside the group.
constexpr ClientEventId aiGroupMembers[] = {
    evNavLightsSet, evBeaconLightsSet, evLandingLightsSet,  evTaxiLightsSet,
    evStrobesSet,   evLogoLightsSet,   evCabinLightsSet,    evAllLightsToggle,
    evFlapsSet,     evSpoilersSet,     evGearSet,           evEngineAutoShutdown,
    evThrottleSet,  evFreezeLatLonSet, evFreezeAltitudeSet, evFreezeAttitudeSet,
};

void lf_addToAiGroup(HSIMCONNECT handle, ClientEventId id) {
    SimConnect_AddClientEventToNotificationGroup(handle, grpAiControl, id, true);
}

bool lf_runStopping() {
    return runControl.stopping();
}

void lf_showWaiting() {
    gf_showMessage(fmt::format("Waiting for MSFS 20{} ...", lf_chosenSimIs2020() ? "20" : "24"), true);
    gf_logFlush();
    lf_repaintStatus();
}

void lf_publishHandle(HSIMCONNECT handle) {
    std::lock_guard lock(simCommandMutex);
    hSimConnect = handle;
}

// Ends the link after a failure: the error line, and for anything but a user error the stop.
void lf_failed(std::string_view text, bool stopRun) {
    gf_showError(text.empty() ? std::string_view("Unknown exception") : text);
    if (!stopRun) return;
    simRunning.exchange(false);
    gf_stopOnSimDisconnect();
}

void lf_leave(HSIMCONNECT handle) {
    simStopping = true;
    // Whatever happens here, the connection below is still closed.
    try {
        gf_rememberUserStand();
    } catch (const std::exception& e) {
        gf_logError(fmt::format("gf_rememberUserStand exception: {}", e.what()));
    } catch (...) {
        gf_logError("gf_rememberUserStand: Unknown exception");
    }
    simLinkStatus.simConnected = false;
    lf_repaintStatus();
    if (handle == nullptr) return;
    // Nobody may use the handle once it is closed.
    lf_publishHandle(nullptr);
    if (SimConnect_Failed(SimConnect_Close(handle)))
        gf_logError("Closing SimConnect failed?!");
    else
        gf_log("SimConnect closed ok");
}

void SimClient(std::stop_token stop, std::string address) {
    HSIMCONNECT handle = nullptr;
    bool timerRaised = false;
    try {
        bool first = true;
        while (!lf_runStopping() && !stop.stop_requested()) {
            if (first) {
                first = false;
                lf_showWaiting();
            }
            openAttempts.fetch_add(1);
            HSIMCONNECT opened = nullptr;
            if (SimConnect_Succeeded(SimConnect_Open(&opened, gf_productName.data(),
                                                     address.empty() ? nullptr : address.c_str()))) {
                handle = opened;
                lf_publishHandle(handle);
                lf_setupSimConnect();
                os::beginTimerResolution(1);
                timerRaised = true;
                while (!stop.stop_requested()) {
                    if (SimConnect_CallDispatch(handle, lf_simDispatch, nullptr) ==
                        SIMCONNECT_E_NOT_CONNECTED)
                        gf_stopOnSimDisconnect();
                    dispatchRounds.fetch_add(1);
                    lf_pauseBetweenRounds();
                }
                os::endTimerResolution(1);
                timerRaised = false;
                break;
            }
            std::this_thread::sleep_for(openRetry);
        }
    } catch (const orv::UserErrorException& e) {
        lf_failed(e.what(), false);
    } catch (const std::exception& e) {
        lf_failed(e.what(), true);
    } catch (...) {
        lf_failed(fmt::format("Exception in {}", "SimClient"), true);
    }
    if (timerRaised) os::endTimerResolution(1);
    try {
        lf_leave(handle);
    } catch (const std::exception& e) {
        gf_logError(fmt::format("SimClient exception: {}", e.what()));
    } catch (...) {
        gf_logError("SimClient: Unknown exception");
    }
}

} // namespace

bool lf_chosenSimIs2020() {
    const auto& is2020 = gf_coreHooks().simulatorIs2020;
    return is2020 ? is2020() : true;
}

void lf_repaintStatus() {
    if (hooks.repaintStatus) hooks.repaintStatus();
}

void lf_setupSimConnect() {
    HSIMCONNECT handle = hSimConnect;
    SimConnect_SubscribeToSystemEvent(handle, evSim, "Sim");
    SimConnect_SubscribeToSystemEvent(handle, evObjectAdded, "ObjectAdded");
    SimConnect_SubscribeToSystemEvent(handle, evObjectRemoved, "ObjectRemoved");
    SimConnect_SubscribeToSystemEvent(handle, evFlightLoaded, "FlightLoaded");
    SimConnect_SubscribeToSystemEvent(handle, evFrame, "Frame");
    for (const DatumEntry& d : dataDefinitions)
        SimConnect_AddToDataDefinition(handle, d.definition, d.name, d.unit != nullptr ? d.unit : "", d.type,
                                       0, SIMCONNECT_UNUSED);
    for (const auto& [id, name] : clientEvents)
        SimConnect_MapClientEventToSimEvent(handle, id, name);
    for (const ClientEventId id : aiGroupMembers)
        lf_addToAiGroup(handle, id);
    SimConnect_SetNotificationGroupPriority(handle, grpAiControl, SIMCONNECT_GROUP_PRIORITY_HIGHEST);
}

SimLinkHooks& gf_simLinkHooks() {
    return hooks;
}

void gf_resetSimLinkHooks() {
    hooks = SimLinkHooks{};
}

void gf_setSimAddress(std::string address) {
    std::lock_guard lock(threadMutex);
    simAddress = std::move(address);
}

void gf_startSimClient() {
    std::lock_guard lock(threadMutex);
    // The previous thread must be gone before the new one touches the link's globals.
    if (simClientThread.joinable()) {
        simClientThread.request_stop();
        simClientThread.join();
    }
    simStopping = false;
    openAttempts = 0;
    framesHandled = 0;
    dispatchRounds = 0;
    simClientThread = std::jthread(SimClient, simAddress);
}

void gf_stopSimClient() {
    std::lock_guard lock(threadMutex);
    if (!simClientThread.joinable()) return;
    simStopping = true;
    simClientThread.request_stop();
}

void gf_joinSimClient() {
    std::lock_guard lock(threadMutex);
    if (!simClientThread.joinable()) return;
    simClientThread.request_stop();
    simClientThread.join();
}

bool gf_simClientJoinable() {
    std::lock_guard lock(threadMutex);
    return simClientThread.joinable();
}

std::uint32_t gf_simOpenAttempts() {
    return openAttempts;
}

std::uint64_t gf_simFramesHandled() {
    return framesHandled;
}

std::uint64_t gf_simDispatchRounds() {
    return dispatchRounds;
}

void gf_wakeSimClient() {
    {
        std::lock_guard lock(pauseMutex);
        wakeAsked = true;
    }
    pauseEnd.notify_one();
}

bool gf_waitSimDispatch(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        std::uint64_t seen = 0;
        {
            std::lock_guard lock(pauseMutex);
            seen = pauses;
        }
        if (done()) return true;
        std::unique_lock lock(pauseMutex);
        if (!roundEnded.wait_until(lock, deadline, [&] { return pauses != seen; })) {
            lock.unlock();
            return done();
        }
    }
}

void lf_countFrame() {
    framesHandled.fetch_add(1);
}

void gf_stopOnSimDisconnect() {
    if (runControl.stop) return;
    gf_log(fmt::format("{} Flight Simulator no longer connected, {} will stop ...", gf_utcClockNow(),
                       gf_productName));
    gf_requestStop(StopReason::SimWasClosed, 0);
}

std::string SimLinkStatus::simulatorText() const {
    std::lock_guard lock(mutex_);
    return simulatorText_;
}

std::string SimLinkStatus::userAircraftText() const {
    std::lock_guard lock(mutex_);
    return userAircraftText_;
}

std::string SimLinkStatus::userStandText() const {
    std::lock_guard lock(mutex_);
    return userStandText_;
}

void SimLinkStatus::setSimulatorText(std::string text) {
    std::lock_guard lock(mutex_);
    simulatorText_ = std::move(text);
}

void SimLinkStatus::setUserAircraftText(std::string text) {
    std::lock_guard lock(mutex_);
    userAircraftText_ = std::move(text);
}

void SimLinkStatus::setUserStandText(std::string text) {
    std::lock_guard lock(mutex_);
    userStandText_ = std::move(text);
}

void SimLinkStatus::clearTexts() {
    std::lock_guard lock(mutex_);
    simulatorText_.clear();
    userAircraftText_.clear();
    userStandText_.clear();
}

SimLinkStatusValue SimLinkStatus::value() const {
    std::lock_guard lock(mutex_);
    return SimLinkStatusValue{simConnected.load(), simRunning.load(), wingSpanKnown.load(),
                              simulatorText_,      userAircraftText_, userStandText_};
}

void gf_resetSimLinkRunState() {
    simRunning = false;
    simStopping = false;
    simLinkSuspended = false;
    simTickFlag = false;
    simTimeUnix = 0;
    simFrameRate = 0.0f;
    {
        std::lock_guard lock(simCommandMutex);
        hSimConnect = nullptr;
        positionWriteBuffer.clear();
        positionSendBuffer.clear();
        simEventQueue.clear();
        simCreateQueue.clear();
        simRemoveQueue.clear();
    }
    sentCreates.clear();
    newObjectIds.clear();
    {
        std::lock_guard lock(simResultMutex);
        simResults.clear();
    }
    lf_resetDispatchState();
    lf_resetUserAircraft();
    simLinkStatus.simConnected = false;
    simLinkStatus.simRunning = false;
    simLinkStatus.wingSpanKnown = false;
    simLinkStatus.clearTexts();
}

void gf_resetSimLinkForTests() {
    gf_joinSimClient();
    gf_resetSimLinkRunState();
    gf_resetSimLinkHooks();
    gf_setSimAddress("");
    openAttempts = 0;
}
