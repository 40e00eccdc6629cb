#include "engine/stands/conflicts.h"

#include "core/geodesy.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/timeutil.h"
#include "core/units.h"
#include "engine/base/ac_removal.h"
#include "engine/base/engine_status.h"
#include "engine/base/engine_tables.h"
#include "engine/base/stands.h"
#include "engine/stands/parking_limits.h"
#include "simlink/sim_link.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <string_view>

namespace {

// The user position at the last look at the static aircraft (none yet: the first look always runs).
std::optional<Lalo> lastStaticCheckAt;

constexpr double runwayAheadMaxAglFt = 500.0;
constexpr double runwayAheadMaxNm = 1.0;
constexpr double runwayAheadMaxFt = 50.0;
constexpr double crossingMaxNm = 4.0;
constexpr double crossingMaxAltFt = 1000.0;
constexpr double crossingMaxFt = 700.0;
constexpr double liveGroundMargin = 1.15;
constexpr double staticGroundMargin = 1.1;
constexpr double samePlaceDeg = 1e-8;

// The angle wrapped into (-pi, pi].
double lf_wrapPi(double a) {
    a = std::fmod(a, twoPi);
    if (a <= -pi) a += twoPi;
    if (a > pi) a -= twoPi;
    return a;
}

Lalo lf_userPosition() {
    return {engineLists.engineUserState.latitude, engineLists.engineUserState.longitude};
}

Lalo lf_positionOf(const LiveAc& ac) {
    return {ac.pos.latitude, ac.pos.longitude};
}

std::string_view lf_withoutLast(const std::string& text) {
    return text.empty() ? std::string_view{} : std::string_view(text.data(), text.size() - 1);
}

bool lf_onRunwayAhead(const LiveAc& ac, const Lalo& user, double d) {
    if (!ac.onGround || engineLists.engineUserState.altAboveGround >= runwayAheadMaxAglFt ||
        d > runwayAheadMaxNm)
        return false;
    const double off = lf_wrapPi(gf_bearing(user, lf_positionOf(ac)) - engineLists.engineUserState.heading);
    return std::sin(std::fabs(off)) * d * feetPerNm <= runwayAheadMaxFt;
}

bool lf_onCrossingCourse(const LiveAc& ac, const Lalo& user, double d) {
    if (d > crossingMaxNm ||
        std::fabs(ac.pos.altitude - engineLists.engineUserState.altitude) >= crossingMaxAltFt)
        return false;
    const double c = lf_wrapPi(ac.pos.heading - gf_bearing(user, lf_positionOf(ac))) * degreesPerRadian;
    return std::cos(std::fabs(90.0 - std::fabs(c)) * radiansPerDegree) * d * feetPerNm <= crossingMaxFt;
}

// L's callsigns name the static aircraft's flight or coupled callsign.
bool lf_sameOrCoupledCallsign(const StaticAc& live, const StaticAc& st) {
    const auto either = [&](std::string_view cs) { return cs == st.feedCs || cs == st.text; };
    if (either(live.cs)) return true;
    if (!live.text.empty() && either(live.text)) return true;
    return live.cs.ends_with('_') && either(lf_withoutLast(live.cs));
}

} // namespace

bool gf_avoidCollisionWithUser() {
    const Lalo user = lf_userPosition();
    for (LiveAc& ac : engineLists.liveAcs) {
        if (ac.simState != SimState::active) continue;
        const double d = gf_distanceNm(user, lf_positionOf(ac));
        if (lf_onRunwayAhead(ac, user, d) || lf_onCrossingCourse(ac, user, d)) {
            gf_log(fmt::format("          {} removed: in the way of the user aircraft ({:.2f} nm)",
                               gf_acLogText(ac), d));
            removeAircraftFromSim(ac);
            return true;
        }
    }
    return false;
}

bool gf_avoidCollisionOnGround(double userHalfSpanNm) {
    const Lalo user = lf_userPosition();
    for (LiveAc& ac : engineLists.liveAcs) {
        if (!ac.onGround || ac.simState != SimState::active) continue;
        if ((userHalfSpanNm + ac.halfSize) * liveGroundMargin >= gf_distanceNm(user, lf_positionOf(ac))) {
            gf_log(fmt::format("          {} removed: too close to the user aircraft on the ground",
                               gf_acLogText(ac)));
            removeAircraftFromSim(ac);
            return true;
        }
    }
    if (lastStaticCheckAt && std::fabs(lastStaticCheckAt->lat - user.lat) < samePlaceDeg &&
        std::fabs(lastStaticCheckAt->lon - user.lon) < samePlaceDeg)
        return false;
    lastStaticCheckAt = user;
    for (StaticAc& st : engineLists.staticAcs) {
        if (st.simState != SimState::active) continue;
        if ((userHalfSpanNm + st.halfSize) * staticGroundMargin >=
            gf_distanceNm(user, Lalo{st.standLat, st.standLon})) {
            gf_log(fmt::format("{:8}: {:8} removed: too close to the user aircraft", gf_standNameOf(st.sid),
                               st.cs));
            removeAircraftFromSim(st);
            return true;
        }
    }
    return false;
}

bool gf_avoidCollisionWithStatics(LiveAc& ac) {
    if (ac.move.landing || ac.move.landingRoll || ac.move.takeoffRun) return false;
    ac.lastCheckLat = ac.pos.latitude;
    ac.lastCheckLon = ac.pos.longitude;
    const Lalo at = lf_positionOf(ac);
    for (StaticAc& st : engineLists.staticAcs) {
        if (st.simState != SimState::active || st.cs == ac.cs) continue;
        if ((st.halfSize + ac.halfSize) * staticGroundMargin >=
            gf_distanceNm(at, Lalo{st.standLat, st.standLon})) {
            gf_log(fmt::format("{:8}: {:8} removed for collision avoidance with static {}",
                               gf_standNameOf(st.sid), st.cs, ac.cs));
            removeAircraftFromSim(st);
            return true;
        }
    }
    return false;
}

void gf_collisionAvoidanceStep() {
    if (userOnGround.load()) {
        if (COLLISION_USER_GND.value.load()) gf_avoidCollisionOnGround(gf_userHalfSpanNm().value_or(0.0));
    } else if (COLLISION_USER_AIR.value.load()) {
        gf_avoidCollisionWithUser();
    }
    if (!COLLISION_LIVE_PARKED_GND.value.load() || engineLists.staticAcs.empty()) return;
    for (LiveAc& ac : engineLists.liveAcs) {
        if (!ac.onGround || ac.simState != SimState::active ||
            (ac.phase != AcPhase::taxi && ac.phase != AcPhase::parking))
            continue;
        if (std::fabs(ac.pos.latitude - ac.lastCheckLat) < samePlaceDeg &&
            std::fabs(ac.pos.longitude - ac.lastCheckLon) < samePlaceDeg)
            continue;
        gf_avoidCollisionWithStatics(ac);
    }
}

bool gf_removeStaticDuplicates(const StaticAc& live, bool onGround) {
    if (live.cs.empty()) return false;
    const std::string_view where = onGround ? "on ground" : "airborne";
    for (StaticAc& st : engineLists.staticAcs) {
        if (st.simState != SimState::active) continue;
        if (!live.reg.empty() && live.reg == st.reg) {
            gf_log(fmt::format("{:8}: {:8} {} removed, new {} '{}' has same regcode {}",
                               gf_standNameOf(st.sid), st.cs, st.reg, where, live.cs, live.reg));
            removeAircraftFromSim(st);
            return true;
        }
        if (lf_sameOrCoupledCallsign(live, st)) {
            gf_log(fmt::format("{:8}: {:8} '{}' '{}' removed, new {} {} '{}' '{}' has {} callsign",
                               gf_standNameOf(st.sid), st.cs, st.feedCs, st.text, where, live.cs, live.feedCs,
                               live.text, st.feedCs == live.cs ? "same" : "coupled"));
            removeAircraftFromSim(st);
            return true;
        }
    }
    return false;
}

bool gf_removeStaticTwinOfLive() {
    if (engineLists.staticAcs.empty()) return false;
    for (const LiveAc& live : engineLists.liveAcs) {
        if (!live.onGround || live.simState != SimState::active) continue;
        const std::string twin = live.cs + "*";
        for (StaticAc& st : engineLists.staticAcs) {
            if (st.simState != SimState::active) continue;
            if (st.cs == twin || (!live.reg.empty() && st.reg == live.reg)) {
                gf_log(fmt::format("{:8}: {:8} removed, twin of live {}", gf_standNameOf(st.sid), st.cs,
                                   gf_acLogTextWithReg(live)));
                removeAircraftFromSim(st);
                return true;
            }
        }
    }
    return false;
}

bool gf_clearReservedStand(const std::string& standName) {
    if (standName.empty()) return false;
    const auto stand = std::find_if(parkPositions.begin(), parkPositions.end(),
                                    [&](const ParkPos& p) { return p.id == standName; });
    if (stand == parkPositions.end() || stand->sid == 0) return false;
    for (const std::size_t at : gf_staticsAtStand(stand->sid)) {
        StaticAc& st = engineLists.staticAcs[at];
        if (st.simState != SimState::active) continue;
        gf_log(fmt::format("{:8}: {:8} removed from the reserved stand", standName, st.cs));
        removeAircraftFromSim(st);
        return true;
    }
    for (LiveAc& ac : engineLists.liveAcs) {
        if (ac.sid != stand->sid || ac.phase != AcPhase::parked || ac.simState != SimState::active) continue;
        gf_log(fmt::format("{:8}: {:8} removed from the reserved stand", standName, ac.cs));
        removeAircraftFromSim(ac);
        return true;
    }
    return false;
}

void gf_removeAllStatic() {
    for (StaticAc& st : engineLists.staticAcs) {
        if (st.eraseNow || st.eraseDropped) continue;
        if (st.simState == SimState::active || st.simState == SimState::buffer ||
            (st.simState == SimState::adding2sim && !st.removePending))
            removeAircraftFromSim(st);
    }
    const auto erased = std::erase_if(engineLists.staticAcs,
                                      [](const StaticAc& st) { return st.eraseNow || st.eraseDropped; });
    if (erased != 0) gf_reindexAircraft();
}

std::uint64_t gf_countLiveParked(bool withMean) {
    const WeekSlot now = WeekSlot::fromPacked(currentWeekSlot.load());
    std::uint64_t count = 0;
    std::uint64_t halfHours = 0;
    for (const LiveAc& ac : engineLists.liveAcs) {
        if (ac.phase != AcPhase::parked || ac.simState != SimState::active) continue;
        ++count;
        // Whole half hours since it parked; one parked since a later slot of the week adds nothing.
        const WeekSlot since = WeekSlot::fromPacked(ac.parkedSince);
        if (withMean && since.valid() && now.valid() && now.weekIndex() >= since.weekIndex())
            halfHours += now.weekIndex() - since.weekIndex();
    }
    if (withMean) {
        const float mean =
            count == 0 ? 0.0f
                       : static_cast<float>(
                             static_cast<double>(halfHours) / (2.0 * static_cast<double>(count)) + 0.5);
        if (engineStatus.liveMeanHours.load() != mean) {
            engineStatus.liveMeanHours = mean;
            if (const auto& repaint = gf_engineHooks().repaintStatus) repaint();
        }
    }
    return count;
}

void gf_resetConflictsForTests() {
    parkAirport.reservedStandName.clear();
    lastStaticCheckAt.reset();
}
