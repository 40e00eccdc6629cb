// The air step: altitude rates towards the ground, pitch and bank limits, cruise lights, the approach
// and the climb search.

#include "core/units.h"
#include "engine/base/engine_tables.h"
#include "engine/engine_reset.h"
#include "engine/live/air_movement.h"
#include "engine/live/movement.h"
#include "engine_fixture.h"
#include "refdata/park_airport.h"
#include "simlink/sim_ids.h"

#include <gmock/gmock.h>

#include <cmath>
#include <numbers>

namespace enginetest {
namespace {

constexpr double degToRad = pi / 180.0;
constexpr Lalo lszh{47.4581, 8.5481};

class AirMovementTest : public EngineTest {
protected:
    void TearDown() override {
        gf_resetParkAirportForTests();
        currentQnh = 1013;
        EngineTest::TearDown();
    }

    static void setParkAirport(double elevationFt) {
        parkAirportCode = "LSZH";
        currentParkAirport.code = "LSZH";
        currentParkAirport.lat = lszh.lat;
        currentParkAirport.lon = lszh.lon;
        currentParkAirport.alt = elevationFt;
    }

    static PosSample sample(double lat, double alt, bool airborne, double vs, std::int64_t due) {
        PosSample s;
        s.lat = lat;
        s.lon = lszh.lon;
        s.alt = alt;
        s.gs = 160;
        s.vs = vs;
        s.track = 0;
        s.airborne = airborne;
        s.duePass = due;
        return s;
    }

    // A flying aircraft at `alt` feet, `height` feet above the ground, `nm` north of Zurich.
    static LiveAc& flying(double alt, double height, double nm = 30, const std::string& type = "A320") {
        LiveAc& ac = liveAc(0x4B0001 + static_cast<std::uint32_t>(engineLists.liveAcs.size()), "SWR1", type);
        gf_setObjectId(ac, 60 + static_cast<std::uint32_t>(engineLists.liveAcs.size()));
        ac.simState = SimState::active;
        ac.phase = AcPhase::flying;
        ac.onGround = false;
        ac.pos.latitude = lszh.lat + nm / 60.0;
        ac.pos.longitude = lszh.lon;
        ac.pos.altitude = alt;
        ac.move.heightAboveGround = height;
        ac.factorA = gf_factorAOf(ac.sizeCat);
        ac.samples.clear();
        return ac;
    }

    // Gives the aircraft a leg from where it is to a sample `dLat` further north and runs the movement
    // step; returns the leg's length in passes.
    static std::int64_t leg(LiveAc& ac, double alt1, bool airborne1, double vs0, double vs1,
                            double dLat = 0.02, std::int64_t due = 2000) {
        const std::int64_t now = enginePassCount.load();
        ac.samples.clear();
        ac.samples.push_back(sample(ac.pos.latitude, ac.pos.altitude, true, vs0, now));
        ac.samples.push_back(sample(ac.pos.latitude + dLat, alt1, airborne1, vs1, now + due));
        nextPosMain(ac);
        return std::max<std::int64_t>(ac.samples.front().duePass - now, shortestLegPasses);
    }

    static std::vector<std::uint32_t> values(const std::vector<ClientEventCmd>& events, std::uint32_t event) {
        std::vector<std::uint32_t> out;
        for (const ClientEventCmd& e : events)
            if (e.eventId == event) out.push_back(e.data);
        return out;
    }
};

TEST_F(AirMovementTest, TouchDownLegs) {
    struct Case {
        const char* what;
        std::int32_t qnh;
        std::optional<double> parkElevation;
    } const cases[] = {
        {"QNH 1020", 1020, 1400.0},
        {"QNH 1013, park airport", 1013, 1400.0},
        {"QNH 1013, no park airport", 1013, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        gf_resetEngineForTests();
        gf_resetParkAirportForTests();
        currentQnh = c.qnh;
        if (c.parkElevation) setParkAirport(*c.parkElevation);
        LiveAc& ac = flying(2400, 1000);
        const std::int64_t d = leg(ac, 0, false, -700, -700);
        if (c.qnh > 1013) {
            EXPECT_LE(ac.move.altStep * 6000, -601.0);
            EXPECT_DOUBLE_EQ(ac.samples.front().vs, ac.move.altStep * 6000)
                << "the rate is written into the sample";
        } else if (c.parkElevation) {
            for (std::int64_t i = 0; i < d; ++i)
                gf_stepAlongLeg(ac);
            EXPECT_NEAR(ac.pos.altitude, *c.parkElevation, 1e-6) << "the airport's elevation after d passes";
        } else {
            EXPECT_DOUBLE_EQ(ac.move.altStep * 6000, -601.0);
        }
        EXPECT_EQ(values(takeEvents(), evGearSet), (std::vector<std::uint32_t>{1}));
    }
}

TEST_F(AirMovementTest, AHeavyPitchesAndBanksGently) {
    LiveAc& ac = flying(20000, 19000, 30, "B77W");
    ASSERT_EQ(ac.sizeCat, SizeCategory::Heavy);
    // A short leg into a steep descent: the pitch moves by its limit per pass.
    leg(ac, 19900, true, 0, -3000, 0.001, 100);
    EXPECT_NEAR(std::fabs(ac.move.pitchStep), 0.005 * degToRad, 1e-15);

    // A long leg before a right turn of about 90 degrees: the bank goes to 20 degrees and no further.
    const std::int64_t now = enginePassCount.load();
    ac.samples.clear();
    ac.samples.push_back(sample(ac.pos.latitude, 20000, true, 0, now));
    ac.samples.push_back(sample(ac.pos.latitude + 0.5, 14000, true, -3000, now + 30000));
    PosSample beyond = sample(ac.pos.latitude + 0.5, 13000, true, -3000, now + 40000);
    beyond.lon += 1.0;
    ac.samples.push_back(beyond);
    const double pitch0 = ac.pos.pitch;
    nextPosMain(ac);
    const std::int64_t d = ac.samples.front().duePass - now;
    ASSERT_GT(d, 20000);
    for (std::int64_t i = 0; i < d; ++i) {
        gf_stepAlongLeg(ac);
        ASSERT_LE(std::fabs(ac.pos.bank), 20 * degToRad + 1e-9) << i;
    }
    EXPECT_NEAR(std::fabs(ac.pos.bank), 20 * degToRad, 1e-6) << "the full bank of a heavy";
    EXPECT_LE(std::fabs(ac.pos.pitch - pitch0), 0.005 * degToRad * static_cast<double>(d) + 1e-9);
}

TEST_F(AirMovementTest, CruiseLightsOncePerCrossing) {
    LiveAc& ac = flying(9000, 8000);
    std::vector<std::uint32_t> landing;
    for (const double alt : {9000.0, 11000.0, 12000.0, 9500.0, 10500.0, 11500.0}) {
        ac.pos.altitude = alt;
        leg(ac, alt, true, 0, 0);
        const auto events = takeEvents();
        for (const std::uint32_t v : values(events, evLandingLightsSet))
            landing.push_back(v);
    }
    // Landing lights on below 10,000 ft, off with the cruise lights: once per crossing.
    EXPECT_EQ(landing, (std::vector<std::uint32_t>{1, 0, 1, 0}));
}

TEST_F(AirMovementTest, TheApproachStartsWithinTenMiles) {
    setParkAirport(1400);
    for (const double nm : {12.0, 8.0}) {
        SCOPED_TRACE(nm);
        gf_resetEngineForTests();
        LiveAc& ac = flying(3000, 1600, nm);
        leg(ac, 2800, true, -800, -800, -0.01);
        const auto events = takeEvents();
        const bool near = nm < 10;
        EXPECT_EQ(ac.move.approach, near);
        EXPECT_EQ(values(events, evThrottleSet),
                  near ? std::vector<std::uint32_t>{4914} : std::vector<std::uint32_t>{});
        EXPECT_EQ(values(events, evFlapsSet),
                  near ? std::vector<std::uint32_t>{16383} : std::vector<std::uint32_t>{});
        EXPECT_EQ(values(events, evGearSet),
                  near ? std::vector<std::uint32_t>{1} : std::vector<std::uint32_t>{});
        EXPECT_EQ(std::count(engineLists.coupledSearchQueue.begin(), engineLists.coupledSearchQueue.end(),
                             ac.hexid),
                  near ? 1 : 0)
            << "queued for the duplicate check";
    }
}

TEST_F(AirMovementTest, ClimbSearchTakesTheFirstAirborneSample) {
    struct Case {
        std::vector<bool> airborne; // of the queued samples, sample 0 first
        bool found;
        std::size_t left;
    } const cases[] = {
        {{false, false, true, true}, true, 3},
        {{false, false, false, true, true}, true, 3},
        {{false, true, true}, false, 3},
        {{false, false, false, false}, false, 4},
        {{false, false, false, false, false, false, false, false, false, false, false, true}, false, 12},
    };
    for (const Case& c : cases) {
        gf_resetEngineForTests();
        LiveAc& ac = flying(1500, 100);
        const std::int64_t now = enginePassCount.load();
        for (std::size_t i = 0; i < c.airborne.size(); ++i)
            ac.samples.push_back(sample(ac.pos.latitude + 0.001 * static_cast<double>(i),
                                        c.airborne[i] ? 1600 + 100.0 * static_cast<double>(i) : 0,
                                        c.airborne[i], 500, now + 100 * static_cast<std::int64_t>(i)));
        EXPECT_EQ(gf_climbSearch(ac), c.found) << c.airborne.size();
        EXPECT_EQ(ac.samples.size(), c.left);
        if (c.found) {
            EXPECT_TRUE(ac.samples[1].airborne);
            EXPECT_FALSE(ac.samples[0].airborne);
            EXPECT_LE(ac.move.altStep, ac.factorA);
            EXPECT_GT(ac.move.altStep, 0.0);
        }
    }
}

TEST_F(AirMovementTest, FlareStagesFollowTheHeight) {
    LiveAc& ac = flying(1450, 60, 1);
    ac.cgHeight = 10;
    ac.move.approach = true;
    ac.move.altStep = -1;
    ac.samples.push_back(sample(ac.pos.latitude, 1400, true, -700, 100000));
    struct Step {
        double height;
        std::uint32_t stage;
        double altStep;
    } const steps[] = {
        {41, 0, -1},    {40, 1, -0.1},  {31, 1, -0.1},   {30, 2, -0.075}, {21, 2, -0.075},
        {20, 3, -0.05}, {14, 3, -0.05}, {13, 4, -0.025}, {5, 4, -0.025},
    };
    for (const Step& st : steps) {
        SCOPED_TRACE(st.height);
        ac.move.heightAboveGround = st.height;
        gf_attitudePass(ac);
        EXPECT_EQ(ac.move.flareStage, st.stage);
        EXPECT_DOUBLE_EQ(ac.move.altStep, st.altStep);
        EXPECT_GE(ac.pos.pitch, -4.0 * degToRad) << "never beyond 4 degrees nose up";
    }
    EXPECT_EQ(values(takeEvents(), evThrottleSet), (std::vector<std::uint32_t>{0})) << "idle at stage 3";
    EXPECT_EQ(ac.samples.front().vs, -150);
}

TEST_F(AirMovementTest, RotationAndClimbOut) {
    LiveAc& ac = flying(1400, 0, 1);
    ac.onGround = true;
    ac.phase = AcPhase::taxi;
    ac.pos.pitch = ac.staticPitch;
    gf_startTakeOffPhase(ac);
    EXPECT_EQ(ac.phase, AcPhase::take_off);
    EXPECT_TRUE(ac.move.takeoffRun) << "the take-off start ran first";
    takeEvents();
    const std::int32_t rotation = static_cast<std::int32_t>(std::max<std::uint32_t>(ac.rotationSlots, 1));
    ac.move.altStep = 1;
    int gearUpAt = -1;
    for (int i = 1; i <= rotation + 400; ++i) {
        gf_attitudePass(ac);
        if (!values(takeEvents(), evGearSet).empty() && gearUpAt < 0) gearUpAt = i;
    }
    EXPECT_FALSE(ac.onGround);
    EXPECT_EQ(gearUpAt, rotation + 300) << "gear up at countdown -300";
    EXPECT_EQ(ac.phase, AcPhase::take_off) << "below 800 ft";
    EXPECT_NEAR(ac.pos.pitch, ac.pitchB,
                std::fabs(ac.pitchB - ac.takeoffPitch) / std::max<double>(ac.slotsD, 1) + 1e-12);
    ac.move.heightAboveGround = 800;
    gf_attitudePass(ac);
    EXPECT_EQ(ac.phase, AcPhase::flying);
    EXPECT_EQ(values(takeEvents(), evThrottleSet), (std::vector<std::uint32_t>{11468}));
}

TEST_F(AirMovementTest, ATouchAndGoRestartsTheTakeOff) {
    LiveAc& ac = flying(1400, 0, 1);
    ac.onGround = true;
    ac.phase = AcPhase::taxi;
    ac.move.landingRoll = true;
    ac.move.approach = true;
    const std::int64_t now = enginePassCount.load();
    ac.samples.push_back(sample(ac.pos.latitude, 1500, true, 800, now + 100));
    EXPECT_TRUE(decodeExisting(ac, sample(ac.pos.latitude + 0.01, 1700, true, 900, now + 300)));
    EXPECT_TRUE(ac.move.takeoffRun);
    EXPECT_FALSE(ac.move.approach);
    EXPECT_EQ(ac.move.leadBound, takeoffLeadPasses);
    const auto events = takeEvents();
    EXPECT_EQ(values(events, evThrottleSet), (std::vector<std::uint32_t>{11468}));
    EXPECT_EQ(values(events, evSpoilersSet), (std::vector<std::uint32_t>{16383}));

    gf_startTakeOffPhase(ac);
    EXPECT_FALSE(ac.move.landingRoll) << "the rotation ends the landing roll";
    EXPECT_EQ(ac.phase, AcPhase::take_off);
    EXPECT_EQ(values(takeEvents(), evThrottleSet), (std::vector<std::uint32_t>{16383}));
}

TEST_F(AirMovementTest, SamplesDuringApproachAndLandingRoll) {
    const std::int64_t now = enginePassCount.load();
    // Heading north on approach; a sample behind the aircraft is dropped.
    LiveAc& approaching = flying(3000, 1600, 5);
    approaching.move.approach = true;
    approaching.samples.push_back(sample(approaching.pos.latitude, 3000, true, -700, now + 100));
    EXPECT_FALSE(
        decodeExisting(approaching, sample(approaching.pos.latitude - 0.01, 2900, true, -700, now + 300)));
    EXPECT_EQ(approaching.samples.size(), 1u);

    // Rolling out with one sample: a sample pointing back restarts the queue where the aircraft is.
    LiveAc& rolling = flying(1400, 0, 2);
    rolling.onGround = true;
    rolling.phase = AcPhase::taxi;
    rolling.move.landingRoll = true;
    rolling.samples.push_back(sample(rolling.pos.latitude + 0.005, 0, false, 0, now + 100));
    rolling.samples.front().gs = 80;
    PosSample back = sample(rolling.pos.latitude - 0.02, 0, false, 0, now + 3000);
    back.gs = 120;
    EXPECT_TRUE(decodeExisting(rolling, back));
    ASSERT_EQ(rolling.samples.size(), 2u);
    EXPECT_DOUBLE_EQ(rolling.samples.front().lat, rolling.pos.latitude);
    EXPECT_EQ(rolling.samples.front().duePass, now + 1);
    EXPECT_DOUBLE_EQ(rolling.samples.back().gs, 80) << "no faster than the last sample";

    // With more samples, a last sample that the new one would turn back from is erased.
    LiveAc& queued = flying(3000, 1600, 20);
    queued.move.approach = true;
    queued.samples.push_back(sample(queued.pos.latitude + 0.01, 3000, true, -700, now + 100));
    queued.samples.push_back(sample(queued.pos.latitude + 0.03, 2900, true, -700, now + 300));
    EXPECT_TRUE(decodeExisting(queued, sample(queued.pos.latitude + 0.02, 2800, true, -700, now + 500)));
    ASSERT_EQ(queued.samples.size(), 2u);
    EXPECT_DOUBLE_EQ(queued.samples.back().lat, queued.pos.latitude + 0.02);
}

TEST_F(AirMovementTest, ADepartureFirstSeenInTheAirClimbsOut) {
    setParkAirport(1400);
    LiveAc& ac = flying(1900, 500, 2);
    ac.phase = AcPhase::birth;
    leg(ac, 2100, true, 1500, 1500);
    EXPECT_EQ(ac.phase, AcPhase::flying);
    EXPECT_TRUE(ac.move.climbOutDone);
    const auto events = takeEvents();
    EXPECT_EQ(values(events, evThrottleSet), (std::vector<std::uint32_t>{16383}));
    EXPECT_EQ(values(events, evGearSet), (std::vector<std::uint32_t>{0}));
    EXPECT_EQ(values(events, evFlapsSet), (std::vector<std::uint32_t>{0}));
    // Only once: the next leg of the climb sends nothing of it again.
    leg(ac, 2300, true, 1500, 1500);
    EXPECT_TRUE(values(takeEvents(), evThrottleSet).empty());
}

} // namespace
} // namespace enginetest
