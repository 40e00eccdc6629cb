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
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
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

// The table of a stepping pass (LiveStepScope): one row for each live record, by its place in the list.
struct LiveRow {
    double nm = 0;        // distance from the user, when active
    bool active = false;  // state active
    bool ghostCs = false; // the callsign ends with "_" and the record is not being removed
};

struct StepTable {
    int openScopes = 0;
    bool built = false;
    const LiveAc* data = nullptr;
    std::size_t size = 0;
    std::uint64_t userLat = 0;
    std::uint64_t userLon = 0;
    std::vector<LiveRow> rows;
    // The largest distance of the active rows under each node of a binary tree over the places: leaf
    // `leaves + place`, node n over nodes 2n and 2n+1. Not active (or no number): minus infinity.
    std::vector<double> farthest;
    std::size_t leaves = 1;
    std::size_t active = 0;
    std::vector<std::size_t> ghostPlaces; // the places of the rows with ghostCs, in order
    std::vector<std::size_t> stalePlaces;
    std::vector<std::uint32_t> staleHexids;
};

StepTable stepTable;
constexpr double noDistance = -std::numeric_limits<double>::infinity();
constexpr std::size_t none = std::numeric_limits<std::size_t>::max();

Lalo lf_userAt() {
    return Lalo{engineLists.engineUserState.latitude, engineLists.engineUserState.longitude};
}

void lf_setRow(std::size_t place, const LiveAc& ac, const Lalo& user) {
    LiveRow& row = stepTable.rows[place];
    stepTable.active -= row.active ? 1 : 0;
    const bool wasGhostCs = row.ghostCs;
    row.active = ac.simState == SimState::active;
    row.ghostCs = !ac.cs.empty() && ac.cs.back() == '_' && ac.simState != SimState::removingfromsim;
    row.nm = row.active ? gf_distanceNm(user, Lalo{ac.pos.latitude, ac.pos.longitude}) : 0.0;
    stepTable.active += row.active ? 1 : 0;
    if (row.ghostCs != wasGhostCs) {
        auto& places = stepTable.ghostPlaces;
        const auto at = std::lower_bound(places.begin(), places.end(), place);
        if (row.ghostCs)
            places.insert(at, place);
        else
            places.erase(at);
    }
    auto& tree = stepTable.farthest;
    std::size_t node = stepTable.leaves + place;
    tree[node] = row.active && !std::isnan(row.nm) ? row.nm : noDistance;
    for (node /= 2; node >= 1; node /= 2)
        tree[node] = std::max(tree[2 * node], tree[2 * node + 1]);
}

// The first active place at or after `from` whose distance is above `above`; `none` when there is none.
std::size_t lf_firstFartherThan(std::size_t from, double above, std::size_t node, std::size_t lo,
                                std::size_t hi) {
    const auto& tree = stepTable.farthest;
    if (hi <= from || !(tree[node] > above)) return none;
    if (hi - lo == 1) return lo;
    const std::size_t mid = lo + (hi - lo) / 2;
    const std::size_t left = lf_firstFartherThan(from, above, 2 * node, lo, mid);
    return left != none ? left : lf_firstFartherThan(from, above, 2 * node + 1, mid, hi);
}

// The table, up to date; nullptr outside a stepping pass.
const StepTable* lf_stepTable() {
    StepTable& t = stepTable;
    if (t.openScopes == 0) return nullptr;
    const auto& list = engineLists.liveAcs;
    const Lalo user = lf_userAt();
    const auto userLat = std::bit_cast<std::uint64_t>(user.lat);
    const auto userLon = std::bit_cast<std::uint64_t>(user.lon);
    if (!t.built || t.data != list.data() || t.size != list.size() || t.userLat != userLat ||
        t.userLon != userLon) {
        t.built = true;
        t.data = list.data();
        t.size = list.size();
        t.userLat = userLat;
        t.userLon = userLon;
        t.rows.assign(list.size(), LiveRow{});
        t.leaves = std::bit_ceil(std::max<std::size_t>(list.size(), 1));
        t.farthest.assign(2 * t.leaves, noDistance);
        t.active = 0;
        t.ghostPlaces.clear();
        for (std::size_t place = 0; place < list.size(); ++place)
            lf_setRow(place, list[place], user);
    } else {
        for (const std::size_t place : t.stalePlaces)
            if (place < list.size()) lf_setRow(place, list[place], user);
        for (const std::uint32_t hexid : t.staleHexids)
            if (const LiveAc* ac = gf_findLiveByHexid(hexid))
                lf_setRow(static_cast<std::size_t>(ac - list.data()), *ac, user);
    }
    t.stalePlaces.clear();
    t.staleHexids.clear();
    return &t;
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
    if (stepTable.openScopes != 0 && gf_isLiveHexid(ac.hexid)) stepTable.staleHexids.push_back(ac.hexid);
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
    double limit = distanceNm;
    LiveAc* candidate = nullptr;
    auto& list = engineLists.liveAcs;
    if (const StepTable* table = lf_stepTable()) {
        // The same walk in list order, skipping at once every stretch with nothing beyond the limit.
        for (std::size_t place = lf_firstFartherThan(0, limit + 0.1, 1, 0, table->leaves); place != none;
             place = lf_firstFartherThan(place + 1, limit + 0.1, 1, 0, table->leaves)) {
            candidate = &list[place];
            limit = table->rows[place].nm;
        }
    } else {
        const Lalo user = lf_userAt();
        for (std::size_t place = 0; place < list.size(); ++place) {
            LiveAc& ac = list[place];
            if (ac.simState != SimState::active) continue;
            const double d = lf_distanceFromUserNm(place, ac, user);
            if (d > limit + 0.1) {
                candidate = &ac;
                limit = d;
            }
        }
    }
    if (!candidate) return true;
    removeAircraftFromSim(*candidate);
    return false;
}

std::size_t gf_activeLiveCount() {
    if (const StepTable* table = lf_stepTable()) return table->active;
    return static_cast<std::size_t>(
        std::count_if(engineLists.liveAcs.begin(), engineLists.liveAcs.end(),
                      [](const LiveAc& ac) { return ac.simState == SimState::active; }));
}

const std::vector<std::size_t>* gf_ghostPlaces() {
    const StepTable* table = lf_stepTable();
    return table != nullptr ? &table->ghostPlaces : nullptr;
}

LiveStepScope::LiveStepScope() {
    ++stepTable.openScopes;
}

LiveStepScope::~LiveStepScope() {
    if (--stepTable.openScopes != 0) return;
    stepTable.built = false;
    stepTable.stalePlaces.clear();
    stepTable.staleHexids.clear();
}

void gf_noteLiveAcStepped(const LiveAc& ac) {
    if (stepTable.openScopes == 0 || !stepTable.built) return;
    const auto& list = engineLists.liveAcs;
    if (list.empty() || std::less<const LiveAc*>()(&ac, list.data()) ||
        !std::less<const LiveAc*>()(&ac, list.data() + list.size()))
        return;
    stepTable.stalePlaces.push_back(static_cast<std::size_t>(&ac - list.data()));
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
