#include "engine/base/ac_removal.h"

#include "core/geodesy.h"
#include "core/log.h"
#include "core/settings.h"
#include "engine/base/ac_commands.h"
#include "engine/base/callsign_choice.h"
#include "engine/base/engine_status.h"
#include "engine/base/engine_tables.h"
#include "engine/base/stands.h"

#include <fmt/format.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <vector>

namespace {

// The distance from the user of each live record, by its place in the list, with the positions of the
// record and of the user it was computed for. It is taken again only when both are the same to the bit,
// so it is always exactly what a new computation would give; each record's distance is computed once
// for each change of its or the user's position, not once for each newcomer checked against the limit.
struct LiveDistance {
    std::uint64_t lat = 0;
    std::uint64_t lon = 0;
    std::uint64_t userLat = 0;
    std::uint64_t userLon = 0;
    double nm = 0;
    bool known = false;
};

std::vector<LiveDistance> liveDistances;

double lf_distanceFromUserNm(std::size_t place, const LiveAc& ac, const Lalo& user) {
    if (liveDistances.size() <= place) liveDistances.resize(engineLists.liveAcs.size());
    LiveDistance& cached = liveDistances[place];
    const auto lat = std::bit_cast<std::uint64_t>(ac.pos.latitude);
    const auto lon = std::bit_cast<std::uint64_t>(ac.pos.longitude);
    const auto userLat = std::bit_cast<std::uint64_t>(user.lat);
    const auto userLon = std::bit_cast<std::uint64_t>(user.lon);
    if (!cached.known || cached.lat != lat || cached.lon != lon || cached.userLat != userLat ||
        cached.userLon != userLon) {
        cached = LiveDistance{
            lat, lon, userLat, userLon, gf_distanceNm(user, Lalo{ac.pos.latitude, ac.pos.longitude}), true};
    }
    return cached.nm;
}

// Withdraws the creation of a record in state adding2sim that has not reached the simulator link.
bool lf_withdrawCreation(const StaticAc& ac) {
    if (gf_isLiveHexid(ac.hexid)) {
        if (std::erase(engineLists.pendingSpawns, ac.hexid) != 0) return true;
        if (gf_dropQueuedCreate(engineLists.liveCreateQueue, ac.hexid)) return true;
    }
    return gf_dropQueuedCreate(engineLists.staticCreateQueue, ac.hexid);
}

} // namespace

void removeAircraftFromSim(StaticAc& ac) {
    if (ac.simState == SimState::buffer) {
        ac.eraseNow = true;
        return;
    }
    if (ac.removePending) return;
    if (ac.simState == SimState::adding2sim) {
        if (lf_withdrawCreation(ac))
            ac.eraseDropped = true;
        else
            ac.removePending = true;
        return;
    }
    const bool live = gf_isLiveHexid(ac.hexid);
    if (live && ac.sid != 0) gf_releaseStand(ac.sid, ac.hexid);
    if (ac.oid == 0) {
        // No object to remove, so no removal notice will ever come: the record goes at once.
        gf_logError(
            fmt::format("{} removing act {}, with objectid=0 ?", "removeAircraftFromSim", gf_acLogText(ac)));
        ac.eraseNow = true;
        return;
    }
    ac.simState = SimState::removingfromsim;
    if (live && ac.oid == engineLists.selectedObjectId.load()) {
        engineLists.selectedObjectId = 0;
        gf_resetCallsignChoice();
    }
    engineLists.removalQueue.push_back(ac.oid);
}

bool gf_removeFarthestLiveAc(double distanceNm) {
    const Lalo user{engineLists.engineUserState.latitude, engineLists.engineUserState.longitude};
    double limit = distanceNm;
    LiveAc* candidate = nullptr;
    auto& list = engineLists.liveAcs;
    for (std::size_t place = 0; place < list.size(); ++place) {
        LiveAc& ac = list[place];
        if (ac.simState != SimState::active) continue;
        const double d = lf_distanceFromUserNm(place, ac, user);
        if (d > limit + 0.1) {
            candidate = &ac;
            limit = d;
        }
    }
    if (!candidate) return true;
    removeAircraftFromSim(*candidate);
    return false;
}

void gf_removeBlockedCallsign() {
    const std::string blocked = BLOCK_CALLSIGN.value();
    if (blocked.empty()) return;
    for (LiveAc& ac : engineLists.liveAcs)
        if (ac.simState == SimState::active && ac.cs == blocked) {
            removeAircraftFromSim(ac);
            return;
        }
}
