#include "engine/static/static_driver.h"
#include "engine/stands/static_picks.h"

#include "core/geodesy.h"
#include "core/hooks.h"
#include "core/log.h"
#include "core/restore_parameters.h"
#include "core/settings.h"
#include "core/strings.h"
#include "core/timeutil.h"
#include "core/units.h"
#include "core/version.h"
#include "engine/base/ac_commands.h"
#include "engine/base/ac_removal.h"
#include "engine/base/engine_status.h"
#include "engine/base/engine_tables.h"
#include "engine/base/stands.h"
#include "engine/stands/conflicts.h"
#include "engine/stands/parking_limits.h"
#include "engine/stands/stand_options.h"
#include "engine/stands/stand_search.h"
#include "engine/static/park_airports.h"
#include "engine/static/static_parking.h"
#include "engine/static/static_parking_state.h"
#include "feed/udp_readers.h"
#include "refdata/airport_files.h"
#include "refdata/airports.h"
#include "refdata/apf_writer.h"
#include "refdata/park_airport.h"
#include "refdata/park_airport_file.h"
#include "refdata/parking_quality.h"
#include "simlink/sim_link.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <future>
#include <memory>
#include <optional>
#include <system_error>
#include <thread>

namespace {

double lastUserLat = 0.0;
double lastUserLon = 0.0;

// The park airport's file being read off the cycle for a calculation; the worker takes the value once
// it is there. Leaving the airport drops it (the reading thread ends on its own).
struct PendingParkFileRead {
    std::string code;
    std::string reference;
    std::future<ParkAirportRead> result;
};
std::optional<PendingParkFileRead> pendingRead;
ParkFileReadRunner readRunner;

void lf_runRead(std::function<void()> read) {
    if (readRunner)
        readRunner(std::move(read));
    else {
        try {
            std::thread(read).detach();
        } catch (const std::system_error&) {
            read(); // no thread to be had: read in place, as a stall is better than no statics
        }
    }
}

void lf_repaint() {
    if (const auto& hook = gf_engineHooks().repaintStatus) hook();
}

void lf_enableDestination(bool on) {
    if (const auto& hook = gf_engineHooks().enableDestination) hook(on);
}

void lf_clearMessage() {
    gf_showMessage("", false);
}

bool lf_parkAirportSet() {
    return !parkAirportCode.empty();
}

Lalo lf_parkAirportPosition() {
    return Lalo{currentParkAirport.lat, currentParkAirport.lon};
}

bool lf_withinRangeAndHeight(double distanceNm, double heightFt) {
    return static_cast<double>(AIRP_RANGE.value.load()) >= distanceNm &&
           static_cast<double>(AIRP_HEIGHT.value.load()) >= heightFt;
}

void lf_announceStaticParking(bool showMessage) {
    gf_disableParkingControlsFromEngine();
    trafficReader.startCollectingCallsigns();
    if (showMessage) gf_showMessage("Calculating static parked aircraft ...", false);
}

void lf_chooseParkAirport(const Lalo& user, double heightFt, bool atStart) {
    if (userOnGround.load()) {
        const Airport* airport = gf_closestAirport(user);
        if (airport == nullptr) {
            gf_showMessage("User aircraft on the ground, no RT supported airport in sight", true);
            return;
        }
        if (!gf_hasParkingSource(airport->code)) {
            gf_showMessage(
                fmt::format("User aircraft on the ground at {}, no airport file found", airport->code), true);
            return;
        }
        const std::string code = airport->code;
        gf_log(fmt::format("User aircraft on the ground at {}", code));
        if (!gf_setParkAirport(code)) return;
        staticParkingState.calculationRequested = true;
        lf_announceStaticParking(atStart);
        return;
    }
    lf_enableDestination(true);
    if (parkAirport.parkAirports.empty()) return;
    const ParkAirportEntry& first = parkAirport.parkAirports.front();
    const double d = gf_distanceNm(user, first.pos);
    if (lf_withinRangeAndHeight(d, heightFt) && gf_setParkAirport(first.code)) {
        gf_showMessage(fmt::format("{} in sight at {:.1F} nm", first.code, d), true);
        staticParkingState.calculationRequested = true;
        lf_announceStaticParking(false);
    }
}

void lf_checkParkAirportInSight(const Lalo& user, double heightFt) {
    if (userOnGround.load()) return;
    const double d = gf_distanceNm(user, lf_parkAirportPosition());
    const std::string name = gf_airportDisplayName(currentParkAirport);
    if (lf_withinRangeAndHeight(d, heightFt)) {
        if (parkAirport.parkAirports.empty() || parkAirport.parkAirports.front().code == parkAirportCode)
            return;
        const ParkAirportEntry& first = parkAirport.parkAirports.front();
        const double d1 = gf_distanceNm(user, first.pos);
        if (lf_withinRangeAndHeight(d1, heightFt) && d >= d1) {
            gf_log(fmt::format("\n{} {} is in sight ({:.1F} nm), parked aircraft at {} will be removed first",
                               gf_trafficClockNow(), first.code, d1, name));
            gf_leaveParkAirport();
        }
        return;
    }
    gf_log(fmt::format("\n{} {} is out of sight ({:.1F} nm), parked aircraft will be removed",
                       gf_trafficClockNow(), name, d));
    gf_leaveParkAirport();
}

void lf_setReservedStand(const std::string& name, bool ok) {
    if (parkAirport.reservedStandName != name || engineStatus.reservedStandOk.load() != ok) {
        parkAirport.reservedStandName = name;
        engineStatus.reservedStandOk = ok;
        engineStatus.setReservedStandText(name);
        lf_repaint();
    }
}

// Loads the park airport's stands from its files as read off the cycle; empty on success, else the
// message to show.
std::string lf_readParkedFile(ParkAirportRead read) {
    const std::string reference = read.reference;
    engineStatus.setParkedFileText({});
    std::string msg;
    try {
        msg = gf_loadParkStands(std::move(read));
    } catch (const orv::UserErrorException& e) {
        // A fault of the airport file (a stand without id, a repeated id, no altitude) refuses that
        // file: the airport gets no statics, the run goes on.
        msg = fmt::format("{}: refused: {}", reference, e.what());
    }
    if (msg.empty()) {
        if (userOnGroundKnown.load()) {
            const UserState user = gf_userStateCopy();
            const std::string s = gf_nearestStandName(Lalo{user.latitude, user.longitude});
            if (!parkAirport.parkAirports.empty() &&
                parkAirport.parkAirports.front().code == parkAirportCode) {
                if (!s.empty() && s != parkAirport.parkAirports.front().stand) {
                    parkAirport.parkAirports.front().stand = s;
                    gf_saveMyParkAirport();
                }
            } else {
                // An entry further down the list moves to the front rather than being listed twice.
                const auto listed =
                    std::find_if(parkAirport.parkAirports.begin(), parkAirport.parkAirports.end(),
                                 [](const ParkAirportEntry& e) { return e.code == parkAirportCode; });
                if (listed != parkAirport.parkAirports.end()) {
                    parkAirport.parkAirports.splice(parkAirport.parkAirports.begin(),
                                                    parkAirport.parkAirports, listed);
                    if (!s.empty()) parkAirport.parkAirports.front().stand = s;
                } else {
                    parkAirport.parkAirports.push_front({parkAirportCode, s, lf_parkAirportPosition(), 0});
                }
                gf_saveMyParkAirport();
            }
            gf_publishFirstParkAirport();
        }
        parkPositions.shrink_to_fit();
        gf_publishStandSnapshot();
        if (!parkAirport.parkAirports.empty() && parkAirport.parkAirports.front().code == parkAirportCode &&
            !parkAirport.parkAirports.front().stand.empty()) {
            const std::string& stand = parkAirport.parkAirports.front().stand;
            const bool exists = std::any_of(parkPositions.begin(), parkPositions.end(),
                                            [&](const ParkPos& p) { return p.id == stand; });
            lf_setReservedStand(exists ? stand : std::string(), exists);
        } else {
            lf_setReservedStand({}, false);
        }
    }
    engineStatus.parkedFileRead = msg.empty();
    engineStatus.setParkedFileText(reference);
    lf_repaint();
    return msg;
}

void lf_forgetParkAirport();

// The calculation after the park airport's file was read (`msg` empty), or the read's failure.
void lf_endParkedRead(const std::string& msg) {
    if (msg.empty()) {
        gf_setStaticRenewalCountdown(staticRenewalMinutes);
        lf_calculateStaticParking();
    } else {
        gf_enableParkingControlsFromEngine();
        gf_showMessage(msg, true);
        lf_forgetParkAirport();
    }
    lf_enableDestination(true);
    gf_logFlush();
}

void lf_forgetParkAirport() {
    pendingRead.reset();
    // A read that found no stands may have applied a learned file's settings all the same.
    if (parkAirportLoaded.load() || learnedSettingsInForce.load()) gf_restoreOverriddenParameters();
    if (parkAirportLoaded.load()) {
        try {
            gf_saveUpdatedStands();
        } catch (const std::exception& e) {
            gf_logError(fmt::format("{}: {}", "gf_saveUpdatedStands", e.what()));
        }
    }
    parkAirport.standUpdateCount = 0;
    engineStatus.standUpdateCount = 0;
    parkAirport.forget();
    if (const auto& hook = gf_engineHooks().parkAirportForgotten) hook();
    trafficReader.clearParkAirport();
    // The feed's ground rule no longer judges flights by the left airport's elevation.
    trafficReader.setParkAirportElevation(std::nullopt);
    engineStatus.setParkAirportText({});
    lf_setReservedStand({}, false);
    lf_repaint();
    staticPicks.staticRemoveList.clear();
    staticPicks.staticAddList.clear();
    engineStatus.pendingStaticCount = 0;
    gf_clearParkStands();
    engineStatus.parkedFileRead = false;
    engineStatus.setParkedFileText({});
    auto& parking = gf_parkingHooks();
    if (parking.showStandCount) parking.showStandCount(0);
    if (parking.showAirportFile) parking.showAirportFile({}, false);
    if (parking.showQualityText) parking.showQualityText({});
    gf_publishFirstParkAirport();
    lf_repaint();
}

std::int32_t lf_simKind() {
    const auto& is2020 = gf_coreHooks().simulatorIs2020;
    return !is2020 || is2020() ? 1 : 2;
}

} // namespace

void gf_takeParkFileRead() {
    if (!pendingRead) return;
    auto& result = pendingRead->result;
    if (result.wait_for(std::chrono::seconds(0)) == std::future_status::timeout) return;
    if (pendingRead->code != parkAirportCode) {
        pendingRead.reset();
        return;
    }
    ParkAirportRead read;
    try {
        read = result.get();
    } catch (...) {
        // Nothing came of it: the files are read here.
        read = gf_readParkAirport(pendingRead->code, pendingRead->reference);
    }
    pendingRead.reset();
    lf_endParkedRead(lf_readParkedFile(std::move(read)));
}

bool gf_parkFileReadPending() {
    return pendingRead.has_value();
}

void gf_setParkFileReadRunner(ParkFileReadRunner runner) {
    readRunner = std::move(runner);
}

void gf_updateStaticParking(bool atStart) {
    gf_takeKeptUserStand();
    // The park airport's file is still being read: the calculation follows when the pass takes it.
    if (pendingRead) return;
    // The placement has ended. A calculation still to come has not begun its placement.
    if (staticParkingState.busy.load() && staticPicks.staticAddList.empty() &&
        !staticParkingState.calculationRequested) {
        gf_enableParkingControlsFromEngine();
        lf_clearMessage();
        gf_countStaticParked(true);
        gf_countLiveParked(true);
        engineStatus.pendingStaticCount = 0;
    }
    if (staticParkingState.calculationRequested) {
        lf_clearMessage();
        staticParkingState.calculationRequested = false;
        gf_clearParkStands();
        const std::string reference = gf_apfRefOf(parkAirportCode);
        if (reference.empty()) {
            lf_endParkedRead(fmt::format("{} {} not found", "lf_readParkedFile", parkAirportCode));
            return;
        }
        auto promise = std::make_shared<std::promise<ParkAirportRead>>();
        pendingRead = PendingParkFileRead{parkAirportCode, reference, promise->get_future()};
        lf_runRead([promise, code = parkAirportCode, reference] {
            try {
                promise->set_value(gf_readParkAirport(code, reference));
            } catch (...) {
                promise->set_exception(std::current_exception());
            }
        });
        gf_takeParkFileRead();
        return;
    }
    const UserState user = gf_userStateCopy();
    if (std::fabs(user.latitude) < 0.0001 && std::fabs(user.longitude) < 0.0001) return;
    const Lalo position{user.latitude, user.longitude};
    if (!parkAirport.parkAirports.empty()) {
        if (std::fabs(user.latitude - lastUserLat) >= 1e-8 ||
            std::fabs(user.longitude - lastUserLon) >= 1e-8) {
            lastUserLat = user.latitude;
            lastUserLon = user.longitude;
            if (DESTINATION.value().empty()) {
                for (ParkAirportEntry& entry : parkAirport.parkAirports)
                    entry.dist = gf_distanceNm(position, entry.pos);
                parkAirport.parkAirports.sort(
                    [](const ParkAirportEntry& a, const ParkAirportEntry& b) { return a.dist < b.dist; });
                gf_publishFirstParkAirport();
            }
        } else {
            parkAirport.parkAirports.front().dist =
                gf_distanceNm(position, parkAirport.parkAirports.front().pos);
        }
    }
    if (lf_parkAirportSet())
        lf_checkParkAirportInSight(position, user.altAboveGround);
    else
        lf_chooseParkAirport(position, user.altAboveGround, atStart);
}

void gf_leaveParkAirport() {
    staticPicks.staticAddList.clear();
    gf_removeAllStatic();
    bool erase = false;
    for (LiveAc& ac : engineLists.liveAcs) {
        switch (ac.phase) {
        case AcPhase::pushing_back:
        case AcPhase::pushed_back:
        case AcPhase::taxi:
        case AcPhase::take_off:
        case AcPhase::parked:
            break;
        default:
            continue;
        }
        if (ac.sid != 0) gf_releaseStand(ac.sid, ac.hexid);
        ac.standLat = 0;
        ac.standLon = 0;
        ac.standHdg = 0;
        ac.sid = 0;
        ac.standFlag = false;
        if (ac.simState == SimState::active || ac.simState == SimState::adding2sim) {
            removeAircraftFromSim(ac);
            erase |= ac.eraseDropped;
        }
    }
    if (erase) gf_compactLiveAcs();
    lf_forgetParkAirport();
}

void gf_saveUpdatedStands() {
    const std::filesystem::path path = gf_learnedPathOf(parkAirportCode, parkAirportInfo.publisher);
    if (learnedFileRefused) {
        // Its reading was refused: what this visit learned is not worth the user's file.
        gf_log(fmt::format("{} '{}' could not be read at this visit and is left as it is", gf_utcClockNow(),
                           path.empty() ? parkAirportCode : path_to_utf8(path)));
        parkAirport.standUpdateCount = 0;
        engineStatus.standUpdateCount = 0;
        return;
    }
    ApfData data;
    data.code = parkAirportCode;
    data.airport_name = parkAirportInfo.airport_name;
    data.publisher = parkAirportInfo.publisher;
    data.altitude = parkAirportInfo.altitude;
    if (handmadeApf) {
        const QualityFactors q = gf_qualityFactors();
        data.Qf_real = q.Qf_real;
        data.Qf_soft = q.Qf_soft;
        data.stands = parkPositions;
    } else {
        for (ParkPos& stand : parkPositions) {
            std::erase_if(stand.opts, [](const ParkOpt& o) { return o.origin == 1; });
            if (stand.manual || !stand.opts.empty() || stand.radius_change || stand.cargo_change)
                data.stands.push_back(stand);
        }
    }
    const std::string clock = gf_utcClockNow();
    const bool saved = !path.empty() && gf_writeApf(data, path, apfLearnedMode, lf_simKind());
    const std::string shown = path.empty() ? parkAirportCode : path_to_utf8(path);
    if (saved)
        gf_log(fmt::format("{}{} '{}' saved with {} update{}", clock, handmadeApf ? " handmade" : "", shown,
                           parkAirport.standUpdateCount,
                           gf_plural(static_cast<std::int64_t>(parkAirport.standUpdateCount))));
    else
        gf_log(fmt::format("{} saving '{}' did not succeed", clock, shown));
    parkAirport.standUpdateCount = 0;
    engineStatus.standUpdateCount = 0;
}

void gf_renewalStep() {
    if (!staticParkingState.renewalPending.load()) return;
    if (!staticParkingState.renewalCollecting.load()) {
        staticParkingState.renewalCollecting = true;
        gf_disableParkingControlsFromEngine();
        trafficReader.startCollectingCallsigns();
        return;
    }
    staticParkingState.renewalCollecting = false;
    gf_showError("");
    lf_clearMessage();
    if (lf_parkAirportSet() && !parkPositions.empty()) gf_adjustParking();
    gf_logFlush();
    staticParkingState.renewalPending = false;
}

void gf_renewalCountdownMinute(std::int32_t secondsToStep) {
    const std::int32_t left = staticParkingState.renewalCountdown.load() - 1;
    gf_setStaticRenewalCountdown(left);
    if (left >= 1) {
        lf_repaint();
        return;
    }
    gf_setStaticRenewalCountdown(staticRenewalMinutes);
    if (parkAirportLoaded.load() && !INITIAL_LOAD_ONLY.value.load() && !staticParkingState.busy.load() &&
        !staticParkingState.renewalPending.load()) {
        gf_disableParkingControlsFromEngine();
        if (secondsToStep > 0)
            gf_showMessage(fmt::format("{} will update static parking in {} second{} ...", gf_productName,
                                       secondsToStep, gf_plural(secondsToStep)),
                           false);
        staticParkingState.renewalPending = true;
    }
    lf_repaint();
}

void gf_requestRenewalNow() {
    staticParkingState.renewalPending = true;
}

std::uint32_t gf_objectsInRangeMetres(std::uint32_t trafficRadiusMetres) {
    if (!lf_parkAirportSet()) return trafficRadiusMetres;
    const bool waiting = !staticPicks.staticAddList.empty() ||
                         std::any_of(engineLists.staticAcs.begin(), engineLists.staticAcs.end(),
                                     [](const StaticAc& ac) { return ac.simState == SimState::adding2sim; });
    if (!waiting) return trafficRadiusMetres;
    const UserState user = gf_userStateCopy();
    const double nm = gf_distanceNm(Lalo{user.latitude, user.longitude}, lf_parkAirportPosition()) + 2.0;
    const double metres = std::ceil(nm * metresPerNm);
    if (!(metres < 4.0e9)) return trafficRadiusMetres;
    return std::max(trafficRadiusMetres, static_cast<std::uint32_t>(metres));
}

void gf_resetStaticDriverForTests() {
    staticParkingState.reset();
    pendingRead.reset();
    lastUserLat = 0.0;
    lastUserLon = 0.0;
}
