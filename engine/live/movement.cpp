#include "engine/live/movement.h"

#include "core/geodesy.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/units.h"
#include "engine/base/ac_removal.h"
#include "engine/base/engine_tables.h"
#include "engine/base/stands.h"
#include "engine/live/air_movement.h"
#include "engine/live/ground_movement.h"
#include "engine/live/movement_legs.h"
#include "engine/live/parking.h"
#include "feed/feed_state.h"
#include "feed/udp_readers.h"
#include "refdata/type_lookups.h"
#include "simlink/sim_link.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

namespace {

constexpr double samePlaceDeg = 1e-8;
constexpr double nearbyDeg = 0.00015;
// 22 m: a moving sample this close to the last moving one keeps the stationary samples behind it.
constexpr double nearMovingNm = 0.011879049676025918;
constexpr std::int64_t passesPerMinute = 6000;
constexpr std::int64_t holdingLegPasses = 300;
constexpr double nanValue = std::numeric_limits<double>::quiet_NaN();

std::int64_t lf_now() {
    return enginePassCount.load();
}

Lalo lf_at(const PosSample& s) {
    return Lalo{s.lat, s.lon};
}

bool lf_samePlace(const PosSample& a, const PosSample& b) {
    return std::fabs(a.lat - b.lat) < samePlaceDeg && std::fabs(a.lon - b.lon) < samePlaceDeg;
}

// An angle in radians in [-pi, pi].
double lf_signedAngle(double radians) {
    double a = std::remainder(radians, 2.0 * pi);
    if (a < -pi) a += 2.0 * pi;
    return a;
}

// Degrees of longitude from `from` to `to` the short way round.
double lf_longitudeDifference(double from, double to) {
    return std::remainder(to - from, 360.0);
}

void lf_clearCurve(MoveState& m) {
    m.curve[0] = Lalo{};
    m.curve[1] = Lalo{};
    m.curve[2] = Lalo{nanValue, nanValue};
    m.curve[3] = Lalo{nanValue, nanValue};
    m.curveT = 0;
}

bool lf_categoryAllowed(SizeCategory category) {
    return gf_categoryAdmitted(category, LIGHT_AIRCRAFT.value.load(), HELICOPTERS.value.load(),
                               HIGH_PERF_AIRCRAFT.value.load());
}

double lf_takeoffSpeed(double gs, double& vs) {
    if (gs <= 30) return 40;
    if (gs <= 60) return 80;
    if (gs <= 100) return 110;
    if (gs <= 140) {
        vs = 600;
        return 150;
    }
    if (gs <= 160) {
        vs = 1200;
        return 170;
    }
    vs = 2400;
    return 180;
}

double lf_rollOutSpeed(double gs) {
    if (gs >= 140) return 100;
    if (gs >= 100) return 80;
    if (gs >= 80) return 60;
    if (gs >= 60) return 30;
    return 20;
}

// Appends one made-up sample, continuing the aircraft's motion from sample 0.
void lf_deadReckon(LiveAc& ac, std::int32_t count) {
    MoveState& m = ac.move;
    m.extrapolationCount = count;
    const PosSample& first = ac.samples.front();
    PosSample next = first;
    next.hasTrueHeading = false;
    next.trueHeading.reset();
    next.bank.reset();
    const bool parked = ac.phase == AcPhase::parked;
    if (first.standing || parked) {
        next.standing = true;
        next.gs = 0;
    } else if (!ac.onGround) {
        if (!m.approach)
            next.gs = std::max(0.95 * first.gs, 1.0);
        else if (count >= 4)
            next.gs = std::max(0.9 * first.gs, 1.0);
    } else if (!m.landingRoll) {
        if (!m.takeoffRun) {
            next.standing = true;
            next.gs = 0;
        } else {
            double vs = first.vs;
            next.gs = lf_takeoffSpeed(first.gs, vs);
            next.vs = vs;
        }
    } else {
        next.gs = lf_rollOutSpeed(first.gs);
        next.vs = 0;
    }
    const std::int64_t legPasses = ac.onGround ? groundLegPasses : airLegPasses;
    if (!(next.standing && next.gs == 0)) {
        const double seconds = static_cast<double>(legPasses) / 100.0;
        const double feet = static_cast<double>(legPasses) * next.gs * feetPerNm / 360000.0;
        const Lalo to = gf_destinationPoint(lf_at(first), ac.pos.heading, feet);
        next.lat = to.lat;
        next.lon = to.lon;
        next.standing = lf_samePlace(first, next);
        if (m.approach && m.flareStage == 0) {
            next.alt -= 10.005 * seconds;
            next.vs = -667;
        } else if (ac.phase == AcPhase::take_off) {
            next.alt += 25.0 * seconds;
            next.vs = 1500;
        }
        if (next.alt > 0)
            next.airborne = true;
        else
            next.alt = 0;
    }
    next.duePass = first.duePass + (parked ? parkedLegPasses : legPasses);
    if (parked) {
        // Until the feed reports it at its stand again, the stand may go to a newcomer.
        ac.standWatch.seenAtStand = false;
        if (ac.sid != 0) gf_releaseStand(ac.sid, ac.hexid);
    }
    ac.samples.push_back(next);
}

// Another taxiing aircraft on the ground too close to wait beside.
bool lf_taxiingNeighbour(const LiveAc& ac) {
    const Lalo here{ac.pos.latitude, ac.pos.longitude};
    for (const LiveAc& other : engineLists.liveAcs) {
        if (&other == &ac || !other.onGround || other.phase != AcPhase::taxi ||
            other.simState != SimState::active || other.oid == ac.oid)
            continue;
        const double limit = 1.2 * (ac.halfSize + other.halfSize);
        if (gf_distanceNm(here, Lalo{other.pos.latitude, other.pos.longitude}) <= limit) return true;
    }
    return false;
}

// The queue has run dry: appends a sample and returns an empty text, or returns why the aircraft is to go.
std::string lf_nextSegment(LiveAc& ac) {
    MoveState& m = ac.move;
    // An aircraft driven onto its stand arrives there; then the count of made-up samples decides.
    const bool arriving = ac.phase == AcPhase::parking;
    if (arriving) gf_arriveAtStand(ac);
    const bool waitsInPlace = !arriving && (ac.phase == AcPhase::pushed_back ||
                                            (ac.phase == AcPhase::taxi && !m.takeoffRun && !m.landingRoll));
    if (waitsInPlace) {
        if (lf_taxiingNeighbour(ac)) {
            m.holding = false;
            m.holdingSince = 0;
            return "waiting beside a taxiing aircraft";
        }
        const std::int64_t now = lf_now();
        if (m.holding) {
            if (AIRBORNE_ONLY.value.load()) return "waiting on the ground with airborne traffic only";
            if ((now - m.holdingSince) / passesPerMinute > MAX_HOLDING_MINUTES.value.load())
                return "held in place too long";
        } else {
            m.holdingSince = now;
        }
        m.holding = true;
        PosSample wait = ac.samples.front();
        wait.duePass += holdingLegPasses;
        wait.gs = 0;
        wait.standing = true;
        ac.samples.push_back(wait);
        m.extrapolationCount = 1;
        return {};
    }
    if (m.extrapolationCount < 0) return "no new position";
    if (m.extrapolationCount == 1) {
        m.extrapolationCount = -1;
        return "no new position after dead reckoning";
    }
    if (m.extrapolationCount > 1) {
        lf_deadReckon(ac, m.extrapolationCount - 1);
        return {};
    }
    if (!lf_categoryAllowed(ac.sizeCat)) return "its size category is switched off";
    if (!ac.onGround) {
        const UserState& user = engineLists.engineUserState;
        if (gf_positionKnown(user.latitude, user.longitude)) {
            const double d =
                gf_distanceNm(Lalo{user.latitude, user.longitude}, Lalo{ac.pos.latitude, ac.pos.longitude});
            const std::int32_t range = RANGE.value.load();
            if (d >= range - 0.5) return fmt::format("left the range ({:.1f} nm of {} nm)", d, range);
        }
        if (AIRBORNE_ONLY.value.load()) {
            const double elevation = parkAirport.elevationFt.value_or(0.0);
            if (std::fabs(ac.pos.altitude - elevation) < 1000.0)
                return "near the ground with airborne traffic only";
        }
        lf_deadReckon(ac, airDeadReckoningLegs);
        return {};
    }
    lf_deadReckon(ac, ac.phase == AcPhase::parked ? 1 : groundDeadReckoningLegs);
    return {};
}

// The straight steps of a leg of `passes` passes to sample 1, then the ground or the air step.
void lf_legSteps(LiveAc& ac, const PosSample& to, double passes) {
    MoveState& m = ac.move;
    m.stepLat = (to.lat - ac.pos.latitude) / passes;
    m.stepLon = lf_longitudeDifference(ac.pos.longitude, to.lon) / passes;
    if (ac.onGround) {
        m.headingStep = 0;
        gf_groundAttitudeStep(ac, passes);
        return;
    }
    gf_airStep(ac, passes);
}

void lf_consume(LiveAc& ac) {
    MoveState& m = ac.move;
    lf_clearCurve(m);
    {
        PosSample& from = ac.samples[0];
        PosSample& to = ac.samples[1];
        if (!to.standing && lf_samePlace(from, to)) to.standing = true;
        if (!to.standing) m.targetBearing = gf_bearing(lf_at(from), lf_at(to));
        if (ac.onGround) {
            nextPosGround(ac);
            gf_parkingTrigger(ac);
            gf_timeGroundLeg(ac);
        } else if (!to.standing)
            gf_retimeByTravel(ac);
        else if (ac.sizeCat == SizeCategory::Rotorcraft)
            to.duePass = gf_clampedDuePass(
                ac, std::max(from.duePass - lf_now() + std::max(to.duePass - from.duePass, shortestLegPasses),
                             shortestLegPasses));
    }
    if (ac.samples.size() < 2) throw std::logic_error("no sample to move to");
    // The ground leg may have changed the queue (a curve, a midpoint, a push-back).
    const PosSample& to = ac.samples[1];
    m.shownVs = to.vs;
    m.shownTas = to.tas;
    if (to.standing) {
        m.stepLat = 0;
        m.stepLon = 0;
        m.altStep = 0;
        m.headingStep = 0;
        if (!m.takeoffRun && !m.landingRoll) {
            m.lagBound = std::max(1000, m.lagBound - 100);
            m.leadBound = std::max(1000, m.leadBound - 100);
        }
    } else {
        const std::int64_t passes = std::max(to.duePass - lf_now(), shortestLegPasses);
        lf_legSteps(ac, to, static_cast<double>(passes));
    }
    ac.samples.pop_front();
}

void lf_throwIfUnfinished(const LiveAc& ac) {
    if (ac.samples.empty()) throw std::logic_error("no sample left");
}

// The first-record check: false drops the sample; it may mark the sample standing or replace it.
bool lf_firstRecordCheck(const LiveAc& ac, PosSample& sample) {
    const PosSample& last = ac.samples.back();
    const MoveState& m = ac.move;
    if (lf_samePlace(sample, last)) sample.standing = true;
    if (ac.sizeCat == SizeCategory::Rotorcraft) return true;
    const bool flying = ac.simState == SimState::active && ac.phase == AcPhase::flying;
    if (sample.standing) {
        if (sample.airborne || flying) return false;
        if (m.takeoffRun && last.gs >= 30) return false;
        sample.gs = 0;
        return true;
    }
    if (std::fabs(sample.lat - last.lat) < nearbyDeg && std::fabs(sample.lon - last.lon) < nearbyDeg) {
        if (sample.airborne || flying) return false;
        if (m.takeoffRun && sample.gs > 0 && last.gs >= 50) return false;
        const std::int64_t due = sample.duePass;
        sample = last;
        sample.duePass = due;
        sample.standing = true;
        sample.gs = 0;
        return true;
    }
    if (sample.gs != 0) return true;
    if (sample.airborne || m.takeoffRun) return last.gs < 50;
    return true;
}

void lf_endDeadReckoning(LiveAc& ac) {
    MoveState& m = ac.move;
    m.extrapolationCount = 0;
    m.lagBound = startBoundPasses;
    m.leadBound = m.takeoffRun ? takeoffLeadPasses : startBoundPasses;
    if (!ac.samples.empty()) ac.samples.front().duePass = lf_now() + 1;
}

// A new sample while the aircraft approaches or rolls out: samples that would turn it round are
// dropped or replaced; false drops the sample.
bool lf_checkNewPosDuringLanding(LiveAc& ac, PosSample& sample) {
    auto& q = ac.samples;
    if (q.empty()) {
        gf_logError(fmt::format("{} empty sz?", "checkNewPosDuringLanding"));
        return false;
    }
    if (lf_samePlace(sample, q.back())) return false;
    const auto turn = [&](const PosSample& from) {
        return std::fabs(lf_signedAngle(gf_bearing(lf_at(from), lf_at(sample)) - ac.pos.heading)) /
               radiansPerDegree;
    };
    MoveState& m = ac.move;
    if (q.size() >= 2) {
        if (turn(q.back()) >= 90.0) {
            q.pop_back();
            if (q.size() == 2 && turn(q.back()) >= 90.0) q.pop_back();
        }
    } else {
        const double t = turn(q.back());
        if (m.approach && t >= 90.0) return false;
        if (!m.approach && t >= 150.0) {
            if (m.extrapolationCount != 0) return false;
            PosSample here = q.front();
            here.lat = ac.pos.latitude;
            here.lon = ac.pos.longitude;
            here.alt = ac.pos.altitude;
            here.duePass = lf_now() + 1;
            q.clear();
            q.push_back(here);
        }
    }
    m.extrapolationCount = 0;
    m.lagBound = startBoundPasses;
    m.leadBound = m.takeoffRun ? takeoffLeadPasses : startBoundPasses;
    if (lf_samePlace(sample, q.back())) sample.standing = true;
    if (sample.gs > 40.0 && sample.gs > q.back().gs) sample.gs = q.back().gs;
    return true;
}

// The checks of a new sample by phase; false drops it. The push-back and stand branches belong to the
// ground movement.
bool lf_checkExtendingSituations(LiveAc& ac, PosSample& sample) {
    MoveState& m = ac.move;
    switch (ac.phase) {
    case AcPhase::taxi:
    case AcPhase::take_off:
    case AcPhase::flying:
    case AcPhase::birth: {
        if (m.approach || m.landingRoll) return lf_checkNewPosDuringLanding(ac, sample);
        if (!lf_firstRecordCheck(ac, sample)) return false;
        if (m.extrapolationCount != 0) {
            if (!ac.onGround && !sample.standing) {
                const double bearing = gf_bearing(lf_at(ac.samples.back()), lf_at(sample));
                if (std::fabs(lf_signedAngle(bearing - ac.pos.heading)) >= 100.0 * radiansPerDegree)
                    return false;
            }
            lf_endDeadReckoning(ac);
        }
        m.holding = false;
        m.holdingSince = 0;
        return true;
    }
    case AcPhase::parking:
    case AcPhase::parked:
        return gf_checkStandDeparture(ac, sample);
    case AcPhase::pushing_back:
    case AcPhase::pushed_back:
        return gf_checkPushBackSample(ac, sample);
    default:
        return false;
    }
}

// On the ground behind a standing last sample: the standing samples that only repeat a place are cut.
void lf_trimStandingSamples(LiveAc& ac, const PosSample& sample) {
    auto& q = ac.samples;
    if (sample.standing) {
        if (q.size() > 1 && std::all_of(q.begin(), q.end(), [](const PosSample& s) { return s.standing; }))
            q.erase(q.begin() + 1, q.end());
        return;
    }
    if (q.size() < 3) return;
    const std::size_t last = q.size() - 1;
    for (std::size_t back = 1; back <= 5 && back <= last; ++back) {
        const std::size_t i = last - back;
        if (q[i].standing) continue;
        if (q[last].duePass - q[i].duePass < 1500 ||
            gf_distanceNm(lf_at(q[i]), lf_at(sample)) <= nearMovingNm)
            q.erase(q.begin() + static_cast<std::ptrdiff_t>(i) + 1, q.end());
        return;
    }
}

} // namespace

void nextPosMain(LiveAc& ac) {
    try {
        for (;;) {
            if (ac.samples.size() >= 2) {
                if (ac.onGround || !ac.samples[1].standing || ac.sizeCat == SizeCategory::Rotorcraft) {
                    lf_consume(ac);
                    return;
                }
                ac.samples.erase(ac.samples.begin() + 1);
                continue;
            }
            lf_throwIfUnfinished(ac);
            if (const std::string why = lf_nextSegment(ac); !why.empty()) {
                // Out of samples: say why the aircraft goes, since nothing else will.
                gf_log(fmt::format("          {} removed: {}", gf_acLogText(ac), why));
                removeAircraftFromSim(ac);
                return;
            }
        }
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{}: {} {}, sz:{}, fs:{}, st:{}", "nextPosMain", e.what(), gf_acLogText(ac),
                                ac.samples.size(), gf_acPhaseName(ac.phase), gf_simStateName(ac.simState)));
        throw;
    }
}

void gf_stepAlongLeg(LiveAc& ac) {
    gf_integratePass(ac);
}

void gf_initialPosition(LiveAc& ac) {
    gf_queueCoupledSearch(ac.hexid);
    const PosSample& first = ac.samples.front();
    AiPosition& p = ac.pos;
    p.latitude = first.lat;
    p.longitude = first.lon;
    p.altitude = first.alt;
    p.verticalSpeed = first.vs / 60.0;
    p.trueAirspeed = first.tas;
    p.bank = first.bank.value_or(0.0);
    p.pitch = first.airborne ? gf_pitchForVerticalSpeed(first.vs) : 0.6 * radiansPerDegree;
    double heading = first.track * radiansPerDegree;
    if (ac.keptHeading)
        heading = *ac.keptHeading;
    else if (ac.phase == AcPhase::parked)
        heading = ac.standHdg;
    else if (ac.samples.size() >= 2 && !ac.samples[1].standing)
        heading = gf_bearing(lf_at(first), lf_at(ac.samples[1]));
    ac.keptHeading.reset();
    p.heading = gf_normalizedHeading(heading);
    MoveState& m = ac.move;
    m.headingStep = 0;
    m.targetBearing = p.heading;
    m.lagBound = startBoundPasses;
    m.leadBound = startBoundPasses;
}

bool decodeExisting(LiveAc& ac, PosSample sample) {
    try {
        auto& q = ac.samples;
        if (q.size() > maxQueuedSamples) {
            removeAircraftFromSim(ac);
            return false;
        }
        if (ac.move.holding && !q.empty() &&
            gf_distanceNm(lf_at(sample), lf_at(q.front())) * metresPerNm >
                static_cast<double>(HOLDING_THRESHOLD_METERS.value.load())) {
            ac.move.holding = false;
            removeAircraftFromSim(ac);
            return false;
        }
        if (ac.phase == AcPhase::birth) {
            if (q.empty() || !lf_firstRecordCheck(ac, sample)) return false;
            sample.duePass = std::max(sample.duePass, q.back().duePass + 1);
            q.push_back(sample);
            return true;
        }
        if (q.empty()) {
            gf_logError(fmt::format("{} empty sz? {}", "decodeExisting", gf_acLogText(ac)));
            return false;
        }
        if (!lf_checkExtendingSituations(ac, sample)) return false;
        if (!sample.airborne && q.back().standing) lf_trimStandingSamples(ac, sample);
        sample.duePass = std::max(sample.duePass, q.back().duePass + 1);
        MoveState& m = ac.move;
        if (ac.simState == SimState::active && ac.onGround && !m.takeoffRun && !m.landingRoll &&
            ac.phase == AcPhase::taxi && (sample.airborne || (sample.gs >= 43 && q.back().gs >= 43)))
            gf_startTakeOff(ac);
        else if (m.landingRoll && sample.airborne && q.back().airborne)
            gf_restartTakeOffRun(ac);
        q.push_back(sample);
        if (q.size() == 2 && q[0].standing && q[1].standing) {
            q[0].duePass = lf_now() + 1;
            q[0].gs = q[1].gs;
        }
        return true;
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{} exception {}", "decodeExisting", e.what()));
        throw;
    }
}
