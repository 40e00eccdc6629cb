#include "engine/live/parking.h"

#include "core/geodesy.h"
#include "core/log.h"
#include "core/units.h"
#include "engine/base/ac_removal.h"
#include "engine/base/engine_clock.h"
#include "engine/base/engine_tables.h"
#include "engine/base/stands.h"
#include "engine/live/ground_movement.h"
#include "engine/live/movement_legs.h"
#include "engine/stands/conflicts.h"
#include "engine/stands/stand_clearing.h"
#include "engine/stands/stand_options.h"
#include "engine/stands/stand_search.h"
#include "feed/feed_state.h"
#include "refdata/park_airport.h"
#include "simlink/sim_link.h"

#include <fmt/format.h>

#include <cmath>

namespace {

constexpr double landedReachNm = 0.029697624190064796;   // 55 m
constexpr double haltedReachNm = 0.010799136069114472;   // 20 m
constexpr double settlingReachNm = 0.018898488120950324; // 35 m
constexpr double settlingSpeedKn = 5.0;
constexpr double parkAirportReachNm = 5.0;
constexpr double atStandNm = 0.0458963282937365;       // 85 m
constexpr double farFromStandNm = 0.10799136069114472; // 200 m
constexpr double moveStepNm = 0.0016198704103671706;   // 3 m
constexpr double samePlaceDeg = 1e-8;
constexpr std::uint32_t movesToLeave = 3;
constexpr std::int32_t leaveBoundPasses = 3000;
constexpr std::int32_t leaveTakeoffLeadPasses = 5000;
// The parking trigger: a slow sample 1 close to the last sample.
constexpr double haltSpeedKt = 5.0;
constexpr double haltNearNm = 0.018898488120950324; // 35 m

std::int64_t lf_now() {
    return enginePassCount.load();
}

// The stand's name is the reserved stand or the stand at the user aircraft.
bool lf_refused(const ParkPos& stand) {
    if (!parkAirport.reservedStandName.empty() && stand.id == parkAirport.reservedStandName) return true;
    const UserState& user = engineLists.engineUserState;
    const std::string userStand = gf_nearestStandName(Lalo{user.latitude, user.longitude});
    return !userStand.empty() && stand.id == userStand;
}

// The aircraft takes the stand's place; what it saw of an earlier stand is forgotten.
void lf_takeStand(LiveAc& ac, const ParkPos& stand) {
    ac.standLat = stand.lat;
    ac.standLon = stand.lon;
    ac.standHdg = stand.heading;
    ac.sid = stand.sid;
    ac.standFlag = stand.cargo;
    const StandWatch kept = ac.standWatch;
    ac.standWatch = StandWatch{};
    ac.standWatch.lastTryLat = kept.lastTryLat;
    ac.standWatch.lastTryLon = kept.lastTryLon;
}

// Passes since the last real sample before the towed limit, by category; 0: never towed.
std::int64_t lf_towedWithinPasses(SizeCategory category) {
    return gf_categoryProfile(category).towingPasses;
}

// The aircraft leaves its stand with the new sample: the push-back (or pulling out) follows at the
// next leg.
void lf_leaveStand(LiveAc& ac, PosSample& sample) {
    sample.standing = false;
    MoveState& m = ac.move;
    m.pushbackPending = true;
    if (ac.prevPhase == AcPhase::parked) return;
    const bool parked = ac.phase == AcPhase::parked;
    if (m.extrapolationCount != 0) {
        if (parked && m.landed) {
            // The dead-reckoned sample 0 is due one week after the last real one.
            if (!ac.samples.empty()) {
                const std::int64_t sinceReal = lf_now() - (ac.samples.front().duePass - parkedLegPasses);
                if (sinceReal < lf_towedWithinPasses(ac.sizeCat)) m.towed = true;
            }
            m.landed = false;
        }
        if (parked && !ac.samples.empty()) ac.samples.front().duePass = lf_now() + 1;
        m.extrapolationCount = 0;
        m.lagBound = leaveBoundPasses;
        m.leadBound = m.takeoffRun ? leaveTakeoffLeadPasses : leaveBoundPasses;
    }
    lf_addRealStandOption(ac.sid, ac, 2);
    gf_releaseStand(ac.sid, ac.hexid);
    ac.prevPhase = ac.phase;
    ac.phase = AcPhase::parked;
}

} // namespace

void try2Park(LiveAc& ac, bool landed) {
    if (ac.samples.empty()) {
        gf_logError(fmt::format("{} empty sz?", "try2Park"));
        return;
    }
    const PosSample& last = ac.samples.back();
    StandWatch& watch = ac.standWatch;
    if (std::fabs(last.lat - watch.lastTryLat) < samePlaceDeg &&
        std::fabs(last.lon - watch.lastTryLon) < samePlaceDeg)
        return;
    watch.lastTryLat = last.lat;
    watch.lastTryLon = last.lon;
    ParkPos* stand =
        gf_findStandForAircraft(Lalo{last.lat, last.lon}, ac, landed ? landedReachNm : haltedReachNm, landed);
    if (stand == nullptr || lf_refused(*stand)) return;
    gf_clearStandHolder(*stand, ac);
    for (const std::uint32_t id : stand->adjacent)
        if (const ParkPos* neighbour = gf_findStand(id)) gf_clearAdjacentLive(*stand, *neighbour, ac);
    gf_clearStaticsForStand(*stand, ac);
    lf_takeStand(ac, *stand);
    ac.samples.erase(ac.samples.begin() + 1, ac.samples.end());
    ac.setPhase(AcPhase::parking);
    drive2Stand(ac, StandPlace{stand->lat, stand->lon, stand->heading});
}

void gf_parkingTrigger(LiveAc& ac) {
    const auto& q = ac.samples;
    if (q.size() < 2 || !q.back().standing || ac.phase != AcPhase::taxi || parkPositions.empty()) return;
    const MoveState& m = ac.move;
    if (!m.towed && (ac.prevPhase == AcPhase::parked || ac.prevPhase == AcPhase::pushing_back ||
                     ac.prevPhase == AcPhase::pushed_back))
        return;
    if (m.extrapolationCount < 1) {
        if (q[1].gs <= haltSpeedKt && gf_distanceNm(Lalo{ac.pos.latitude, ac.pos.longitude},
                                                    Lalo{q.back().lat, q.back().lon}) <= haltNearNm)
            try2Park(ac, false);
    } else {
        try2Park(ac, m.landed);
    }
}

ParkPos* gf_standAtCreation(LiveAc& ac) {
    auto& q = ac.samples;
    if (q.empty() || parkPositions.empty() || parkAirportCode.empty()) return nullptr;
    const Lalo airport{currentParkAirport.lat, currentParkAirport.lon};
    if (gf_distanceNm(Lalo{q.front().lat, q.front().lon}, airport) > parkAirportReachNm) return nullptr;
    Lalo at{q.front().lat, q.front().lon};
    if (!q.front().standing) {
        // A moving aircraft only when it is settling: slow, and about to stop where its last sample is.
        const Lalo last{q.back().lat, q.back().lon};
        if (q.size() < 2 || q[1].gs > settlingSpeedKn || gf_distanceNm(at, last) > settlingReachNm)
            return nullptr;
        at = last;
    }
    ParkPos* stand = gf_findStandForAircraft(at, ac, landedReachNm, false);
    if (stand == nullptr || lf_refused(*stand)) return nullptr;
    if (!gf_standConflictAllows(stand->sid, ac.cs) ||
        gf_adjacentLiveConflict(stand->adjacent, *stand, ac) != stand->adjacent.end()) {
        ac.eraseNow = true;
        return nullptr;
    }
    gf_clearStaticsForStand(*stand, ac);
    q.front().standing = true;
    q.front().gs = 0;
    return stand;
}

bool gf_checkStandDeparture(LiveAc& ac, PosSample& sample) {
    if (ac.simState != SimState::active && ac.simState != SimState::liveryrespawn &&
        ac.simState != SimState::removingfromsim)
        return false;
    StandWatch& watch = ac.standWatch;
    watch.seenAtStand = true;
    const double d = gf_distanceNm(Lalo{sample.lat, sample.lon}, Lalo{ac.standLat, ac.standLon});
    const double reach = ac.prevPhase == AcPhase::parking ? 2.0 * atStandNm : atStandNm;
    if (d <= reach) {
        ac.parkStartTicks = gf_engineTicks();
        // Reported at its stand before it left: it holds the stand again (its dead-reckoned sample let
        // it go).
        if (ac.phase == AcPhase::parked && ac.prevPhase != AcPhase::parked && !ac.move.pushbackPending)
            if (const ParkPos* stand = gf_findStand(ac.sid); stand != nullptr && !stand->occupied)
                gf_occupyStand(ac.sid, ac.hexid);
        bool left = false;
        if (!watch.distanceKnown) {
            watch.distanceKnown = true;
            watch.startNm = d;
            watch.farthestNm = d;
            watch.movesAway = 0;
        } else if (d - watch.farthestNm >= moveStepNm) {
            watch.farthestNm = d;
            ++watch.movesAway;
            const double away = d - watch.startNm;
            left = (watch.movesAway >= movesToLeave && away >= ac.halfSize / 2.0) || away > ac.halfSize;
        } else if (watch.farthestNm - d >= moveStepNm) {
            watch.movesAway = 0;
        }
        if (left) {
            lf_leaveStand(ac, sample);
            return true;
        }
        ac.move.pushbackPending = false;
        return false;
    }
    if (ac.phase == AcPhase::parking) {
        ac.setPhase(AcPhase::taxi);
        return true;
    }
    if (d > farFromStandNm) {
        lf_addRealStandOption(ac.sid, ac, 3);
        gf_log(fmt::format("{:8}: {:8} far from its stand ({:.0f} m), removed", gf_standNameOf(ac.sid), ac.cs,
                           d * metresPerNm));
        removeAircraftFromSim(ac);
        return false;
    }
    lf_leaveStand(ac, sample);
    return true;
}
