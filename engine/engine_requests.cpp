#include "engine/engine_requests.h"

#include "core/hooks.h"
#include "core/settings.h"
#include "engine/base/ac_removal.h"
#include "engine/base/callsign_choice.h"
#include "engine/base/engine_status.h"
#include "engine/base/engine_tables.h"
#include "engine/stands/conflicts.h"
#include "engine/static/park_airports.h"
#include "engine/static/static_driver.h"
#include "engine/static/static_parking_state.h"

EngineRequests engineRequests;

void EngineRequests::requestLiveTrim(std::int32_t maxLive) {
    trimTo_ = maxLive < 0 ? 0 : maxLive;
}

void EngineRequests::requestParkedNavLights(bool on) {
    navLights_ = on ? 1 : 0;
}

void EngineRequests::requestDestination(const std::string& icao, const Lalo& position) {
    std::lock_guard lock(destinationMutex_);
    destination_.emplace(icao, position);
}

void EngineRequests::requestRenewalCountdown(std::int32_t minutes) {
    countdown_ = minutes;
}

std::optional<std::int32_t> EngineRequests::takeRenewalCountdown() {
    const std::int32_t minutes = countdown_.exchange(noCountdown);
    if (minutes == noCountdown) return std::nullopt;
    return minutes;
}

std::optional<std::int32_t> EngineRequests::takeLiveTrim() {
    const std::int32_t limit = trimTo_.exchange(none);
    if (limit == none) return std::nullopt;
    return limit;
}

std::optional<bool> EngineRequests::takeParkedNavLights() {
    const std::int32_t on = navLights_.exchange(none);
    if (on == none) return std::nullopt;
    return on == 1;
}

std::optional<std::pair<std::string, Lalo>> EngineRequests::takeDestination() {
    std::optional<std::pair<std::string, Lalo>> request;
    std::lock_guard lock(destinationMutex_);
    request.swap(destination_);
    return request;
}

void EngineRequests::clear() {
    for (auto* flag : {&flushStaticRequested, &rereadParkAirportsRequested, &callsignListRequested,
                       &staticParkingNowRequested, &staticParkingBusyRequested, &blockListChanged,
                       &callsignChoiceChanged, &matchingDepthRaised})
        flag->store(false);
    trimTo_ = none;
    countdown_ = noCountdown;
    navLights_ = none;
    std::lock_guard lock(destinationMutex_);
    destination_.reset();
}

namespace {

void lf_trimLive(std::int32_t limit) {
    std::int64_t active = 0;
    for (const LiveAc& ac : engineLists.liveAcs)
        if (ac.simState == SimState::active) ++active;
    for (; active > limit; --active)
        if (gf_removeFarthestLiveAc(-1.0)) break;
}

void lf_setParkedNavLights(bool on) {
    const std::uint32_t value = on ? 1u : 0u;
    for (const StaticAc& ac : engineLists.staticAcs)
        if (ac.simState == SimState::active && ac.oid != 0) gf_setNavLights(ac.oid, value);
    for (const LiveAc& ac : engineLists.liveAcs)
        if (ac.simState == SimState::active && ac.phase == AcPhase::parked && ac.oid != 0)
            gf_setNavLights(ac.oid, value);
}

void lf_flushStatic() {
    gf_removeAllStatic();
    if (!INITIAL_LOAD_ONLY.value.load()) {
        INITIAL_LOAD_ONLY.value = true; // for this run only: not saved
        if (GuiControl* control = INITIAL_LOAD_ONLY.control()) control->setChecked(true);
    }
}

void lf_fillCallsignList() {
    engineStatus.setCallsignChoiceText({});
    if (const auto& repaint = gf_engineHooks().repaintControls) repaint();
    gf_fillCallsignChoice();
    // The list's first entry is tracked at the next serving.
    engineRequests.callsignChoiceChanged = true;
}

} // namespace

void gf_serveEngineRequests() {
    EngineRequests& r = engineRequests;
    if (r.callsignChoiceChanged.exchange(false)) gf_trackChosenCallsign();
    if (r.flushStaticRequested.exchange(false)) lf_flushStatic();
    if (r.callsignListRequested.exchange(false)) lf_fillCallsignList();
    if (r.blockListChanged.exchange(false)) gf_removeBlockedCallsign();
    if (const auto destination = r.takeDestination())
        gf_setDestinationParkAirport(destination->first, destination->second);
    if (const auto limit = r.takeLiveTrim()) lf_trimLive(*limit);
    if (const auto on = r.takeParkedNavLights()) lf_setParkedNavLights(*on);
    if (r.staticParkingBusyRequested.exchange(false)) staticParkingState.busy = true;
    if (const auto minutes = r.takeRenewalCountdown()) gf_setStaticRenewalCountdown(*minutes);
}

void gf_serveRereadRequest() {
    if (!engineRequests.rereadParkAirportsRequested.load() || staticParkingState.busy.load()) return;
    std::string text;
    if (gf_checkParkAirports(true, text)) gf_showMessage(text, true);
    REREAD_BUTTON.enable(true);
    DESTINATION.enable(true);
    engineRequests.rereadParkAirportsRequested = false;
}
