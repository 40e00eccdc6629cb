#include "engine/stands/stand_clearing.h"

#include "core/geodesy.h"
#include "core/log.h"
#include "engine/base/ac_commands.h"
#include "engine/base/ac_removal.h"
#include "engine/base/engine_tables.h"
#include "engine/base/stands.h"
#include "refdata/type_lookups.h"

#include <fmt/format.h>

#include <algorithm>

namespace {

bool lf_hasPosition(const ParkPos& stand) {
    return !(stand.lat == 0 && stand.lon == 0);
}

// Both wings would touch: 1.1 x (the two half sizes) reaches the distance between the stands.
bool lf_tooClose(const ParkPos& a, const ParkPos& b, double halfSizeA, double halfSizeB) {
    return 1.1 * (halfSizeA + halfSizeB) >= gf_distanceNm(Lalo{a.lat, a.lon}, Lalo{b.lat, b.lon});
}

LiveAc* lf_firstLiveAt(std::uint32_t sid) {
    const auto it = std::find_if(engineLists.liveAcs.begin(), engineLists.liveAcs.end(),
                                 [sid](const LiveAc& ac) { return ac.sid == sid; });
    return it != engineLists.liveAcs.end() ? &*it : nullptr;
}

// The live aircraft that holds the stand: the holder of its occupied mark, else the first live aircraft
// with the stand's number.
LiveAc* lf_holderOf(std::uint32_t sid) {
    if (const std::uint32_t hexid = gf_standHolder(sid))
        if (LiveAc* ac = gf_findLiveByHexid(hexid); ac != nullptr && ac->sid == sid) return ac;
    return lf_firstLiveAt(sid);
}

std::string_view lf_withoutLast(std::string_view text) {
    return text.empty() ? text : text.substr(0, text.size() - 1);
}

// The newcomer continues the holder's flight: the same callsign, or the holder is its ghost.
bool lf_continuesHolder(std::string_view held, std::string_view newCs) {
    if (held == newCs) return true;
    return (!held.empty() && newCs == lf_withoutLast(held)) || (held.ends_with('_') && !newCs.ends_with('_'));
}

bool lf_holdsStandFirmly(const LiveAc& x) {
    return x.simState == SimState::active &&
           (x.phase == AcPhase::parked || x.phase == AcPhase::pushing_back ||
            x.phase == AcPhase::pushed_back);
}

void lf_compactStatics() {
    const std::size_t before = engineLists.staticAcs.size();
    std::erase_if(engineLists.staticAcs, [](const StaticAc& ac) { return ac.eraseNow || ac.eraseDropped; });
    if (engineLists.staticAcs.size() != before) gf_reindexAircraft();
}

} // namespace

bool gf_occupiedStandOpenTo(const ParkPos& stand, const AcData& newcomer) {
    const std::uint32_t holderHexid = gf_standHolder(stand.sid);
    if (holderHexid == 0) return false; // marked without a known holder: kept
    if (holderHexid == newcomer.hexid) return true;
    const LiveAc* x = gf_findLiveByHexid(holderHexid);
    // A mark whose holder has gone or stands elsewhere keeps nobody off.
    if (x == nullptr || x->sid != stand.sid) return true;
    return lf_holdsStandFirmly(*x) && lf_continuesHolder(x->cs, newcomer.cs);
}

void gf_clearStandHolder(const ParkPos& stand, const FlightIdent& newcomer) {
    LiveAc* holder = lf_holderOf(stand.sid);
    if (holder == nullptr || holder->phase != AcPhase::parked || holder->simState != SimState::active) return;
    gf_log(fmt::format("{:8}: {:8} removed, {} wants to park there", stand.id, holder->cs, newcomer.cs));
    removeAircraftFromSim(*holder);
}

void gf_clearAdjacentLive(const ParkPos& stand, const ParkPos& neighbour, const AcData& newcomer) {
    LiveAc* ac = lf_firstLiveAt(neighbour.sid);
    if (ac == nullptr || ac->simState != SimState::active || !lf_hasPosition(neighbour)) return;
    if (ac->phase != AcPhase::parked && ac->phase != AcPhase::pushing_back) return;
    if (!lf_tooClose(stand, neighbour, ac->halfSize, newcomer.halfSize)) return;
    gf_log(fmt::format("{:8}: {:8} removed by parking {} at adjacent and possibly colliding stand {}",
                       neighbour.id, ac->cs, newcomer.cs, stand.id));
    removeAircraftFromSim(*ac);
}

void gf_clearStaticsForStand(const ParkPos& stand, const AcData& newcomer) {
    const auto here = gf_staticsAtStand(stand.sid);
    if (!here.empty()) {
        StaticAc& ac = engineLists.staticAcs[here.front()];
        const bool same =
            (!ac.cs.empty() && ac.cs == newcomer.cs) || (!ac.reg.empty() && ac.reg == newcomer.reg);
        const std::string_view sameText = same ? " the same live version" : "";
        if (ac.simState == SimState::active) {
            gf_log(fmt::format("{:8}: {:8} {} makes way for{} {} {}", stand.id, ac.cs, ac.reg, sameText,
                               newcomer.cs, newcomer.reg));
            removeAircraftFromSim(ac);
        } else if (ac.simState == SimState::adding2sim) {
            if (gf_dropQueuedCreate(engineLists.staticCreateQueue, ac.hexid)) {
                ac.eraseDropped = true;
                gf_log(fmt::format("queued {:8}: {:8} {} makes way for{} {} {}", stand.id, ac.cs, ac.reg,
                                   sameText, newcomer.cs, newcomer.reg));
            } else {
                ac.removePending = true;
            }
        }
    }
    lf_compactStatics();
    for (const std::uint32_t id : stand.adjacent) {
        const ParkPos* neighbour = gf_findStand(id);
        if (neighbour == nullptr) continue;
        for (const std::size_t position : gf_staticsAtStand(id)) {
            StaticAc& ac = engineLists.staticAcs[position];
            if (ac.simState != SimState::active) continue;
            if (!lf_tooClose(stand, *neighbour, ac.halfSize, newcomer.halfSize)) continue;
            gf_log(fmt::format("{:8}: {:8} makes way for {} parking at excluded stand {}", neighbour->id,
                               ac.cs, newcomer.cs, stand.id));
            removeAircraftFromSim(ac);
            break;
        }
    }
}

bool gf_standConflictAllows(std::uint32_t sid, std::string_view newCs) {
    LiveAc* x = lf_holderOf(sid);
    if (x == nullptr || !lf_holdsStandFirmly(*x)) return true;
    const std::string name = gf_standNameOf(sid);
    const std::string_view held = x->cs;
    if (held == newCs) {
        gf_log(fmt::format("{:8}: {:8} ac with same callsign {} wants it, remove existing ... ", name, held,
                           newCs));
        removeAircraftFromSim(*x);
        return true;
    }
    if (!newCs.empty() && lf_withoutLast(newCs) == held) return false;
    const bool heldGhost = held.ends_with('_');
    const bool newGhost = newCs.ends_with('_');
    if (lf_continuesHolder(held, newCs)) {
        gf_log(fmt::format("{:8}: {:8} ghost, replace by {}", name, held, newCs));
        removeAircraftFromSim(*x);
        return true;
    }
    // The feed still reports the holder at its stand: it stays.
    if ((newGhost && !heldGhost) || x->standWatch.seenAtStand) return false;
    gf_log(fmt::format("{:8}: {:8} removed because another live {} wants the stand ...", name, held, newCs));
    removeAircraftFromSim(*x);
    return true;
}
