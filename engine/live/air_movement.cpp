#include "engine/live/air_movement.h"

#include "core/log.h"
#include "core/units.h"
#include "engine/base/ac_commands.h"
#include "engine/base/engine_tables.h"
#include "engine/live/movement_legs.h"
#include "feed/feed_state.h"
#include "refdata/park_airport.h"
#include "simlink/sim_link.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double cruiseAltitudeFt = 10000.0;
constexpr double nearParkAirportNm = 10.0;
constexpr std::int32_t boundFloor = 1000;

std::int64_t lf_now() {
    return enginePassCount.load();
}

double lf_wrapped(double radians) {
    double a = std::remainder(radians, 2.0 * pi);
    if (a <= -pi) a += 2.0 * pi;
    return a;
}

void lf_shrinkBounds(MoveState& m) {
    m.lagBound = std::max(boundFloor, m.lagBound - 100);
    m.leadBound = std::max(boundFloor, m.leadBound - 100);
}

bool lf_rotorcraft(const LiveAc& ac) {
    return ac.sizeCat == SizeCategory::Rotorcraft;
}

// A rate in ft/min becomes sample 1's vertical speed and the altitude step.
void lf_useRate(LiveAc& ac, double feetPerMinute) {
    ac.samples[1].vs = feetPerMinute;
    ac.move.altStep = feetPerMinute / 6000.0;
}

void lf_altitudeStep(LiveAc& ac, double d) {
    MoveState& m = ac.move;
    const PosSample& s0 = ac.samples[0];
    const PosSample& s1 = ac.samples[1];
    const double altitude = ac.pos.altitude;
    const double height = m.heightAboveGround;
    if (!s0.airborne && s1.airborne) {
        m.altStep = s1.alt <= altitude ? 0.0 : std::min((s1.alt - altitude) / d, ac.factorA);
    } else if (!s0.airborne && !s1.airborne) {
        double sum = 0;
        for (const PosSample& s : ac.samples)
            sum += s.vs;
        if (m.approach || sum <= 100.0) {
            lf_useRate(ac, gf_qnhCorrectedRate(ac));
        } else if (!gf_climbSearch(ac)) {
            PosSample& next = ac.samples[1];
            next.vs = std::max(next.vs, 601.0);
            m.altStep = next.vs / 6000.0;
        }
        gf_setGear(ac, true);
    } else if (s0.airborne && !s1.airborne) {
        const auto park = gf_engineParkAirport();
        if (currentQnh.load() > 1013)
            lf_useRate(ac, gf_qnhCorrectedRate(ac));
        else if (!park)
            lf_useRate(ac, -601.0);
        else
            m.altStep = (park->elevationFt - altitude) / d;
        gf_setGear(ac, true);
    } else if (!m.approach) {
        double v = (s1.alt - altitude) / d;
        if (height <= 1000.0 && v <= 0.2) v = 0.2;
        m.altStep = std::min(v, ac.factorA);
    } else if (s0.alt != s1.alt || height > 1000.0 || s0.vs + s1.vs > 100.0) {
        m.altStep = (s1.alt - altitude) / d;
    } else {
        lf_useRate(ac, gf_qnhCorrectedRate(ac));
    }
}

void lf_climbOutAndApproach(LiveAc& ac) {
    MoveState& m = ac.move;
    const PosSample& s0 = ac.samples[0];
    const auto park = gf_engineParkAirport();
    const bool near =
        park && gf_distanceNm(Lalo{ac.pos.latitude, ac.pos.longitude}, park->position) <= nearParkAirportNm;
    if (s0.vs > 600.0 || (m.approach && !near && s0.vs > -250.0)) {
        if (m.climbOutDone) return;
        lf_shrinkBounds(m);
        gf_setThrottle(ac, 4);
        gf_setGear(ac, false);
        gf_setFlaps(ac, 0);
        m.climbOutDone = true;
        m.flareStage = 0;
        m.approach = false;
        m.landing = false;
        return;
    }
    if (s0.vs <= -250.0 && near && !m.approach) {
        gf_setThrottle(ac, lf_rotorcraft(ac) ? 4 : 1);
        gf_setFlaps(ac, 3);
        gf_setGear(ac, true);
        gf_queueCoupledSearch(ac.hexid);
        m.approach = true;
        m.landing = true; // the simulator's next on-ground report is the touchdown
        m.climbOutDone = false;
        ac.standLat = 0;
        ac.standLon = 0;
        ac.sid = 0;
        m.rotationCountdown = 1;
        m.lagBound = startBoundPasses;
        m.leadBound = m.takeoffRun ? takeoffLeadPasses : startBoundPasses;
    }
}

void lf_lowAltitudeRules(LiveAc& ac) {
    MoveState& m = ac.move;
    if (!m.lowAltLightsSet) {
        gf_setLights(ac.oid, 1, 1, 1, 1, 1, 1, 1);
        m.lowAltLightsSet = true;
        m.cruiseLightsSet = false;
    }
    const bool big = ac.sizeCat == SizeCategory::Buzjets || ac.sizeCat == SizeCategory::Large ||
                     ac.sizeCat == SizeCategory::Heavy;
    const double threshold = big ? 2050.0 : 625.0;
    const double height = m.heightAboveGround;
    const double vs = ac.samples[0].vs;
    if (height <= threshold) {
        gf_setCabinLights(ac.oid, 0);
        lf_climbOutAndApproach(ac);
        return;
    }
    lf_shrinkBounds(m);
    gf_setCabinLights(ac.oid, 1);
    m.takeoffRun = false;
    m.approach = false;
    m.landing = false;
    if (vs <= -250.0 && ac.throttleIdx == 3)
        gf_setThrottle(ac, lf_rotorcraft(ac) ? 4 : 2);
    else if (vs > 400.0 && ac.throttleIdx == 4)
        gf_setThrottle(ac, lf_rotorcraft(ac) ? 4 : 3);
    if (height < 2400.0) {
        if (vs <= 100.0) {
            if (height < 2000.0) {
                if (ac.flapsIdx == 0)
                    gf_setFlaps(ac, 1);
                else if (ac.flapsIdx == 1)
                    gf_setFlaps(ac, 2);
            } else if (ac.flapsIdx == 0) {
                gf_setFlaps(ac, 1);
            }
        }
    } else {
        gf_setGear(ac, false);
        gf_setFlaps(ac, 0);
    }
}

void lf_cruiseRules(LiveAc& ac) {
    MoveState& m = ac.move;
    if (m.cruiseLightsSet) return;
    gf_setLights(ac.oid, 1, 1, 0, 0, 0, 0, 1);
    gf_setThrottle(ac, 3);
    gf_setGear(ac, false);
    gf_setFlaps(ac, 0);
    m.cruiseLightsSet = true;
    m.lowAltLightsSet = false;
}

} // namespace

std::optional<EngineParkAirport> gf_engineParkAirport() {
    if (parkAirportCode.empty()) return std::nullopt;
    return EngineParkAirport{parkAirportCode, Lalo{currentParkAirport.lat, currentParkAirport.lon},
                             currentParkAirport.alt};
}

double gf_maxPitchStep(SizeCategory category) {
    return gf_categoryProfile(category).maxPitchStepDegrees * radiansPerDegree;
}

double gf_maxBank(SizeCategory category) {
    return gf_categoryProfile(category).maxBankDegrees * radiansPerDegree;
}

double gf_maxBankStep(SizeCategory category) {
    return gf_categoryProfile(category).maxBankStepDegrees * radiansPerDegree;
}

double gf_qnhCorrectedRate(const LiveAc& ac) {
    if (ac.move.heightAboveGround <= 100.0) return -600.0;
    const double mean = (ac.samples[0].vs + ac.samples[1].vs) / 2.0;
    return std::min(mean - (static_cast<double>(currentQnh.load()) - 1013.25) * 6.0, -601.0);
}

bool gf_climbSearch(LiveAc& ac) {
    auto& q = ac.samples;
    if (q.size() < 4) return false;
    const std::size_t last = std::min<std::size_t>(10, q.size() - 1);
    for (std::size_t k = 3; k <= last; ++k) {
        if (!q[k - 1].airborne) continue;
        q.erase(q.begin() + 1, q.begin() + static_cast<std::ptrdiff_t>(k - 1));
        gf_retimeByTravel(ac);
        const PosSample& to = q[1];
        const double d =
            static_cast<double>(std::max<std::int64_t>(to.duePass - lf_now(), shortestLegPasses));
        ac.move.altStep =
            to.alt <= ac.pos.altitude ? 0.0 : std::min((to.alt - ac.pos.altitude) / d, ac.factorA);
        return true;
    }
    return false;
}

void gf_airStep(LiveAc& ac, double d) {
    MoveState& m = ac.move;
    if (ac.phase != AcPhase::take_off && ac.phase != AcPhase::flying) ac.setPhase(AcPhase::flying);
    m.shownVs = ac.samples[1].vs;
    m.shownTas = ac.samples[1].tas;
    if (m.flareStage == 0) {
        lf_altitudeStep(ac, d);
        if (ac.samples.size() < 2) return;
        // The climb search may have chosen a later sample 1: the leg is timed and aimed anew.
        const PosSample& to = ac.samples[1];
        d = static_cast<double>(std::max<std::int64_t>(to.duePass - lf_now(), shortestLegPasses));
        m.stepLat = (to.lat - ac.pos.latitude) / d;
        m.stepLon = std::remainder(to.lon - ac.pos.longitude, 360.0) / d;
        if (ac.phase != AcPhase::take_off) {
            const double target = gf_pitchForVerticalSpeed(ac.samples[1].vs);
            const double limit = gf_maxPitchStep(ac.sizeCat);
            m.pitchStep = std::clamp((target - ac.pos.pitch) / d, -limit, limit);
        }
    }
    const PosSample& s1 = ac.samples[1];
    const double headingLimitFt = m.approach ? 2000.0 : 1000.0;
    double change = 0;
    if (s1.hasTrueHeading && s1.bank && s1.trueHeading && m.heightAboveGround < headingLimitFt)
        change = lf_wrapped(*s1.trueHeading - ac.pos.heading);
    else if (ac.samples.size() >= 3)
        change = lf_wrapped(gf_bearing(Lalo{s1.lat, s1.lon}, Lalo{ac.samples[2].lat, ac.samples[2].lon}) -
                            ac.pos.heading);
    m.headingStep = change / d;
    if (s1.bank) {
        m.bankStep = (*s1.bank - ac.pos.bank) / d;
    } else {
        const double maxBank = gf_maxBank(ac.sizeCat);
        const double maxStep = gf_maxBankStep(ac.sizeCat);
        const double target = std::clamp(-change, -maxBank, maxBank);
        m.bankStep = std::clamp((target - ac.pos.bank) / d, -maxStep, maxStep);
    }
    if (ac.samples[0].alt < cruiseAltitudeFt)
        lf_lowAltitudeRules(ac);
    else
        lf_cruiseRules(ac);
}

namespace {

void lf_takeOffLights(const LiveAc& ac) {
    gf_setLights(ac.oid, 1, 1, 1, 1, 1, 1, 0);
}

void lf_clampedBank(AiPosition& p, double step) {
    p.bank = std::clamp(p.bank + step, -pi, pi);
}

// One pass of the flare: stage changes by the height, then pitch (never beyond 4 degrees nose up),
// bank and altitude follow their steps.
void lf_flarePass(LiveAc& ac) {
    MoveState& m = ac.move;
    const double agl = m.heightAboveGround;
    double h = agl;
    if (const auto park = gf_engineParkAirport()) {
        if (!m.groundElevationKnown) {
            m.groundElevation = park->elevationFt;
            m.groundElevationKnown = true;
        }
        h = std::min(agl, ac.pos.altitude - m.groundElevation);
    }
    PosSample* s0 = ac.samples.empty() ? nullptr : &ac.samples.front();
    const auto stage = [&](double altStep, double vs) {
        m.altStep = altStep;
        if (s0) s0->vs = vs;
        ++m.flareStage;
    };
    if (m.flareStage == 0 && h <= ac.cgHeight + 30.0) {
        m.pitchStep = (-4.0 * radiansPerDegree - ac.pos.pitch) / std::max<double>(ac.slotsA, 1.0);
        stage(-0.1, -601);
    } else if (m.flareStage == 1 && agl <= ac.cgHeight + 20.0) {
        stage(-0.075, -450);
    } else if (m.flareStage == 2 && agl <= ac.cgHeight + 10.0) {
        gf_setThrottle(ac, 0);
        stage(-0.05, -300);
    } else if (m.flareStage == 3 && agl <= ac.cgHeight + 3.0) {
        stage(-0.025, -150);
    }
    ac.pos.pitch = std::max(ac.pos.pitch + m.pitchStep, -4.0 * radiansPerDegree);
    lf_clampedBank(ac.pos, m.bankStep);
    ac.pos.altitude += m.altStep;
}

void lf_takeOffPass(LiveAc& ac) {
    MoveState& m = ac.move;
    AiPosition& p = ac.pos;
    m.rotationCountdown = std::max(m.rotationCountdown - 1, -1000);
    const std::int32_t c = m.rotationCountdown;
    if (c > 0) {
        ac.onGround = false;
        if (p.pitch > ac.takeoffPitch) p.pitch += m.pitchStep;
    }
    lf_clampedBank(p, m.bankStep);
    if (p.pitch > ac.pitchB && c <= 0)
        p.pitch += (ac.pitchB - ac.takeoffPitch) / std::max<double>(ac.slotsD, 1.0);
    if (c <= -1) {
        double share = 1.0;
        if (c >= -99)
            share = 0.1;
        else if (c >= -199)
            share = 0.2;
        else if (c >= -299)
            share = 0.5;
        p.altitude += m.altStep * share;
    }
    if (c == -300) gf_setGear(ac, false);
    if (c < -300) {
        if (p.pitch <= ac.pitchB) m.pitchStep = 0;
        if (m.heightAboveGround >= 800.0) {
            gf_setThrottle(ac, lf_rotorcraft(ac) ? 4 : 3);
            ac.setPhase(AcPhase::flying);
            m.rotationCountdown = 1;
        }
    }
}

} // namespace

namespace {

// The take-off run begins: the throttle and spoilers as given, flaps 1, the lights and the bounds of a
// run on the runway.
void lf_beginTakeOffRun(LiveAc& ac, std::uint32_t throttle, bool spoilers) {
    MoveState& m = ac.move;
    m.takeoffRun = true;
    gf_setThrottle(ac, throttle);
    gf_setSpoilers(ac, spoilers);
    gf_setFlaps(ac, 1);
    m.approach = false;
    m.landed = false;
    m.climbOutDone = false;
    lf_takeOffLights(ac);
    m.lagBound = startBoundPasses;
    m.leadBound = takeoffLeadPasses;
}

} // namespace

void gf_startTakeOff(LiveAc& ac) {
    lf_beginTakeOffRun(ac, 0, false);
    if (ac.move.towed) gf_log(fmt::format("towed aircraft takes-off? {}", ac.cs));
}

void gf_restartTakeOffRun(LiveAc& ac) {
    ac.setPhase(AcPhase::taxi);
    lf_beginTakeOffRun(ac, 3, true);
}

void gf_startTakeOffPhase(LiveAc& ac) {
    MoveState& m = ac.move;
    m.rotationCountdown = std::max<std::int32_t>(static_cast<std::int32_t>(ac.rotationSlots), 1);
    ac.pos.bank = 0;
    m.bankStep = 0;
    m.pitchStep = (ac.takeoffPitch - ac.pos.pitch) / m.rotationCountdown;
    if (!m.takeoffRun) gf_startTakeOff(ac);
    ac.setPhase(AcPhase::take_off);
    m.headingStep = 0;
    m.curve[2] = m.curve[3] =
        Lalo{std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::quiet_NaN()};
    m.curveT = 0;
    if (m.landingRoll) {
        m.landingRoll = false;
        m.approach = false;
        m.landed = false;
        gf_setThrottle(ac, 4);
        gf_setSpoilers(ac, true);
        gf_setFlaps(ac, 1);
    }
}

void gf_attitudePass(LiveAc& ac) {
    MoveState& m = ac.move;
    AiPosition& p = ac.pos;
    if (ac.phase == AcPhase::take_off) {
        lf_takeOffPass(ac);
        return;
    }
    if (ac.onGround && m.landingRoll && m.pitchStep != 0) {
        p.pitch += m.pitchStep;
        const bool passed = m.pitchStep > 0 ? p.pitch >= ac.staticPitch : p.pitch <= ac.staticPitch;
        if (passed) {
            p.pitch = ac.staticPitch;
            m.pitchStep = 0;
            m.bankStep = 0;
            p.bank = 0;
            m.flareStage = 0;
        }
        return;
    }
    if (!ac.onGround && m.approach && (m.flareStage > 0 || m.heightAboveGround <= 400.0)) {
        lf_flarePass(ac);
        return;
    }
    if (ac.onGround) {
        p.pitch = ac.staticPitch;
        p.bank = 0;
        return;
    }
    lf_clampedBank(p, m.bankStep);
    p.pitch += m.pitchStep;
    p.altitude += m.altStep;
}
