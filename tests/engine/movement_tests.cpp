// The movement step: legs and their timing, holding, dead reckoning, the sample intake of a known
// aircraft and the initial position.

#include "core/units.h"
#include "engine/base/engine_tables.h"
#include "engine/live/live_update.h"
#include "engine/live/movement.h"
#include "engine_fixture.h"

#include <gmock/gmock.h>
#include <gsl/narrow>

#include <cmath>
#include <numbers>

namespace enginetest {
namespace {

class MovementTest : public EngineTest {
protected:
    static PosSample sample(double lat, double lon, std::int64_t due, bool airborne, double gs) {
        PosSample s;
        s.lat = lat;
        s.lon = lon;
        s.alt = airborne ? 8000 : 0;
        s.gs = gs;
        s.track = 90;
        s.airborne = airborne;
        s.duePass = due;
        return s;
    }

    // An active aircraft with an object whose only sample is due now.
    static LiveAc& moving(std::uint32_t hexid, bool airborne, double gs, std::uint32_t oid) {
        LiveAc& ac = liveAc(hexid, "SWR" + std::to_string(hexid % 1000));
        ac.samples.clear();
        ac.samples.push_back(sample(47.45, 8.56, enginePassCount.load(), airborne, gs));
        ac.simState = SimState::active;
        ac.phase = airborne ? AcPhase::flying : AcPhase::taxi;
        ac.onGround = !airborne;
        ac.pos.latitude = 47.45;
        ac.pos.longitude = 8.56;
        ac.pos.altitude = airborne ? 8000 : 1400;
        ac.pos.heading = pi / 2;
        ac.halfSize = 0.0097; // 36 m span
        gf_setObjectId(ac, oid);
        return ac;
    }

    static void at(std::int64_t passNumber) { enginePassCount = passNumber; }

    // Runs updateLiveAc pass by pass until the aircraft is no longer active (at most `limit` passes);
    // returns the pass at which it stopped.
    static std::int64_t runUntilRemoved(LiveAc& ac, std::int64_t limit) {
        for (std::int64_t i = 0; i < limit && ac.simState == SimState::active; ++i) {
            updateLiveAc(ac);
            positionWriteBuffer.clear();
            enginePassCount.fetch_add(1);
        }
        return enginePassCount.load();
    }
};

TEST_F(MovementTest, LegTiming) {
    at(10000);
    // A ground leg whose sample is already past takes the shortest leg (the aircraft already heads
    // along it: a turn would widen the re-timing bounds).
    LiveAc& late = moving(0x4B0001, false, 15, 60);
    late.pos.heading = 0;
    late.samples.push_back(sample(47.46, 8.56, 9000, false, 15));
    updateLiveAc(late);
    EXPECT_NEAR(late.move.stepLat * 25, 0.01, 1e-12);
    EXPECT_NEAR(late.pos.latitude, 47.45 + 0.01 / 25, 1e-12) << "the first step is taken in the same pass";

    // In the air the sample is re-timed by the travel time: 6 nm at 360 kn are one minute, kept within
    // the lead bound of its feed time.
    struct Case {
        const char* what;
        std::int64_t feedDue;
        std::int64_t expectedDue;
    } const cases[] = {
        {"on time", 16000, 16000},
        {"feed 10 s early", 15000, 16000},
        {"feed far early", 11000, 14000},
        {"feed far late", 30000, 27000},
    };
    std::uint32_t hexid = 0x4B0010;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ++hexid;
        LiveAc& ac = moving(hexid, true, 360, 70 + hexid % 100);
        ac.move.lagBound = 3000;
        ac.move.leadBound = 3000;
        ac.samples.push_back(sample(47.55, 8.56, c.feedDue, true, 360));
        updateLiveAc(ac);
        ASSERT_EQ(ac.samples.size(), 1u);
        EXPECT_EQ(ac.samples.front().duePass, c.expectedDue);
    }

    // A leg whose travel time does not fit 32 bits is an error, not a wrapped number.
    LiveAc& bad = moving(0x4B0020, true, 0.0001, 90);
    bad.samples.front().gs = 0.0001;
    bad.samples.push_back(sample(10.0, 8.56, 16000, true, 0.0001));
    EXPECT_THROW(nextPosMain(bad), gsl::narrowing_error);
}

TEST_F(MovementTest, ALongQueueRemovesTheAircraft) {
    LiveAc& ac = moving(0x4B0001, true, 250, 60);
    for (int i = 1; i <= 200; ++i)
        ac.samples.push_back(sample(47.45 + 0.01 * i, 8.56, 100 * i, true, 250));
    ASSERT_EQ(ac.samples.size(), 201u);
    EXPECT_FALSE(decodeExisting(ac, sample(49.6, 8.56, 30000, true, 250)));
    EXPECT_EQ(ac.simState, SimState::removingfromsim);
}

TEST_F(MovementTest, ATaxiingAircraftHoldsThenGoes) {
    MAX_HOLDING_MINUTES.value = 2;
    at(1000);
    LiveAc& ac = moving(0x4B0001, false, 10, 60);
    const std::int64_t removedAt = runUntilRemoved(ac, 30000);
    EXPECT_EQ(ac.simState, SimState::removingfromsim);
    // Holding began at pass 1000; "more than 2 minutes" is 3 whole minutes, checked every 3 s.
    EXPECT_GE(removedAt - 1000, 3 * 6000);
    EXPECT_LE(removedAt - 1000, 3 * 6000 + 300);

    // A second taxiing aircraft within 1.2 x the summed half sizes: removed at once.
    LiveAc& first = moving(0x4B0002, false, 10, 61);
    LiveAc& neighbour = moving(0x4B0003, false, 10, 62);
    neighbour.pos.latitude += 0.0003; // 33 m, within 1.2 x 36 m
    neighbour.samples.front().duePass = enginePassCount.load() + 100000;
    updateLiveAc(first);
    EXPECT_EQ(first.simState, SimState::removingfromsim);

    // A new sample far from where it holds: removed, to be added again from later records.
    LiveAc& holding = moving(0x4B0004, false, 10, 63);
    holding.pos.latitude = 46.0;
    holding.samples.front().lat = 46.0;
    updateLiveAc(holding);
    ASSERT_TRUE(holding.move.holding);
    EXPECT_FALSE(decodeExisting(holding, sample(46.01, 8.56, enginePassCount.load() + 3000, false, 10)));
    EXPECT_EQ(holding.simState, SimState::removingfromsim);
}

TEST_F(MovementTest, AirborneDeadReckoning) {
    at(1000);
    LiveAc& ac = moving(0x4B0001, true, 300, 60);
    // Each leg starts from a new made-up sample at the front of the queue.
    std::vector<double> speeds;
    std::int64_t lastDue = ac.samples.front().duePass;
    for (int i = 0; i < 20000 && ac.simState == SimState::active; ++i) {
        updateLiveAc(ac);
        if (ac.simState == SimState::active && ac.samples.front().duePass != lastDue) {
            lastDue = ac.samples.front().duePass;
            speeds.push_back(ac.samples.front().gs);
        }
        positionWriteBuffer.clear();
        enginePassCount.fetch_add(1);
    }
    EXPECT_EQ(ac.simState, SimState::removingfromsim);
    std::vector<double> expected;
    for (int k = 1; k <= 8; ++k)
        expected.push_back(300 * std::pow(0.95, k));
    ASSERT_EQ(speeds.size(), 8u);
    for (std::size_t k = 0; k < 8; ++k)
        EXPECT_NEAR(speeds[k], expected[k], 1e-9) << k;
    EXPECT_GT(ac.pos.longitude, 8.56 + 0.1) << "it flew on east";
    // Each leg is re-timed by its travel time: 8 s at the new speed, flown at the mean of both speeds.
    EXPECT_NEAR(static_cast<double>(enginePassCount.load() - 1000), 8 * 800, 8 * 40);
}

TEST_F(MovementTest, AParkedAircraftStaysAWeek) {
    at(1000);
    LiveAc& ac = moving(0x4B0001, false, 0, 60);
    ac.phase = AcPhase::parked;
    ac.samples.front().standing = true;
    updateLiveAc(ac);
    EXPECT_EQ(ac.simState, SimState::active);
    ASSERT_EQ(ac.samples.size(), 1u);
    EXPECT_EQ(ac.samples.front().duePass, 1000 + parkedLegPasses);
    EXPECT_TRUE(ac.samples.front().standing);
    EXPECT_EQ(positionWriteBuffer.size(), 1u);
}

TEST_F(MovementTest, SamplesOfAKnownAircraft) {
    at(1000);
    LiveAc& ac = moving(0x4B0001, true, 300, 60);
    ac.samples.front().duePass = 4000;
    // Airborne at the same place: dropped. A due pass not after the last one: moved behind it.
    EXPECT_FALSE(decodeExisting(ac, sample(47.45, 8.56, 4001, true, 300)));
    EXPECT_TRUE(decodeExisting(ac, sample(47.46, 8.56, 3990, true, 300)));
    EXPECT_EQ(ac.samples.back().duePass, 4001);

    // Dead reckoning ends with a real sample: sample 0 becomes due at once.
    ac.move.extrapolationCount = 5;
    ac.move.lagBound = 1000;
    EXPECT_TRUE(decodeExisting(ac, sample(47.47, 8.56, 4100, true, 300)));
    EXPECT_EQ(ac.move.extrapolationCount, 0);
    EXPECT_EQ(ac.move.lagBound, startBoundPasses);
    EXPECT_EQ(ac.samples.front().duePass, 1001);

    // On the ground two standing samples: the first becomes due next pass.
    LiveAc& ground = moving(0x4B0002, false, 0, 61);
    ground.samples.front().standing = true;
    ground.samples.front().duePass = 4000;
    EXPECT_TRUE(decodeExisting(ground, sample(47.45, 8.56, 4300, false, 0)));
    EXPECT_EQ(ground.samples.front().duePass, 1001);
    EXPECT_TRUE(ground.samples.back().standing);
}

TEST_F(MovementTest, InitialPosition) {
    LiveAc& ac = liveAc(0x4B0001, "SWR1");
    ac.samples.clear();
    ac.samples.push_back(sample(47.45, 8.56, 3000, true, 250));
    ac.samples.front().vs = -6000;
    ac.samples.front().bank = 0.1;
    ac.samples.push_back(sample(47.46, 8.56, 3100, true, 250));
    gf_initialPosition(ac);
    EXPECT_NEAR(ac.pos.heading, 0.0, 1e-9) << "towards the next sample, due north";
    EXPECT_NEAR(ac.pos.pitch, (-3.0 + 1500.0 / 600.0 * 2.2) * pi / 180.0, 1e-12)
        << "descents clamped to -3000 ft/min and halved";
    EXPECT_DOUBLE_EQ(ac.pos.bank, 0.1);
    EXPECT_DOUBLE_EQ(ac.pos.verticalSpeed, -100.0);
    EXPECT_EQ(engineLists.coupledSearchQueue, (std::deque<std::uint32_t>{0x4B0001}));

    ac.keptHeading = 1.0;
    gf_initialPosition(ac);
    EXPECT_DOUBLE_EQ(ac.pos.heading, 1.0) << "the heading kept from before a respawn";
    EXPECT_FALSE(ac.keptHeading.has_value());

    ac.samples[1].standing = true;
    ac.samples[0].track = 270;
    ac.samples[0].airborne = false;
    gf_initialPosition(ac);
    EXPECT_NEAR(ac.pos.heading, 1.5 * pi, 1e-12);
    EXPECT_NEAR(ac.pos.pitch, 0.6 * pi / 180.0, 1e-12);
}

} // namespace
} // namespace enginetest
