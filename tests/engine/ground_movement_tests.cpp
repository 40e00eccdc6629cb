// Ground movement: corner curves and midpoints, push-back and pulling out, the take-off run and the
// landing roll, the rotation, and the arrival at a stand.

#include "core/geodesy.h"
#include "core/timeutil.h"
#include "core/units.h"
#include "engine/base/engine_tables.h"
#include "engine/engine_reset.h"
#include "engine/live/ground_movement.h"
#include "engine/live/live_update.h"
#include "engine/live/movement.h"
#include "simlink/sim_ids.h"
#include "stand_fixture.h"

#include <gmock/gmock.h>

#include <cmath>
#include <map>
#include <numbers>

namespace enginetest {
namespace {
constexpr double degToRad = pi / 180.0;
constexpr double feetPerMetre = 3.28083989501;
constexpr Lalo base{47.45, 8.56};

// The point `north` and `east` metres from the base.
Lalo offset(double north, double east) {
    const Lalo n = gf_destinationPoint(base, 0, north * feetPerMetre);
    return gf_destinationPoint(n, pi / 2, east * feetPerMetre);
}

double metresBetween(const Lalo& a, const Lalo& b) {
    return gf_distanceNm(a, b) * metresPerNm;
}

Lalo where(const PosSample& s) {
    return Lalo{s.lat, s.lon};
}

double headingDeg(const LiveAc& ac) {
    return ac.pos.heading / degToRad;
}

class GroundMovementTest : public StandTest {
protected:
    static PosSample at(const Lalo& p, std::int64_t due, double gs) {
        PosSample s;
        s.lat = p.lat;
        s.lon = p.lon;
        s.gs = gs;
        s.duePass = due;
        return s;
    }

    // An active aircraft taxiing on the ground at the base, heading `headingDegrees`, its only sample due
    // now.
    static LiveAc& taxiing(const std::string& type = "A320", double headingDegrees = 0, double gs = 10) {
        const auto hexid = 0x4B0001 + static_cast<std::uint32_t>(engineLists.liveAcs.size());
        LiveAc& ac = liveAc(hexid, "SWR" + std::to_string(engineLists.liveAcs.size() + 1), type);
        ac.samples.clear();
        ac.samples.push_back(at(base, enginePassCount.load(), gs));
        ac.simState = SimState::active;
        ac.phase = AcPhase::taxi;
        ac.onGround = true;
        ac.pos.latitude = base.lat;
        ac.pos.longitude = base.lon;
        ac.pos.altitude = 1400;
        ac.pos.heading = headingDegrees * degToRad;
        ac.move.targetBearing = ac.pos.heading;
        ac.move.lagBound = startBoundPasses;
        ac.move.leadBound = startBoundPasses;
        ac.halfSize = gf_wingspanOf(type);
        ac.rateB = ac.rateA;
        ac.factorA = gf_factorAOf(ac.sizeCat);
        ac.factorB = gf_factorBOf(ac.sizeCat);
        gf_setObjectId(ac, 60 + static_cast<std::uint32_t>(engineLists.liveAcs.size()));
        return ac;
    }

    // Passes of updateLiveAc while `go` holds (at most `limit`); `each` sees the aircraft after each pass.
    static void run(LiveAc& ac, std::int64_t limit, const std::function<bool()>& go,
                    const std::function<void(const LiveAc&)>& each = {}) {
        for (std::int64_t i = 0; i < limit && go() && ac.simState == SimState::active; ++i) {
            updateLiveAc(ac);
            positionWriteBuffer.clear();
            if (each) each(ac);
            enginePassCount.fetch_add(1);
        }
    }

    // The last value sent of each event to the object.
    static std::map<std::uint32_t, std::uint32_t> lastEvents(std::uint32_t oid) {
        std::map<std::uint32_t, std::uint32_t> last;
        for (const ClientEventCmd& e : takeEvents())
            if (e.objectId == oid) last[e.eventId] = e.data;
        return last;
    }

    // A parked aircraft at a stand at the base heading north, 20 m radius, with its push-back pending and
    // a feed sample `aheadDeg` off the stand heading, 30 m away.
    LiveAc& leaving(double aheadDeg, bool standListed = true) {
        std::uint32_t sid = 99;
        if (standListed) {
            ParkPos& s = stand("E12", base.lat, base.lon, 20.0);
            sid = s.sid;
        }
        LiveAc& ac = taxiing();
        ac.phase = AcPhase::parked;
        ac.sid = sid;
        ac.standLat = base.lat;
        ac.standLon = base.lon;
        ac.standHdg = 0;
        ac.samples.front().standing = true;
        ac.samples.front().gs = 0;
        ac.move.pushbackPending = true;
        const Lalo away = gf_destinationPoint(base, aheadDeg * degToRad, 30 * feetPerMetre);
        ac.samples.push_back(at(away, enginePassCount.load() + 1500, 5));
        return ac;
    }
};

TEST_F(GroundMovementTest, ACornerIsTakenOnACurveThatEndsOnTheSampleAfterIt) {
    // 40 m north, then 40 m east: a right angle, too short a leg for a midpoint.
    LiveAc& ac = taxiing();
    const std::int64_t now = enginePassCount.load();
    const Lalo corner = offset(40, 0);
    const Lalo end = offset(40, 40);
    ac.samples.push_back(at(corner, now + 780, 10));
    ac.samples.push_back(at(end, now + 1560, 10));
    double nearestCorner = 1e9;
    double largestTurn = 0;
    double lastHeading = headingDeg(ac);
    run(
        ac, 5000, [&] { return ac.samples.size() > 1 || !ac.samples.front().standing; },
        [&](const LiveAc& a) {
            nearestCorner =
                std::min(nearestCorner, metresBetween(Lalo{a.pos.latitude, a.pos.longitude}, corner));
            largestTurn =
                std::max(largestTurn, std::fabs(std::remainder(headingDeg(a) - lastHeading, 360.0)));
            lastHeading = headingDeg(a);
        });
    EXPECT_LT(metresBetween(Lalo{ac.pos.latitude, ac.pos.longitude}, end), 0.5) << "ends on the sample";
    EXPECT_GT(nearestCorner, 5.0) << "never through the corner sample";
    EXPECT_NEAR(headingDeg(ac), 90.0, 10.0) << "turned to the new leg";
    EXPECT_LT(largestTurn, 1.0) << "degrees per pass";
}

TEST_F(GroundMovementTest, CornersAndSpeedChangesChooseCurveMidpointOrNeither) {
    struct Case {
        const char* what;
        double cornerMetres;  // sample 1 straight ahead
        double turnDeg;       // sample 2 off the first leg, 40 m on
        double gs0, gs1;      // knots
        std::int64_t passes1; // sample 1 due after sample 0
        bool threeSamples;
        bool curve;
        bool midpoint;
    } const cases[] = {
        {"right angle, short leg", 40, 90, 10, 10, 780, true, true, false},
        {"wide turn over 160 degrees", 40, 170, 10, 10, 780, true, false, false},
        {"sharp turn, slow, long and late: midpoint first", 100, 90, 20, 20, 1000, true, false, true},
        {"sharp turn too fast for a midpoint", 100, 90, 50, 50, 1000, true, true, false},
        {"sharp turn due too soon for a midpoint", 100, 90, 20, 20, 500, true, true, false},
        {"gentle turn of 30 degrees", 100, 30, 20, 20, 1000, true, true, false},
        {"straight under 100 m, speed change", 80, 0, 5, 15, 1000, false, false, false},
        {"straight over 100 m, speed change", 150, 0, 5, 15, 1000, false, false, true},
        {"straight over 100 m, small speed change", 150, 0, 10, 14, 1000, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        gf_resetEngineForTests();
        LiveAc& ac = taxiing("A320", 0, c.gs0);
        const std::int64_t now = enginePassCount.load();
        const Lalo p1 = offset(c.cornerMetres, 0);
        ac.samples.push_back(at(p1, now + c.passes1, c.gs1));
        if (c.threeSamples)
            ac.samples.push_back(at(gf_destinationPoint(p1, c.turnDeg * degToRad, 40 * feetPerMetre),
                                    now + 2 * c.passes1, c.gs1));
        const std::size_t before = ac.samples.size();
        nextPosMain(ac);
        EXPECT_EQ(gf_hasCurve(ac.move), c.curve);
        // The consume step takes sample 0 off; a midpoint adds one, a curve takes the corner off.
        const std::size_t expected = before - 1 + (c.midpoint ? 1 : 0) - (c.curve ? 1 : 0);
        EXPECT_EQ(ac.samples.size(), expected);
        if (c.midpoint) {
            EXPECT_NEAR(metresBetween(base, where(ac.samples.front())), c.cornerMetres / 2, 0.5);
        }
    }
}

TEST_F(GroundMovementTest, AStraightLegsTurnIsTimedToEndWithinTheLeg) {
    // A 200 m leg at 10 kn that starts off the aircraft's heading: the turn rate is scaled to the leg,
    // the heading reaches the leg's bearing before the leg ends and never overshoots it.
    for (const double turnDeg : {10.0, 30.0, 60.0, 90.0, 150.0}) {
        SCOPED_TRACE(turnDeg);
        gf_resetEngineForTests();
        LiveAc& ac = taxiing("A320", 0, 10);
        const Lalo to = gf_destinationPoint(base, turnDeg * degToRad, 200 * feetPerMetre);
        ac.samples.push_back(at(to, enginePassCount.load() + 3888, 10));
        nextPosMain(ac);
        ASSERT_EQ(ac.samples.size(), 1u);
        EXPECT_TRUE(ac.move.turning);
        if (turnDeg >= 90) {
            EXPECT_GE(ac.move.lagBound, 2000);
            EXPECT_GE(ac.move.leadBound, 2000);
        }
        const std::int64_t due = ac.samples.front().duePass;
        double largest = 0;
        run(
            ac, due - enginePassCount.load(), [] { return true; },
            [&](const LiveAc& a) { largest = std::max(largest, std::remainder(headingDeg(a), 360.0)); });
        EXPECT_NEAR(std::remainder(headingDeg(ac) - turnDeg, 360.0), 0.0, 0.51)
            << "within the half-degree dead band";
        EXPECT_LE(largest, turnDeg + 0.5);
    }
}

TEST_F(GroundMovementTest, AZeroTangentKeepsTheHeading) {
    // The control point on the aircraft: the tangent at the start is zero.
    MoveState m;
    gf_makeCurve(m, base, base, offset(0, 50));
    const auto start = gf_curveAt(m, 0);
    ASSERT_TRUE(start.has_value());
    EXPECT_FALSE(start->heading.has_value());
    const auto later = gf_curveAt(m, 0.5);
    ASSERT_TRUE(later.has_value() && later->heading.has_value());
    EXPECT_NEAR(*later->heading, pi / 2, 1e-4);
    EXPECT_FALSE(gf_curveAt(m, 1.5).has_value()) << "outside the curve";

    LiveAc& ac = taxiing("A320", 250);
    ac.move = m;
    ac.move.curveStep = 0; // stays at the start
    gf_integratePass(ac);
    EXPECT_NEAR(headingDeg(ac), 250.0, 1e-9) << "not turned towards north";
}

TEST_F(GroundMovementTest, PushBackEndsBehindTheStandOrTurnsToTheFeedsSide) {
    struct Case {
        const char* what;
        bool straightOnly;
        std::optional<double> feedTrackDeg; // the first feed sample in stage 2
        double endBearingDeg;               // from the stand to the end point
        double endMetres;
        double endHeadingDeg;
    } const cases[] = {
        {"straight only", true, 90.0, 180, 50, 0},
        {"no side from the feed", false, std::nullopt, 180, 50, 0},
        // The side point is one half size (A320) beside the point behind the stand.
        {"feed turned right", false, 90.0, 180 + std::atan2(17.9, 50) / degToRad, std::hypot(50, 17.9), 90},
        {"feed turned left", false, 270.0, 180 - std::atan2(17.9, 50) / degToRad, std::hypot(50, 17.9), 270},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        gf_resetEngineForTests();
        lf_resetStands();
        STRAIGHT_PBS_ONLY.value = c.straightOnly;
        LiveAc& ac = leaving(180);
        ac.halfSize = 17.9 / metresPerNm;
        bool fed = false;
        double largestJump = 0;
        Lalo last{ac.pos.latitude, ac.pos.longitude};
        run(
            ac, 20000, [&] { return ac.phase != AcPhase::pushed_back; },
            [&](const LiveAc& a) {
                const Lalo here{a.pos.latitude, a.pos.longitude};
                largestJump = std::max(largestJump, metresBetween(last, here));
                last = here;
                if (!fed && a.phase == AcPhase::pushing_back && c.feedTrackDeg) {
                    PosSample s = at(offset(-60, 0), enginePassCount.load() + 3000, 3);
                    s.track = *c.feedTrackDeg;
                    EXPECT_FALSE(decodeExisting(ac, s)) << "the side sample is not queued";
                    fed = true;
                }
            });
        ASSERT_EQ(ac.phase, AcPhase::pushed_back);
        const Lalo end{ac.pos.latitude, ac.pos.longitude};
        EXPECT_NEAR(metresBetween(base, end), c.endMetres, 1.0);
        EXPECT_NEAR(std::remainder(gf_bearing(base, end) / degToRad - c.endBearingDeg, 360.0), 0.0, 2.0);
        EXPECT_NEAR(std::remainder(headingDeg(ac) - c.endHeadingDeg, 360.0), 0.0,
                    c.straightOnly ? 0.5 : 20.0);
        EXPECT_LT(largestJump, 0.5) << "metres per pass";
        EXPECT_FALSE(ac.move.pushbackPending);
    }
    STRAIGHT_PBS_ONLY.value = false;
}

TEST_F(GroundMovementTest, APushedBackAircraftHoldsUntilItMovesOff) {
    // Distances of successive feed samples in half sizes; true where the aircraft moves off.
    struct Case {
        const char* what;
        std::vector<double> halfSizes;
        bool movesOff;
    } const cases[] = {
        {"within 2.75 half sizes", {1.0, 2.0, 2.7}, false},
        {"beyond 2.75 and farther than before", {2.0, 3.0}, true},
        {"beyond 2.75 but coming closer", {4.0, 3.5}, false},
        {"beyond 6 half sizes at once", {6.5}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        gf_resetEngineForTests();
        LiveAc& ac = taxiing();
        ac.setPhase(AcPhase::pushed_back);
        ac.sid = 7;
        ac.standLat = base.lat;
        ac.move.pushbackStage = 1;
        ac.move.lastPushedBackDistance = 900;
        bool accepted = false;
        for (const double h : c.halfSizes) {
            PosSample s = at(gf_destinationPoint(base, 0, h * ac.halfSize * feetPerNm),
                             enginePassCount.load() + 3000, 5);
            accepted = decodeExisting(ac, s);
        }
        EXPECT_EQ(accepted, c.movesOff);
        EXPECT_EQ(ac.phase, c.movesOff ? AcPhase::taxi : AcPhase::pushed_back);
        EXPECT_EQ(ac.move.holding, !c.movesOff);
        EXPECT_EQ(ac.sid, c.movesOff ? 0u : 7u);
    }
}

TEST_F(GroundMovementTest, AParkedAircraftPullsOutPushesBackOrStays) {
    struct Case {
        const char* what;
        double lastSampleDeg; // off the stand heading
        bool listed;
        AcPhase phase;
    } const cases[] = {
        {"ahead: pulls out", 60, true, AcPhase::taxi},
        {"behind: pushed back", 120, true, AcPhase::pushing_back},
        {"stand not in the list: no push-back", 180, false, AcPhase::taxi},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        gf_resetEngineForTests();
        lf_resetStands();
        LiveAc& ac = leaving(c.lastSampleDeg, c.listed);
        nextPosMain(ac);
        EXPECT_EQ(ac.phase, c.phase);
        if (c.phase == AcPhase::taxi && c.listed) {
            // Two half sizes ahead along the stand heading, at taxi speed.
            const PosSample& target = ac.samples.front();
            EXPECT_NEAR(metresBetween(base, where(target)), 2 * ac.halfSize * metresPerNm, 0.1);
            EXPECT_NEAR(gf_bearing(base, where(target)), 0.0, 1e-6);
            EXPECT_FALSE(ac.move.pushbackPending);
            EXPECT_EQ(ac.move.pushbackStage, 0u);
        }
        if (!c.listed) {
            EXPECT_EQ(ac.move.pushbackStage, 0u);
            EXPECT_FALSE(ac.move.pushbackEnd.has_value());
            EXPECT_NEAR(metresBetween(base, where(ac.samples.front())), 30.0, 0.1) << "the feed's sample";
        }
    }
}

TEST_F(GroundMovementTest, TheTakeOffRunSetsThrottleBySpeed) {
    struct Case {
        const char* type;
        double gs0, gs1;
        std::uint32_t level;
    } const cases[] = {
        {"A320", 0, 0, 0},  {"A320", 15, 0, 1}, {"A320", 0, 20, 1},  {"A320", 20, 0, 2}, {"A320", 0, 25, 2},
        {"A320", 25, 0, 4}, {"A320", 0, 30, 4}, {"A320", 14, 19, 0}, {"EC35", 0, 0, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(fmt::format("{} {} -> {}", c.type, c.gs0, c.gs1));
        gf_resetEngineForTests();
        LiveAc& ac = taxiing(c.type, 0, c.gs0);
        ac.move.takeoffRun = true;
        // A short leg: no midpoint between the two speeds.
        ac.samples.push_back(at(offset(80, 0), enginePassCount.load() + 800, c.gs1));
        nextPosMain(ac);
        EXPECT_EQ(ac.throttleIdx, c.level);
    }
}

TEST_F(GroundMovementTest, TheLandingRollEndsFifteenDegreesOffTheTouchDownHeading) {
    struct Case {
        const char* what;
        double turnedDeg;
        double gs;
        bool ends;
        bool slows;
    } const cases[] = {
        {"turned 15 degrees", 15, 60, true, false},
        {"turned 14 degrees, fast", 14, 100, false, false},
        {"turned 14 degrees, slowed to 90 kn", 14, 90, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        gf_resetEngineForTests();
        LiveAc& ac = taxiing("A320", c.turnedDeg, c.gs);
        ac.move.landingRoll = true;
        ac.move.touchdownHeading = 0;
        ac.flapsIdx = 3;
        ac.throttleIdx = 4;
        ac.samples.push_back(at(offset(200, 0), enginePassCount.load() + 2000, c.gs));
        takeEvents();
        nextPosMain(ac);
        auto sent = lastEvents(ac.oid);
        EXPECT_EQ(ac.move.landingRoll, !c.ends);
        if (c.ends) {
            EXPECT_EQ(ac.flapsIdx, 0u);
            EXPECT_EQ(ac.throttleIdx, 0u);
            EXPECT_EQ(sent.at(evSpoilersSet), 0u);
            EXPECT_EQ(sent.at(evNavLightsSet), 1u);
            EXPECT_EQ(sent.at(evBeaconLightsSet), 1u);
            EXPECT_EQ(sent.at(evTaxiLightsSet), 1u);
            EXPECT_EQ(sent.at(evLogoLightsSet), 1u);
            EXPECT_EQ(sent.at(evCabinLightsSet), 1u);
            EXPECT_EQ(sent.at(evLandingLightsSet), 0u);
            EXPECT_EQ(sent.at(evStrobesSet), 0u);
        } else if (c.slows) {
            EXPECT_EQ(sent.at(evSpoilersSet), 0u);
            EXPECT_EQ(ac.flapsIdx, 1u);
            EXPECT_EQ(sent.count(evNavLightsSet), 0u);
        } else {
            EXPECT_EQ(sent.count(evSpoilersSet), 0u);
            EXPECT_EQ(ac.flapsIdx, 3u);
        }
    }
}

TEST_F(GroundMovementTest, TheEndOfTheLandingRollWritesTheControlBlockButNotForALightAircraft) {
    connect();
    for (const SizeCategory category : {SizeCategory::Large, SizeCategory::Light}) {
        SCOPED_TRACE(category == SizeCategory::Light ? "Light" : "Large");
        LiveAc& ac = taxiing("A320", 20, 60);
        ac.sizeCat = category;
        ac.move.landingRoll = true;
        ac.move.touchdownHeading = 0;
        ac.samples.push_back(at(offset(200, 0), enginePassCount.load() + 2000, 60));
        sync();
        const std::uint64_t before = stub_->callCount("SetDataOnSimObject");
        nextPosMain(ac);
        sync();
        EXPECT_FALSE(ac.move.landingRoll);
        EXPECT_EQ(stub_->callCount("SetDataOnSimObject") - before, category == SizeCategory::Light ? 0u : 1u);
    }
}

TEST_F(GroundMovementTest, RotationWaitsForAirborneSamplesAtTheCategorysSpeed) {
    struct Case {
        const char* what;
        const char* type;
        double laterGs;
        bool laterAirborne;
        bool rotates;
    } const cases[] = {
        {"Large at 140 kn, airborne", "A320", 140, true, true},
        {"Large at 139 kn", "A320", 139, true, false},
        {"Large at 140 kn, still on the ground", "A320", 140, false, false},
        {"Heavy at 140 kn", "B77W", 140, true, false},
        {"Heavy at 150 kn", "B77W", 150, true, true},
        {"business jet at 110 kn", "C56X", 110, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        gf_resetEngineForTests();
        LiveAc& ac = taxiing(c.type, 0, c.laterGs); // no speed change: no midpoint
        ac.move.takeoffRun = true;
        const std::int64_t now = enginePassCount.load();
        for (int k = 1; k <= 3; ++k) {
            PosSample s = at(offset(150.0 * k, 0), now + 200 * k, c.laterGs);
            s.airborne = c.laterAirborne;
            s.alt = c.laterAirborne ? 1420 + 10 * k : 0;
            s.vs = 0;
            ac.samples.push_back(s);
        }
        nextPosMain(ac);
        EXPECT_EQ(ac.phase == AcPhase::take_off, c.rotates);
        if (c.rotates) {
            EXPECT_DOUBLE_EQ(ac.move.altStep, ac.factorA);
        }
    }
}

TEST_F(GroundMovementTest, DriveToAStandAndArrive) {
    ParkPos& s = stand("E12", base.lat, base.lon + 0.001, 20.0);
    s.heading = 90 * degToRad;
    LiveAc& ac = taxiing("A320", 90, 5);
    ac.sid = s.sid;
    ac.standLat = s.lat;
    ac.standLon = s.lon;
    ac.standHdg = s.heading;
    ac.setPhase(AcPhase::parking);
    drive2Stand(ac, StandPlace{s.lat, s.lon, s.heading});
    ASSERT_EQ(ac.samples.size(), 3u);
    EXPECT_FALSE(ac.samples[1].standing);
    EXPECT_TRUE(ac.samples[2].standing);
    EXPECT_EQ(ac.samples[2].duePass - ac.samples[1].duePass, 50);
    currentWeekSlot = WeekSlot{3, 17}.packed();
    run(ac, 20000, [&] { return ac.phase != AcPhase::parked; });
    ASSERT_EQ(ac.phase, AcPhase::parked);
    EXPECT_LT(metresBetween(Lalo{ac.pos.latitude, ac.pos.longitude}, Lalo{s.lat, s.lon}), 2.0);
    EXPECT_EQ(ac.parkedSince, (WeekSlot{3, 17}.packed())) << "parked since the week slot of the arrival";
    EXPECT_NE(
        std::find(engineLists.coupledSearchQueue.begin(), engineLists.coupledSearchQueue.end(), ac.hexid),
        engineLists.coupledSearchQueue.end());
    EXPECT_THAT(logText(), testing::HasSubstr("E12     : SWR1     arrived at stand"));
    // Parked: the next made-up sample is a week away, and the aircraft stays.
    run(ac, 1000, [] { return true; });
    EXPECT_EQ(ac.simState, SimState::active);
    EXPECT_EQ(ac.phase, AcPhase::parked);
}

TEST_F(GroundMovementTest, AnArrivalAtAnOccupiedStandGoesAndTheOccupierKeepsItsMark) {
    ParkPos& s = stand("E14", base.lat, base.lon, 20.0);
    LiveAc& occupier = taxiing();
    occupier.phase = AcPhase::parked;
    occupier.sid = s.sid;
    gf_occupyStand(s.sid, occupier.hexid);
    LiveAc& ac = taxiing();
    ac.sid = s.sid;
    ac.standLat = s.lat;
    ac.standLon = s.lon;
    ac.setPhase(AcPhase::parking);
    nextPosMain(ac); // the queue has run dry in phase parking
    EXPECT_EQ(ac.simState, SimState::removingfromsim);
    EXPECT_EQ(ac.sid, 0u);
    EXPECT_TRUE(s.occupied);
    EXPECT_EQ(gf_standHolder(s.sid), occupier.hexid);
}

TEST_F(GroundMovementTest, TheCargoCheckAtArrivalTakesTheStandsCargoMark) {
    ParkPos& s = stand("C1", base.lat, base.lon, 20.0);
    s.cargo = true;
    int repaints = 0;
    gf_engineHooks().repaintStatus = [&] { ++repaints; };
    LiveAc& ac = taxiing();
    ac.cargo = true; // a cargo operator's aircraft
    ac.sid = s.sid;
    ac.standLat = s.lat;
    ac.standLon = s.lon;
    ac.setPhase(AcPhase::parking);
    nextPosMain(ac);
    ASSERT_EQ(ac.phase, AcPhase::parked);
    EXPECT_FALSE(s.cargo);
    EXPECT_TRUE(s.cargo_change);
    EXPECT_EQ(engineStatus.cargoChangeCount.load(), 1u);
    EXPECT_GE(repaints, 1);
}

} // namespace
} // namespace enginetest
