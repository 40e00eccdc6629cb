#include "engine/live/live_update.h"

#include "core/geodesy.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/units.h"
#include "engine/base/ac_removal.h"
#include "engine/base/engine_clock.h"
#include "engine/base/engine_tables.h"
#include "engine/base/stands.h"
#include "engine/live/ground_movement.h"
#include "engine/live/movement.h"
#include "engine/live/no_match.h"
#include "engine/live/parking.h"
#include "engine/stands/parking_limits.h"
#include "engine/stands/stand_options.h"
#include "feed/feed_state.h"
#include "liveries/livery_choice.h"
#include "refdata/type_lookups.h"
#include "simlink/sim_link.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr double userGroundConflictNm = 0.08099352051835854; // 150 m
constexpr double heldNearUserNm = 500.0 / metresPerNm;

std::int64_t lf_now() {
    return enginePassCount.load();
}

bool lf_endsWithUnderscore(const std::string& cs) {
    return !cs.empty() && cs.back() == '_';
}

double lf_wrapDegrees(double degrees) {
    return std::remainder(degrees, 360.0);
}

// Whether the front sample is held back because of the user aircraft.
bool lf_userConflict(LiveAc& ac) {
    const PosSample& f = ac.samples.front();
    const UserState& user = engineLists.engineUserState;
    const Lalo userAt{user.latitude, user.longitude};
    const Lalo at{f.lat, f.lon};
    if (userOnGround.load()) {
        if (ac.heldForUser) {
            if (user.groundVelocity > 8) return true;
            if (!f.airborne && (f.gs > 8 || gf_distanceNm(userAt, at) < heldNearUserNm)) return true;
        }
        return !f.airborne && COLLISION_USER_GND.value.load() &&
               gf_distanceNm(userAt, at) < userGroundConflictNm;
    }
    if (!COLLISION_USER_AIR.value.load()) return false;
    const double d = gf_distanceNm(userAt, at);
    if (f.airborne) {
        if (d <= 6.0 && std::fabs(f.alt - user.altitude) < 3000.0) {
            const double a =
                lf_wrapDegrees((ac.move.targetBearing - gf_bearing(userAt, at)) * degreesPerRadian);
            double x = 0;
            if (a >= 0 && a <= 90)
                x = 90 - a;
            else if (a > 90)
                x = a - 90;
            else if (a >= -90)
                x = a + 90;
            else
                x = -(a + 90);
            if (std::cos(x * pi / 180.0) * d * feetPerNm <= 4000.0) ac.heldForUser = true;
        }
    } else if (d <= 1.5 && user.altAboveGround < 1000.0) {
        const double angle = std::remainder(gf_bearing(userAt, at) - user.heading, 2.0 * pi);
        if (std::sin(std::fabs(angle)) * d * feetPerNm <= 500.0) ac.heldForUser = true;
    }
    return ac.heldForUser;
}

void lf_dropFront(LiveAc& ac) {
    ac.samples.pop_front();
}

// The registration's database record overrides airline, type and cargo flag.
void lf_applyRegistration(LiveAc& ac) {
    if (ac.reg.empty()) return;
    const auto record = gf_findRegRecord(ac.reg);
    if (!record) return;
    ac.airl = record->airl;
    ac.type = record->type;
    if (!record->opr.empty()) ac.airl = record->opr;
    ac.cargo = record->cargo;
    if (!gf_isValidCallsign(ac)) ac.cs = ac.reg;
}

bool lf_chooseLivery(LiveAc& ac) {
    if (!ac.liveryTitle.empty()) return true;
    if (const auto cached = engineLists.liveryCache.find(ac.hexid); cached != engineLists.liveryCache.end()) {
        ac.liveryTitle = cached->second;
        return true;
    }
    const std::string logText = gf_acLogText(ac);
    LiveryAircraft choice;
    choice.airl = ac.airl;
    choice.type = ac.type;
    choice.reg = ac.reg;
    choice.sizeCat = ac.sizeCat;
    choice.cargo = ac.cargo;
    choice.logText = logText;
    gf_matchLiveAcLivery(choice);
    if (choice.liveryTitle.empty()) return false;
    ac.liveryTitle = choice.liveryTitle;
    ac.reverseFlag = choice.reverseFlag;
    engineLists.liveryCache[ac.hexid] = ac.liveryTitle;
    return true;
}

// Counts a failed update; the third in a row removes the aircraft.
void lf_updateFailed(LiveAc& ac) {
    if (++ac.failedUpdates < maxFailedUpdates) return;
    ac.failedUpdates = 0;
    gf_logError(fmt::format("{} {} removed after {} failed updates", "updateLiveAc", gf_acLogText(ac),
                            static_cast<int>(maxFailedUpdates)));
    removeAircraftFromSim(ac);
}

bool lf_finite(const AiPosition& p) {
    return std::isfinite(p.latitude) && std::isfinite(p.longitude) && std::isfinite(p.altitude) &&
           std::isfinite(p.pitch) && std::isfinite(p.bank) && std::isfinite(p.heading) &&
           std::isfinite(p.verticalSpeed) && std::isfinite(p.trueAirspeed);
}

// The active aircraft's step; false when it failed.
bool lf_updateActive(LiveAc& ac) {
    if (ac.samples.empty()) {
        gf_logError(fmt::format(
            "{} stream empty ? {}, hexid:{}, objectid:{}, alt:{:.0f} ft, lalo:{}, TAS:{:.0f}", "updateLiveAc",
            gf_acLogText(ac), ac.hexid, ac.oid, ac.pos.altitude,
            fmt::format("{:.6f},{:.6f}", ac.pos.latitude, ac.pos.longitude), ac.pos.trueAirspeed));
        removeAircraftFromSim(ac);
        return true;
    }
    if (lf_now() >= ac.samples.front().duePass) {
        nextPosMain(ac);
        ac.pos.verticalSpeed = ac.move.shownVs / 60.0;
        const bool standing = !ac.samples.empty() && ac.samples.front().standing;
        ac.pos.trueAirspeed = standing ? 0.0 : ac.move.shownTas;
        if (ac.simState != SimState::active) return true;
    }
    if (!ac.samples.empty() && !ac.samples.front().standing) gf_stepAlongLeg(ac);
    if (ac.oid == 0) {
        gf_logError(fmt::format("{} objectid=0? hexid: {},cs:{}, reg:{}, aimo:{} sz:{}", "updateLiveAc",
                                ac.hexid, ac.cs, ac.reg, gf_airlTypeKey(ac.airl, ac.type),
                                ac.samples.size()));
        removeAircraftFromSim(ac);
        return true;
    }
    if (!lf_finite(ac.pos)) {
        if (ac.failedUpdates == 0)
            gf_logError(fmt::format("{}: position not finite {}, sz:{}, fs:{}, st:{}", "updateLiveAc",
                                    gf_acLogText(ac), ac.samples.size(), gf_acPhaseName(ac.phase),
                                    gf_simStateName(ac.simState)));
        return false;
    }
    positionWriteBuffer.push_back(PositionEntry{ac.pos, ac.oid});
    return true;
}

// The aircraft is created parked at the stand it stands at: only sample 0 is kept, placed on the stand,
// the stand's cargo mark is checked as at an arrival, the stand is marked as held by it and the flight
// learned there.
void lf_createAtStand(LiveAc& ac, const ParkPos& stand) {
    ac.standLat = stand.lat;
    ac.standLon = stand.lon;
    ac.standHdg = stand.heading;
    ac.sid = stand.sid;
    ac.standFlag = stand.cargo;
    ac.setPhase(AcPhase::parked);
    ac.parkStartTicks = gf_engineTicks();
    ac.move.extrapolationCount = 0;
    ac.standWatch = StandWatch{};
    auto& q = ac.samples;
    q.erase(q.begin() + 1, q.end());
    q.front().lat = stand.lat;
    q.front().lon = stand.lon;
    q.front().track = stand.heading * degreesPerRadian;
    if (ParkPos* at = gf_findStand(stand.sid)) gf_cargoCheckAtStand(ac, *at);
    gf_occupyStand(stand.sid, ac.hexid);
    lf_addRealStandOption(stand.sid, ac, 1);
    gf_enforceMaxPark(1);
}

} // namespace

bool updateLiveAc(LiveAc& ac) {
    struct NoteStepped {
        const LiveAc& ac;
        ~NoteStepped() { gf_noteLiveAcStepped(ac); }
    } noteStepped{ac};
    try {
        switch (ac.simState) {
        case SimState::buffer:
            gf_spawnPath(ac);
            break;
        case SimState::active:
            if (lf_updateActive(ac))
                ac.failedUpdates = 0;
            else
                lf_updateFailed(ac);
            break;
        default:
            break;
        }
    } catch (const std::exception& e) {
        if (ac.failedUpdates == 0)
            gf_logError(fmt::format("{}: {} {}, sz:{}, fs:{}, st:{}", "updateLiveAc", e.what(),
                                    gf_acLogText(ac), ac.samples.size(), gf_acPhaseName(ac.phase),
                                    gf_simStateName(ac.simState)));
        try {
            lf_updateFailed(ac);
        } catch (const std::exception& again) {
            gf_logError(fmt::format("{}: {}", "updateLiveAc", again.what()));
            ac.eraseNow = true;
        }
    }
    return ac.eraseNow || ac.eraseDropped;
}

void gf_spawnPath(LiveAc& ac) {
    if (ac.samples.empty()) {
        ac.eraseNow = true;
        return;
    }
    const PosSample& front = ac.samples.front();
    const std::int64_t lead = (!front.airborne && front.gs != 0) ? taxiSpawnLeadPasses : spawnLeadPasses;
    if (lf_now() < front.duePass - lead) return;
    if (ac.samples.size() == 1) {
        ac.eraseNow = true;
        return;
    }
    if (lf_endsWithUnderscore(ac.cs) && std::find(engineLists.ghostList.begin(), engineLists.ghostList.end(),
                                                  ac.cs) != engineLists.ghostList.end()) {
        ac.eraseNow = true;
        return;
    }
    const bool anyAirborne =
        std::any_of(ac.samples.begin(), ac.samples.end(), [](const PosSample& s) { return s.airborne; });
    const bool anyGround =
        std::any_of(ac.samples.begin(), ac.samples.end(), [](const PosSample& s) { return !s.airborne; });
    if (anyAirborne && anyGround) return lf_dropFront(ac);
    if (lf_userConflict(ac)) return lf_dropFront(ac);
    if (engineLists.liveCreateQueue.size() > liveCreateQueueLimit && ac.phase == AcPhase::birth)
        return lf_dropFront(ac);
    const std::int32_t maxLive = MAX_LIVE_SEL.value.load();
    if (maxLive <= 0) {
        ac.eraseNow = true;
        return;
    }
    if (engineLists.pendingSpawns.size() + gf_activeLiveCount() + engineLists.liveCreateQueue.size() >=
        static_cast<std::size_t>(maxLive)) {
        const UserState& user = engineLists.engineUserState;
        const double d = gf_distanceNm(Lalo{user.latitude, user.longitude}, Lalo{front.lat, front.lon});
        if (gf_removeFarthestLiveAc(d)) {
            ac.eraseNow = true;
            return;
        }
    }
    if (const std::string blocked = BLOCK_CALLSIGN.value(); !blocked.empty() && ac.cs == blocked) {
        ac.eraseNow = true;
        return;
    }
    lf_applyRegistration(ac);
    if (ac.airl.empty()) ac.airl = gf_airlineFromCallsign(ac.cs).value_or("PVT");
    if (!gf_isValidCallsign(ac) || gf_isNoMatch(gf_matchKey(ac))) {
        ac.eraseNow = true;
        return;
    }
    if (lf_endsWithUnderscore(ac.cs) && gf_ghostTest(ac.cs)) {
        ac.eraseNow = true;
        return;
    }
    spawnLiveAc(ac);
}

void spawnLiveAc(LiveAc& ac) {
    auto& q = ac.samples;
    if (q.size() < 2) {
        gf_logError(fmt::format("{} sz:{}", "spawnLiveAc", q.size()));
        return;
    }
    if (q[1].standing) {
        q[0].standing = true;
        q[0].gs = 0;
        q[1].gs = 0;
        if (q.size() > 2 && q[2].standing) q[2].gs = 0;
    } else {
        q[0].standing = false;
    }
    if (ac.phase == AcPhase::birth) {
        if (!lf_chooseLivery(ac)) {
            if (!ac.reg.empty()) gf_addNoMatch(gf_matchKey(ac));
            ac.eraseNow = true;
            return;
        }
        if (q.front().airborne) {
            ac.setPhase(AcPhase::flying);
        } else if (const ParkPos* stand = gf_standAtCreation(ac)) {
            lf_createAtStand(ac, *stand);
        } else if (ac.eraseNow) {
            return;
        } else if (q[1].standing) {
            // No stand found for an aircraft standing still: it waits for its next sample.
            lf_dropFront(ac);
            return;
        } else {
            ac.setPhase(AcPhase::taxi);
        }
    }
    if (ac.eraseNow) return;
    gf_initialPosition(ac);
    ac.simState = SimState::adding2sim;
    engineLists.pendingSpawns.push_back(ac.hexid);
    if (!lf_endsWithUnderscore(ac.cs)) gf_removeGhost(ac.cs);
}

void gf_removeGhost(const std::string& cs) {
    if (cs.empty()) return;
    const std::string ghost = cs + "_";
    // True when `other` was the ghost and is removed.
    const auto removeIfGhost = [&](LiveAc& other) {
        if (other.cs != ghost || other.simState == SimState::removingfromsim) return false;
        if (other.phase == AcPhase::parked)
            gf_log(fmt::format("{:8}: {:8} is a ghost and will be removed, continue with {}",
                               gf_standNameOf(other.sid), ghost, cs));
        else
            gf_log(fmt::format("          {:8} is a ghost and will be removed, continue with {}", ghost, cs));
        removeAircraftFromSim(other);
        engineLists.ghostList.push_back(ghost);
        return true;
    };
    auto& list = engineLists.liveAcs;
    if (const std::vector<std::size_t>* places = gf_ghostPlaces()) {
        for (const std::size_t place : *places)
            if (removeIfGhost(list[place])) return;
        return;
    }
    for (LiveAc& other : list)
        if (removeIfGhost(other)) return;
}

bool gf_ghostTest(const std::string& cs) {
    if (cs.empty()) return false;
    const std::string_view stem(cs.data(), cs.size() - 1);
    return std::any_of(engineLists.liveAcs.begin(), engineLists.liveAcs.end(), [&](const LiveAc& other) {
        return other.simState != SimState::removingfromsim && other.cs == stem;
    });
}

void gf_removeLiveTraffic() {
    for (LiveAc& ac : engineLists.liveAcs) {
        if (ac.simState == SimState::active)
            removeAircraftFromSim(ac);
        else if (ac.simState == SimState::adding2sim && !ac.removePending)
            removeAircraftFromSim(ac);
    }
    gf_compactLiveAcs();
}
