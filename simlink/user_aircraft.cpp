// The user aircraft: its state, the one-second tick, teleports, the simulator's time, its title and the
// identification of its type from the ATC model.

#include "core/hooks.h"
#include "core/log.h"
#include "core/run_control.h"
#include "core/units.h"
#include "core/version.h"
#include "refdata/dbase.h"
#include "refdata/type_lookups.h"
#include "simlink/sim_internal.h"

#include <fmt/format.h>

#include <array>
#include <cmath>
#include <cstring>

std::atomic<std::uint32_t> userObjectId{userObjectIdAtStart};
std::atomic<bool> userOnGround{false};
std::atomic<bool> userOnGroundKnown{false};

namespace {

constexpr std::size_t maxTitleLength = 48;
constexpr double teleportDistanceNm = 10.0;
constexpr double standStillKnots = 2.0;

// Written by the state reply under simCommandMutex; read under it by other threads. The SimClient
// thread, the only writer, reads it without the lock.
UserState userState;
// The worker's copy (under simCommandMutex).
UserState userStateCopy;
// SimClient thread only.
Lalo userPrevPosition;

// Read by other threads: under userInfoMutex, a leaf lock.
std::mutex userInfoMutex;
std::string userAcTitle;
std::string userStandName;
std::optional<double> userHalfSpanNm;
SizeCategory userSizeCategory = SizeCategory::Light;

template <class T> T lf_read(const T& field) {
    std::lock_guard lock(userInfoMutex);
    return field;
}

template <class T> void lf_write(T& field, T value) {
    std::lock_guard lock(userInfoMutex);
    field = std::move(value);
}

// A text datum: at most `limit` bytes, up to the first NUL.
std::string lf_text(const SIMCONNECT_RECV_SIMOBJECT_DATA& reply, std::size_t limit) {
    const auto* p = reinterpret_cast<const char*>(reply.data());
    return std::string(p, strnlen(p, std::min<std::size_t>(reply.dataSize, limit)));
}

// Cuts a UTF-8 text to at most `limit` bytes without leaving part of a character at its end (the
// window shows nothing of a text that is not valid UTF-8).
void lf_cutUtf8(std::string& text, std::size_t limit) {
    std::size_t end = limit;
    // A character has at most three continuation bytes.
    while (end > 0 && limit - end < 3 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    text.resize(end);
}

double lf_largestHalfSpan() {
    return dbase.largestHalfSpan;
}

double lf_spanOr(std::string_view type, double fallback) {
    const double span = gf_wingspanOf(type);
    return span != 0.0 ? span : fallback;
}

bool lf_contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

// The model as the simulator names it, mended into an ICAO type where a known pattern allows it.
std::string lf_fixModel(const std::string& model, const std::string& title) {
    if (model == "A350-900") return "A359";
    if (model == "N738B") return "B38M";
    if (model == "777") return "772";
    if (model == "A330-200 (RR)") return "A332";
    if (const auto p = model.find(".0.text"); model.size() > 6 && p != std::string::npos) {
        for (const std::size_t n : {4u, 3u, 2u}) {
            if (n > p) continue;
            std::string candidate = model.substr(p - n, n);
            if (gf_wingspanOf(candidate) != 0.0) return candidate;
        }
        return model;
    }
    if (model.size() > 4 && model.starts_with("$$:")) return model.substr(3);
    if (model == "737") {
        if (lf_contains(title, "DG 737-800")) return "B738";
        if (lf_contains(title, "DG 737-700")) return "B737";
        if (lf_contains(title, "DG 737-600")) return "B736";
        if (lf_contains(title, "DG 737-900")) return "B739";
    }
    return model;
}

void lf_setWingSpanKnown(bool known) {
    simLinkStatus.wingSpanKnown = known;
    lf_repaintStatus();
}

void lf_identifyModel(std::string model) {
    if (model.empty()) {
        simLinkStatus.setUserAircraftText("Unknown (encrypted?) aircraft");
        lf_repaintStatus();
        gf_showMessage(
            "171: No model info from your user aircraft received in SimConnect, CRJ7 is taken instead", true);
        lf_write(userHalfSpanNm, std::optional<double>(lf_spanOr("CRJ7", lf_largestHalfSpan())));
        return;
    }
    gf_logContinuation(fmt::format("model raw: {}", model));
    const std::string title = lf_read(userAcTitle);
    model = lf_fixModel(model, title);
    std::string line = "SimConnect: User aircraft model: " + model;

    if (lf_contains(model, "camerapod") || lf_contains(model, "Crew Vessel")) {
        lf_setWingSpanKnown(true);
        lf_write(userHalfSpanNm, std::optional<double>(gf_wingspanOf("E190")));
        lf_write(userSizeCategory, SizeCategory::Light);
        gf_logContinuation(line);
        return;
    }

    const double largest = lf_largestHalfSpan();
    double span = model.size() <= 4 ? gf_wingspanOf(model) : largest;
    bool known = span != largest;
    if (!known && title.size() >= 13) {
        static constexpr std::array<std::pair<std::string_view, std::string_view>, 3> aerosoft{
            {{"Aerosoft A319", "A319"}, {"Aerosoft A320", "A320"}, {"Aerosoft A321", "A321"}}};
        for (const auto& [prefix, type] : aerosoft) {
            if (!title.starts_with(prefix)) continue;
            model = type;
            line = "SimConnect: User aircraft model deduced from title: " + model;
            const double titleSpan = gf_wingspanOf(model);
            span = titleSpan != 0.0 ? titleSpan : largest;
            known = titleSpan != 0.0;
            break;
        }
    }
    lf_write(userHalfSpanNm, std::optional<double>(span));
    if (known) {
        lf_setWingSpanKnown(true);
        line += fmt::format(", half wing span: {:.1F} meter", span * metresPerNm);
    } else {
        lf_setWingSpanKnown(false);
        gf_showMessage("User aircraft wing span unknown, max is taken instead, please report in my Forum!",
                       true);
    }
    const SizeCategory category = gf_sizeCategoryOf(model);
    lf_write(userSizeCategory, category);
    line += fmt::format(", category: {}", gf_sizeCategoryName(category));
    gf_logContinuation(line);
}

std::int64_t lf_unixSeconds(std::int64_t year, std::int64_t dayOfYear, std::int64_t secondsOfDay) {
    const std::int64_t y = year - 1;
    const std::int64_t days = dayOfYear + 365 * y + y / 4 - y / 100 + y / 400 - 719163;
    return days * 86400 + secondsOfDay;
}

} // namespace

bool gf_positionKnown(double latitude, double longitude) {
    return std::fabs(latitude) > 0.0001 || std::fabs(longitude) > 0.0001;
}

bool lf_userPositionKnown() {
    return gf_positionKnown(userState.latitude, userState.longitude);
}

UserState gf_userState() {
    std::lock_guard lock(simCommandMutex);
    return userState;
}

UserState gf_userStateCopy() {
    std::lock_guard lock(simCommandMutex);
    return userStateCopy;
}

UserState gf_requestUserState() {
    std::lock_guard lock(simCommandMutex);
    HSIMCONNECT handle = hSimConnect;
    if (!simLinkSuspended && handle != nullptr &&
        SimConnect_Failed(SimConnect_RequestDataOnSimObject(
            handle, reqUserState, defUserState, SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_ONCE))) {
        gf_logError("SimConnect request user ac position fails");
        gf_simConnectRequestError();
    }
    userStateCopy = userState;
    return userStateCopy;
}

void gf_requestUserAcTitleAndModel() {
    std::lock_guard lock(simCommandMutex);
    HSIMCONNECT handle = hSimConnect;
    if (handle == nullptr) return;
    if (SimConnect_Failed(SimConnect_RequestDataOnSimObject(
            handle, reqUserTitle, defUserTitle, SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_ONCE))) {
        gf_logError("SimConnect request user ac title fails");
        gf_simConnectRequestError();
    }
    if (SimConnect_Failed(SimConnect_RequestDataOnSimObject(
            handle, reqUserAtcModel, defUserAtcModel, SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_ONCE))) {
        gf_logError("SimConnect reques user ac model fails");
        gf_simConnectRequestError();
    }
}

bool gf_requestUserOnGround() {
    std::lock_guard lock(simCommandMutex);
    HSIMCONNECT handle = hSimConnect;
    if (handle != nullptr &&
        SimConnect_Succeeded(SimConnect_RequestDataOnSimObject(
            handle, reqUserOnGround, defUserOnGround, SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_SECOND)))
        return true;
    gf_logError("SimConnect request ac gnd/air fails");
    gf_simConnectRequestError();
    return false;
}

std::string gf_userAcTitle() {
    return lf_read(userAcTitle);
}

std::string gf_userStandName() {
    return lf_read(userStandName);
}

std::optional<double> gf_userHalfSpanNm() {
    return lf_read(userHalfSpanNm);
}

SizeCategory gf_userSizeCategory() {
    return lf_read(userSizeCategory);
}

void lf_onUserOnGround(const SIMCONNECT_RECV_SIMOBJECT_DATA& reply) {
    if (lf_userPositionKnown() && reply.dataSize >= sizeof(std::int64_t)) {
        std::int64_t value = 0;
        std::memcpy(&value, reply.data(), sizeof value);
        userOnGround = value != 0;
        userOnGroundKnown = true;
    }
    simTickFlag.exchange(true);
    if (const auto& tick = gf_simLinkHooks().secondTick) tick();
}

void lf_onUserState(const SIMCONNECT_RECV_SIMOBJECT_DATA& reply) {
    if (reply.dataSize < sizeof(UserState)) return;
    UserState state;
    std::memcpy(&state, reply.data(), sizeof state);
    if (state.altitude < 0) state.altitude = 0;
    {
        std::lock_guard lock(simCommandMutex);
        userState = state;
    }
    const Lalo position{state.latitude, state.longitude};
    if (gf_positionKnown(userPrevPosition.lat, userPrevPosition.lon) &&
        gf_positionKnown(position.lat, position.lon) &&
        gf_distanceNm(userPrevPosition, position) > teleportDistanceNm) {
        gf_log("Teleport");
        gf_requestStop(StopReason::NewFlight, 45);
    }
    userPrevPosition = position;

    const auto& nearest = gf_simLinkHooks().nearestStandName;
    std::string name = nearest ? nearest(position) : std::string();
    const std::string previous = lf_read(userStandName);
    if (!name.empty() && name != previous) {
        simLinkStatus.setUserStandText(name);
        lf_repaintStatus();
    } else if (name.empty() && !previous.empty()) {
        simLinkStatus.setUserStandText("");
        lf_repaintStatus();
    }
    lf_write(userStandName, std::move(name));

    const auto& professional = gf_coreHooks().professionalPeer;
    if (professional && professional())
        simTimeUnix.exchange(lf_unixSeconds(state.zuluYear, state.zuluDayOfYear, state.zuluTime));
    userObjectId = reply.objectId;
}

void lf_onUserAcTitle(const SIMCONNECT_RECV_SIMOBJECT_DATA& reply) {
    std::string title = lf_text(reply, reply.dataSize);
    if (title.empty()) {
        gf_log("! Title of your aircraft is empty?");
        return;
    }
    if (title.size() > maxTitleLength) lf_cutUtf8(title, maxTitleLength);
    if (title == lf_read(userAcTitle)) return;
    simLinkStatus.setUserAircraftText(title);
    lf_repaintStatus();
    lf_write(userAcTitle, title);
    gf_logContinuation("SimConnect: User aircraft title: " + title);
}

void lf_onUserAcModel(const SIMCONNECT_RECV_SIMOBJECT_DATA& reply) {
    try {
        lf_identifyModel(lf_text(reply, 32));
    } catch (const orv::UserErrorException&) {
        throw;
    } catch (...) {
        throw orv::UserErrorException(73, "It looks like you have not selected an aircraft as user vehicle");
    }
}

void gf_rememberUserStand() {
    if (!userOnGroundKnown || gf_userStateCopy().groundVelocity > standStillKnots) return;
    const auto& hooks = gf_simLinkHooks();
    if (!hooks.nearestStandName) return;
    const UserState state = gf_userState();
    const std::string name = hooks.nearestStandName(Lalo{state.latitude, state.longitude});
    if (!name.empty() && hooks.keepUserStand) hooks.keepUserStand(name);
}

void lf_resetUserAircraft() {
    {
        std::lock_guard lock(simCommandMutex);
        userState = UserState{};
        userStateCopy = UserState{};
    }
    userPrevPosition = Lalo{};
    userObjectId = userObjectIdAtStart;
    userOnGround = false;
    userOnGroundKnown = false;
    std::lock_guard lock(userInfoMutex);
    userAcTitle.clear();
    userStandName.clear();
    userHalfSpanNm.reset();
    userSizeCategory = SizeCategory::Light;
}
