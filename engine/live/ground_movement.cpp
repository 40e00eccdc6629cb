#include "engine/live/ground_movement.h"

#include "core/geodesy.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/timeutil.h"
#include "core/units.h"
#include "engine/base/ac_commands.h"
#include "engine/base/engine_clock.h"
#include "engine/base/engine_status.h"
#include "engine/base/engine_tables.h"
#include "engine/base/stands.h"
#include "engine/live/air_movement.h"
#include "engine/live/movement_legs.h"
#include "engine/stands/parking_limits.h"
#include "engine/stands/stand_options.h"
#include "feed/feed_state.h"
#include "refdata/park_airport.h"
#include "simlink/sim_link.h"

#include <fmt/format.h>
#include <gsl/narrow>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double samePlaceDeg = 1e-8;
constexpr double curveEnd = 0.999999;
constexpr double headingCloseRad = 0.5 * radiansPerDegree;
// Corners and speed changes.
constexpr double straightCornerDeg = 3.0;
constexpr double sharpCornerDeg = 45.0;
constexpr double widestCurveDeg = 160.0;
constexpr double sharpCornerTopSpeedKt = 43.0;
constexpr double sharpCornerLegNm = 0.02699784017278618; // 50 m
constexpr std::int64_t sharpCornerPasses = 600;
constexpr double speedChangeKt = 5.0;
constexpr double speedChangeLegMetres = 100.0;
// Arrival: within 2 m of the stand.
constexpr double atStandNm = 0.0010799;
// A landing roll ends at this turn from the touch-down heading, and slows to taxi below this speed.
constexpr double rollEndTurnDeg = 15.0;
constexpr double rollSlowKt = 90.0;
constexpr double rotationCheckKt = 43.0;
constexpr double rotationClimbFpm = 256.0;
constexpr std::int32_t boundFloor = 1000;
constexpr std::int32_t wideTurnBound = 2000;
constexpr std::int64_t shortestStandLeg = 100;
constexpr std::int64_t standSettlePasses = 50;

std::int64_t lf_now() {
    return enginePassCount.load();
}

Lalo lf_at(const PosSample& s) {
    return Lalo{s.lat, s.lon};
}

Lalo lf_here(const LiveAc& ac) {
    return Lalo{ac.pos.latitude, ac.pos.longitude};
}

bool lf_samePlace(const Lalo& a, const Lalo& b) {
    return std::fabs(a.lat - b.lat) < samePlaceDeg && std::fabs(a.lon - b.lon) < samePlaceDeg;
}

// An angle in radians in (-pi, pi].
double lf_wrapped(double radians) {
    double a = std::remainder(radians, 2.0 * pi);
    if (a <= -pi) a += 2.0 * pi;
    return a;
}

bool lf_rotorcraft(const LiveAc& ac) {
    return ac.sizeCat == SizeCategory::Rotorcraft;
}

double lf_taxiSpeed(const LiveAc& ac) {
    return ac.factorB > 0 ? ac.factorB : gf_factorBOf(ac.sizeCat);
}

double lf_baseTurnRate(const LiveAc& ac) {
    return ac.rateA;
}

// Passes to cover `nm` at `knots`; a number beyond 32 bits throws gsl::narrowing_error.
std::int64_t lf_passesFor(double nm, double knots) {
    const double passes = std::round(nm * 360000.0 / knots);
    if (!(std::fabs(passes) <= static_cast<double>(std::numeric_limits<std::int32_t>::max())))
        throw gsl::narrowing_error{};
    return static_cast<std::int64_t>(passes);
}

void lf_resetBounds(MoveState& m) {
    m.lagBound = startBoundPasses;
    m.leadBound = m.takeoffRun ? takeoffLeadPasses : startBoundPasses;
}

void lf_shrinkBounds(MoveState& m) {
    m.lagBound = std::max(boundFloor, m.lagBound - 100);
    m.leadBound = std::max(boundFloor, m.leadBound - 100);
}

// Dead reckoning ends: the feed's samples lead again.
void lf_endDeadReckoning(LiveAc& ac) {
    ac.move.extrapolationCount = 0;
    lf_resetBounds(ac.move);
}

// The heading turns towards `target` by one turn rate, the shorter way, unless it is close already.
void lf_turnTowards(LiveAc& ac, double target) {
    const double diff = lf_wrapped(target - ac.pos.heading);
    if (std::fabs(diff) <= headingCloseRad) return;
    const double rate = ac.rateB > 0 ? ac.rateB : ac.rateA;
    const double step = std::min(std::fabs(diff), rate);
    ac.pos.heading = gf_normalizedHeading(ac.pos.heading + (diff > 0 ? step : -step));
}

void lf_taxiLights(const LiveAc& ac) {
    gf_setLights(ac.oid, 1, 1, 0, 1, 0, 1, 0);
}

void lf_speedCheck(LiveAc& ac) {
    const PosSample& s0 = ac.samples[0];
    const PosSample& s1 = ac.samples[1];
    if ((s0.gs > 0 || s1.gs > 0) && std::fabs(s0.gs - s1.gs) > speedChangeKt &&
        gf_distanceNm(lf_at(s0), lf_at(s1)) * metresPerNm >= speedChangeLegMetres)
        gf_insertMidpoint(ac);
}

// A curve from the aircraft through sample 1 to sample 2; sample 1 leaves the queue.
void lf_cornerCurve(LiveAc& ac, double angleDeg) {
    auto& q = ac.samples;
    MoveState& m = ac.move;
    gf_makeCurve(m, lf_here(ac), lf_at(q[1]), lf_at(q[2]));
    m.curveAngle = angleDeg;
    m.turning = false;
    if (q[2].gs == 0) q[2].gs = (q[0].gs + q[1].gs) / 2.0;
    q.erase(q.begin() + 1);
}

void lf_pushBackStage(LiveAc& ac) {
    MoveState& m = ac.move;
    auto& q = ac.samples;
    if (m.pushbackStage > 0) --m.pushbackStage;
    if (m.pushbackStage == 1) {
        if (m.pushbackSideKnown && q.size() >= 3) {
            if (m.pushbackSide && m.pushbackEnd) q.back() = *m.pushbackEnd;
            const double rate = ac.rateB > 0 ? ac.rateB : ac.rateA;
            const double n = std::round(90.0 / (100.0 * rate));
            gf_makeCurve(m, lf_here(ac), lf_at(q[1]), lf_at(q[2]));
            m.curveStep = 1.0 / std::max(n, 1.0);
            m.curveAngle = 90.0;
            q.erase(q.begin() + 1);
        } else if (q.size() >= 3) {
            q.pop_back(); // the side point: the push-back stays straight
        }
        return;
    }
    if (m.pushbackStage < 1) {
        m.targetBearing = ac.pos.heading;
        gf_engineAutoStart(ac.oid);
        gf_setThrottle(ac, 0);
        gf_setFlaps(ac, 1);
        ac.setPhase(AcPhase::pushed_back);
        m.pushbackStage = 1;
        m.lastPushedBackDistance = 900;
        lf_endDeadReckoning(ac);
        m.pushbackPending = false;
    }
}

void lf_parkedStart(LiveAc& ac) {
    MoveState& m = ac.move;
    m.lagBound = startBoundPasses;
    m.leadBound = m.takeoffRun ? takeoffLeadPasses : startBoundPasses;
    if (!m.pushbackPending) return;
    const double toLast = gf_bearing(Lalo{ac.standLat, ac.standLon}, lf_at(ac.samples.back()));
    const double off = std::round(std::fabs(lf_wrapped(toLast - ac.standHdg)) * degreesPerRadian);
    if (off < 90.0)
        gf_pullOut(ac);
    else
        gf_pushBack(ac);
}

void lf_corners(LiveAc& ac) {
    auto& q = ac.samples;
    MoveState& m = ac.move;
    if (q[1].standing) return;
    if (q.size() >= 3 && !q[2].standing) {
        const double a = lf_wrapped(gf_bearing(lf_at(q[1]), lf_at(q[2])) - ac.pos.heading) * degreesPerRadian;
        const double turn = std::fabs(a);
        if (turn <= straightCornerDeg) {
            lf_speedCheck(ac);
        } else if (turn > sharpCornerDeg && q[0].gs <= sharpCornerTopSpeedKt &&
                   gf_distanceNm(lf_at(q[0]), lf_at(q[1])) > sharpCornerLegNm &&
                   q[1].duePass - q[0].duePass >= sharpCornerPasses) {
            gf_insertMidpoint(ac);
            return;
        } else if (turn <= widestCurveDeg) {
            if (lf_samePlace(lf_at(q[0]), lf_at(q[2])))
                lf_speedCheck(ac);
            else
                lf_cornerCurve(ac, turn);
        } else {
            lf_speedCheck(ac);
        }
    } else if (q.size() >= 3) {
        lf_speedCheck(ac);
    } else if (m.extrapolationCount < 1) {
        lf_speedCheck(ac);
    }
    if (!gf_hasCurve(m)) {
        m.turnAngle = std::fabs(lf_wrapped(m.targetBearing - ac.pos.heading)) * degreesPerRadian;
        m.turning = m.turnAngle > straightCornerDeg;
    }
}

void lf_timeLeg(LiveAc& ac) {
    auto& q = ac.samples;
    if (q.size() < 2) return;
    MoveState& m = ac.move;
    const std::int64_t now = lf_now();
    const PosSample& s0 = q[0];
    PosSample& s1 = q[1];
    if (s1.standing) {
        const std::int64_t due =
            std::max(s0.duePass - now + std::max<std::int64_t>(s1.duePass - s0.duePass, shortestLegPasses),
                     shortestLegPasses);
        s1.duePass = gf_clampedDuePass(ac, due);
        return;
    }
    ac.rateB = lf_baseTurnRate(ac);
    const std::int64_t t = std::max(gf_travelPasses(ac), shortestLegPasses);
    const bool curve = gf_hasCurve(m);
    if ((curve || m.turning) && ac.rateB > 0) {
        const double angle = curve ? m.curveAngle : m.turnAngle;
        const double n = std::round(angle / (100.0 * ac.rateB));
        const double r = static_cast<double>(t) / std::max(n, 1.0);
        if (angle <= sharpCornerDeg) {
            if (r >= 1.2) {
                const double metres = gf_distanceNm(lf_at(s0), lf_at(s1)) * metresPerNm;
                double mm = std::min(r, 10.0 * r / std::max(angle, 1e-9));
                if (metres > 0) mm = std::min(mm, 30.0 * r / metres);
                if (mm > 0) ac.rateB *= 1.0 / mm;
            } else if (r > 0) {
                ac.rateB *= 1.0 / r;
            }
        } else {
            ac.rateB *= std::min(r, std::min(angle, 90.0) / 30.0);
            if (angle >= 90.0) {
                m.lagBound = std::max(m.lagBound, wideTurnBound);
                m.leadBound = std::max(m.leadBound, wideTurnBound);
            }
        }
    }
    s1.duePass = gf_clampedDuePass(ac, t);
}

void lf_endLandingRollControls(const LiveAc& ac) {
    if (ac.sizeCat == SizeCategory::Light) return;
    if (!gf_setAcControls(ac.oid, 0, 0, 0))
        gf_logError(fmt::format("{} control block not written {}", "landingRoll", gf_acLogText(ac)));
}

void lf_rotation(LiveAc& ac, double d) {
    MoveState& m = ac.move;
    const auto& q = ac.samples;
    if (!m.takeoffRun || ac.phase == AcPhase::take_off || q[0].gs < rotationCheckKt) return;
    const bool someSlowClimb =
        std::any_of(q.begin() + 1, q.end(), [](const PosSample& s) { return s.vs <= rotationClimbFpm; });
    if (someSlowClimb) {
        const double vr = gf_rotationSpeed(ac.sizeCat);
        const bool ready = std::all_of(q.begin() + 1, q.end(),
                                       [vr](const PosSample& s) { return s.gs >= vr && s.airborne; });
        if (!ready) return;
        m.altStep = ac.factorA;
    } else if (std::any_of(q.begin() + 1, q.end(), [](const PosSample& s) { return !s.airborne; })) {
        m.altStep = ac.factorA;
    } else {
        m.altStep = std::max(q[1].alt - ac.pos.altitude, 0.1) / d;
    }
    gf_startTakeOffPhase(ac);
}

} // namespace

void gf_cargoCheckAtStand(const LiveAc& ac, ParkPos& stand) {
    if (ac.standFlag || !ac.cargo || !stand.cargo) return;
    stand.cargo = false;
    stand.cargo_change = true;
    engineStatus.cargoChangeCount.fetch_add(1);
    gf_log(fmt::format("{} stand: {}, cargo attribute set to false, {} parked here", parkAirportCode,
                       stand.id, ac.cs));
    if (const auto& repaint = gf_engineHooks().repaintStatus) repaint();
}

double gf_rotationSpeed(SizeCategory category) {
    return gf_categoryProfile(category).rotationSpeedKn;
}

bool gf_hasCurve(const MoveState& m) {
    return !std::isnan(m.curve[3].lat);
}

void gf_makeCurve(MoveState& m, const Lalo& from, const Lalo& control, const Lalo& end) {
    const double perLon = curveMetresPerDegree * std::cos(from.lat * radiansPerDegree);
    const auto local = [&](const Lalo& p) {
        return Lalo{(p.lat - from.lat) * curveMetresPerDegree,
                    std::remainder(p.lon - from.lon, 360.0) * perLon};
    };
    m.curve[0] = from;
    m.curve[1] = local(control);
    m.curve[2] = local(end);
    m.curve[3] = Lalo{curveMetresPerDegree, perLon};
    m.curveT = 0;
}

std::optional<CurvePoint> gf_curveAt(const MoveState& m, double t) {
    const Lalo& p1 = m.curve[1];
    const Lalo& p2 = m.curve[2];
    if (!gf_hasCurve(m) || std::isnan(p1.lat) || std::isnan(p1.lon) || !(t >= 0.0 && t <= 1.0))
        return std::nullopt;
    const double a = 2.0 * t * (1.0 - t);
    const double b = t * t;
    const double north = a * p1.lat + b * p2.lat;
    const double east = a * p1.lon + b * p2.lon;
    const Lalo& p0 = m.curve[0];
    const double perLon = m.curve[3].lon;
    CurvePoint point;
    point.pos = Lalo{p0.lat + north / curveMetresPerDegree, p0.lon + (perLon != 0 ? east / perLon : 0.0)};
    const double tn = (p2.lat - p1.lat) * 2.0 * t + p1.lat * 2.0 * (1.0 - t);
    const double te = (p2.lon - p1.lon) * 2.0 * t + p1.lon * 2.0 * (1.0 - t);
    // A zero tangent (the control point on the aircraft) has no heading: the aircraft keeps its own.
    if (tn != 0.0 || te != 0.0) point.heading = gf_normalizedHeading(std::atan2(te, tn));
    return point;
}

void gf_integratePass(LiveAc& ac) {
    MoveState& m = ac.move;
    AiPosition& p = ac.pos;
    if (gf_hasCurve(m)) {
        m.curveT = std::clamp(m.curveT + m.curveStep, 0.0, curveEnd);
        if (const auto point = gf_curveAt(m, m.curveT)) {
            p.latitude = point->pos.lat;
            p.longitude = point->pos.lon;
            if (point->heading) {
                const double target =
                    ac.phase == AcPhase::pushing_back ? *point->heading + pi : *point->heading;
                lf_turnTowards(ac, target);
            }
        } else {
            gf_logError(fmt::format("{} error in curve at index: {:.2F}", ac.cs, m.curveT));
        }
    } else {
        switch (ac.phase) {
        case AcPhase::take_off:
        case AcPhase::flying:
        case AcPhase::parked:
        case AcPhase::birth:
            if (m.headingStep != 0) p.heading = gf_normalizedHeading(p.heading + m.headingStep);
            break;
        default:
            if (ac.phase == AcPhase::parking || m.turning) lf_turnTowards(ac, m.targetBearing);
            break;
        }
        if (ac.phase != AcPhase::pushed_back) {
            p.latitude += m.stepLat;
            p.longitude += m.stepLon;
        }
    }
    gf_attitudePass(ac);
    if (p.latitude > 90.0 || p.latitude < -90.0) {
        p.latitude = p.latitude > 0 ? 180.0 - p.latitude : -180.0 - p.latitude;
        p.longitude += 180.0;
    }
    if (p.longitude > 180.0 || p.longitude < -180.0) p.longitude = std::remainder(p.longitude, 360.0);
}

void gf_insertMidpoint(LiveAc& ac) {
    auto& q = ac.samples;
    const PosSample& s0 = q[0];
    const PosSample& s1 = q[1];
    PosSample mid = s0;
    mid.lat = (s0.lat + s1.lat) / 2.0;
    mid.lon = s0.lon + std::remainder(s1.lon - s0.lon, 360.0) / 2.0;
    mid.gs = (s0.gs + s1.gs) / 2.0;
    mid.alt = (s0.alt + s1.alt) / 2.0;
    mid.duePass =
        static_cast<std::int64_t>(std::llround((static_cast<double>(s0.duePass) + s1.duePass) / 2.0));
    mid.airborne = mid.alt > 0;
    if (!mid.airborne) mid.alt = 0;
    mid.standing = false;
    q.insert(q.begin() + 1, mid);
}

void nextPosGround(LiveAc& ac) {
    if (ac.samples.size() < 2) return;
    switch (ac.phase) {
    case AcPhase::pushing_back:
        lf_pushBackStage(ac);
        break;
    case AcPhase::parked:
        lf_parkedStart(ac);
        break;
    default:
        lf_corners(ac);
        break;
    }
}

void gf_timeGroundLeg(LiveAc& ac) {
    lf_timeLeg(ac);
}

void gf_groundAttitudeStep(LiveAc& ac, double d) {
    MoveState& m = ac.move;
    const auto& q = ac.samples;
    const PosSample& s0 = q[0];
    const PosSample& s1 = q[1];
    const bool rotor = lf_rotorcraft(ac);
    m.altStep = 0;
    if (ac.phase == AcPhase::flying || ac.phase == AcPhase::parked) {
        ac.setPhase(AcPhase::taxi);
    } else if (m.takeoffRun) {
        std::uint32_t level = 0;
        if (rotor || s0.gs >= 25 || s1.gs >= 30)
            level = 4;
        else if (s0.gs >= 20 || s1.gs >= 25)
            level = 2;
        else if (s0.gs >= 15 || s1.gs >= 20)
            level = 1;
        gf_setThrottle(ac, level);
    } else if (m.landingRoll) {
        const double turned = std::fabs(lf_wrapped(ac.pos.heading - m.touchdownHeading)) * degreesPerRadian;
        if (turned >= rollEndTurnDeg - 1e-9) {
            gf_setFlaps(ac, 0);
            m.landingRoll = false;
            gf_setThrottle(ac, rotor ? 4 : 0);
            gf_setSpoilers(ac, false);
            lf_endLandingRollControls(ac);
            gf_setLights(ac.oid, 1, 1, 0, 1, 0, 1, 1);
        } else if (s0.gs <= rollSlowKt) {
            gf_setSpoilers(ac, false);
            lf_endLandingRollControls(ac);
            gf_setFlaps(ac, 1);
        }
    } else {
        gf_setThrottle(ac, rotor ? 4 : 0);
    }
    if (!m.takeoffRun && !m.landingRoll) lf_shrinkBounds(m);
    if (m.flareStage == 0 && ac.phase != AcPhase::take_off) {
        ac.pos.pitch = ac.staticPitch;
        ac.pos.bank = 0;
        m.pitchStep = 0;
        m.bankStep = 0;
    }
    if (gf_hasCurve(m)) m.curveStep = 1.0 / d;
    m.shownTas = ac.phase == AcPhase::pushing_back ? -s1.gs : s1.gs;
    lf_rotation(ac, d);
}

bool gf_checkPushBackSample(LiveAc& ac, PosSample& sample) {
    MoveState& m = ac.move;
    if (ac.phase == AcPhase::pushing_back) {
        if (STRAIGHT_PBS_ONLY.value.load() || m.pushbackStage != 2 || m.pushbackSideKnown) return false;
        double heading = 0;
        if (sample.trueHeading) {
            heading = *sample.trueHeading;
        } else {
            if (sample.track == 0) return false;
            heading = sample.track * radiansPerDegree;
        }
        m.pushbackSide = lf_wrapped(heading - ac.pos.heading) > 0;
        m.pushbackSideKnown = true;
        return false;
    }
    // Pushed back: hold until the aircraft moves off.
    const double d = gf_distanceNm(lf_here(ac), lf_at(sample));
    if ((d <= 2.75 * ac.halfSize || d <= m.lastPushedBackDistance) && d <= 6.0 * ac.halfSize) {
        if (!m.holding) {
            m.holding = true;
            m.holdingSince = lf_now();
        }
        m.lastPushedBackDistance = d;
        return false;
    }
    lf_endDeadReckoning(ac);
    if (!ac.samples.empty()) ac.samples.front().duePass = lf_now() + 1;
    m.pushbackPending = false;
    m.pushbackStage = 0;
    m.pushbackSideKnown = false;
    m.pushbackSide = false;
    m.pushbackEnd.reset();
    ac.setPhase(AcPhase::taxi);
    ac.standLat = 0;
    ac.standLon = 0;
    ac.sid = 0;
    m.holding = false;
    m.holdingSince = 0;
    return true;
}

void gf_pushBack(LiveAc& ac) {
    const ParkPos* stand = gf_findStand(ac.sid);
    if (stand == nullptr) return;
    MoveState& m = ac.move;
    auto& q = ac.samples;
    const double taxi = lf_taxiSpeed(ac);
    const double push = ac.standHdg + pi;
    const Lalo here = lf_here(ac);
    const Lalo behind = gf_destinationPoint(here, push, 2.5 * stand->radius * feetPerNm);
    PosSample s0 = q.front();
    s0.gs = taxi;
    m.targetBearing = ac.pos.heading;
    const std::int64_t now = lf_now();
    const std::int64_t t = lf_passesFor(gf_distanceNm(here, behind), taxi);
    PosSample end = s0;
    end.lat = behind.lat;
    end.lon = behind.lon;
    end.gs = taxi;
    end.standing = false;
    end.duePass = now + t;
    q.clear();
    q.push_back(s0);
    q.push_back(end);
    gf_insertMidpoint(ac);
    const auto sidePoint = [&](double bearing) {
        const Lalo at = gf_destinationPoint(behind, bearing, ac.halfSize * feetPerNm);
        PosSample s = end;
        s.lat = at.lat;
        s.lon = at.lon;
        return s;
    };
    PosSample first = sidePoint(push + pi / 2);
    PosSample second = sidePoint(push - pi / 2);
    const std::int64_t due = now + t / 2 + lf_passesFor(gf_distanceNm(lf_at(q[1]), lf_at(first)), taxi);
    first.duePass = due;
    second.duePass = std::max(due, q.back().duePass + 1);
    m.pushbackEnd = first;
    q.push_back(second);
    lf_taxiLights(ac);
    ac.setPhase(AcPhase::pushing_back);
    m.pushbackStage = 2;
    m.pushbackSideKnown = false;
}

void gf_pullOut(LiveAc& ac) {
    MoveState& m = ac.move;
    auto& q = ac.samples;
    m.pushbackPending = false;
    m.extrapolationCount = 0;
    const double taxi = lf_taxiSpeed(ac);
    const Lalo target =
        gf_destinationPoint(Lalo{ac.standLat, ac.standLon}, ac.standHdg, 2.0 * ac.halfSize * feetPerNm);
    PosSample s0 = q.front();
    s0.gs = taxi;
    PosSample next = s0;
    next.lat = target.lat;
    next.lon = target.lon;
    next.gs = taxi;
    next.standing = false;
    next.duePass = lf_now() + lf_passesFor(gf_distanceNm(lf_at(s0), target), taxi);
    q.clear();
    q.push_back(s0);
    q.push_back(next);
    ac.setPhase(AcPhase::taxi);
    m.targetBearing = ac.pos.heading;
    lf_taxiLights(ac);
    gf_engineAutoStart(ac.oid);
    gf_setThrottle(ac, 0);
    gf_setFlaps(ac, 1);
    gf_log(fmt::format("{:8}: {:8} pulling out", gf_standNameOf(ac.sid), ac.cs));
}

void drive2Stand(LiveAc& ac, const StandPlace& stand) {
    auto& q = ac.samples;
    if (q.empty()) {
        gf_logError(fmt::format("{} empty sz?", "drive2Stand"));
        return;
    }
    const double taxi = lf_taxiSpeed(ac);
    PosSample& last = q.back();
    const Lalo at{stand.lat, stand.lon};
    const std::int64_t t = std::max(lf_passesFor(gf_distanceNm(lf_at(last), at), taxi), shortestStandLeg);
    last.gs = taxi;
    PosSample onStand;
    onStand.lat = stand.lat;
    onStand.lon = stand.lon;
    onStand.alt = ac.pos.altitude;
    onStand.gs = taxi;
    onStand.tas = taxi;
    onStand.track = stand.hdg * degreesPerRadian;
    onStand.vs = 0;
    onStand.duePass = q.front().duePass + t;
    onStand.airborne = false;
    onStand.standing = lf_samePlace(lf_at(last), at);
    onStand.bank = ac.pos.bank;
    PosSample settled = onStand;
    settled.gs = 0;
    settled.tas = 0;
    settled.standing = true;
    settled.duePass = q.front().duePass + standSettlePasses + t;
    q.push_back(onStand);
    q.push_back(settled);
    ac.move.targetBearing = stand.hdg;
    lf_endDeadReckoning(ac);
}

void gf_arriveAtStand(LiveAc& ac) {
    ParkPos* stand = gf_findStand(ac.sid);
    if (stand != nullptr && stand->occupied && gf_standHolder(ac.sid) != ac.hexid) {
        // Another aircraft holds the stand: this one goes, and the holder keeps its mark.
        ac.sid = 0;
        ac.move.extrapolationCount = 1;
        return;
    }
    if (gf_distanceNm(lf_here(ac), Lalo{ac.standLat, ac.standLon}) > atStandNm) {
        ac.setPhase(AcPhase::taxi);
        return;
    }
    ac.setPhase(AcPhase::parked);
    if (ac.move.towed) gf_log(fmt::format("          towed aircraft {} parks", ac.cs));
    if (!ac.samples.empty()) {
        ac.samples.front().standing = true;
        ac.samples.front().gs = 0;
    }
    ac.parkStartTicks = gf_engineTicks();
    ac.parkedSince = currentWeekSlot.load();
    if (stand != nullptr) gf_cargoCheckAtStand(ac, *stand);
    gf_parkedSetup(ac);
    gf_log(fmt::format("{:8}: {:8} arrived at stand", gf_standNameOf(ac.sid), ac.cs));
    gf_queueCoupledSearch(ac.hexid);
    if (stand != nullptr) {
        gf_occupyStand(ac.sid, ac.hexid);
        lf_addRealStandOption(ac.sid, ac, 0);
    }
    gf_enforceMaxPark(0);
}
