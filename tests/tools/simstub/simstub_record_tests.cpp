// What the stand-in keeps for a run to be checked afterwards: counts, per-object motion and client events,
// removed objects, refused blocks, and the ground areas.
#include "tests/tools/simstub/stub_world.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <nlohmann/json.hpp>

using namespace skyloom::testing;
using skyloom::simstub::RemovalCause;
using skyloom::simstub::RemovedObject;

namespace {

constexpr double kNmDeg = 1.0 / 60.0; // a nautical mile of latitude

} // namespace

TEST_F(StubWorld, CountsTellTheMostAtOnceAndWhyObjectsWent) {
    for (const char* tail : {"C1", "C2", "C3"})
        create(kA320, tail, kUserLat, kUserLon, 3000, false);
    TestClient other;
    ASSERT_EQ(other.open(stub->address(), "Other"), SIMCONNECT_OK);
    registerEverything(other.h, *stub);
    SIMCONNECT_DATA_INITPOSITION pos{kUserLat + 0.2, kUserLon, 5000, 0, 0, 0, 0, 200};
    ASSERT_EQ(SimConnect_AICreateNonATCAircraft(other.h, kA320, "O1", pos, kReqAiCreate), 0);
    ASSERT_EQ(SimConnect_AICreateNonATCAircraft(other.h, kB738, "O2", pos, kReqAiCreate), 0);
    ASSERT_TRUE(client.pumpUntil([&] { return added().size() == 5; }));

    // Asked for by the client (and done after the delay), started by the simulator, and dropped with
    // the other client's connection.
    ASSERT_EQ(SimConnect_AIRemoveObject(client.h, 3, kReqAiRemove), 0);
    settle();
    stub->advance(std::chrono::milliseconds(600));
    stub->removeObject(4);
    SimConnect_Close(other.h);
    other.h = nullptr;
    ASSERT_TRUE(client.pumpUntil([&] { return removed().size() == 4; }));

    const auto counts = stub->counts();
    EXPECT_EQ(counts.creations, 5u);
    EXPECT_EQ(counts.mostAtOnce, 5u);
    EXPECT_EQ(counts.removals, 4u);
    EXPECT_EQ(counts.removalsAsked, 1u);
    EXPECT_EQ(counts.droppedWithClient, 2u);

    const std::vector<RemovedObject> gone = stub->removedObjects();
    ASSERT_EQ(gone.size(), 4u);
    EXPECT_EQ(gone[0].tail, "C1");
    EXPECT_EQ(gone[0].title, kA320);
    EXPECT_EQ(gone[0].cause, RemovalCause::Client);
    EXPECT_DOUBLE_EQ(gone[0].createdAt, 0.0);
    EXPECT_DOUBLE_EQ(gone[0].removedAt, 0.6);
    EXPECT_EQ(gone[1].tail, "C2");
    EXPECT_EQ(gone[1].cause, RemovalCause::Simulator);
    EXPECT_EQ(gone[2].cause, RemovalCause::Disconnect);
    EXPECT_EQ(gone[3].cause, RemovalCause::Disconnect);
    EXPECT_DOUBLE_EQ(gone[2].latitude, kUserLat + 0.2);
    EXPECT_DOUBLE_EQ(gone[2].altitudeFt, 5000);

    const auto json = stub->stateJson();
    EXPECT_EQ(json["counts"]["mostAtOnce"], 5);
    EXPECT_EQ(json["counts"]["removalsAsked"], 1);
    EXPECT_EQ(json["counts"]["droppedWithClient"], 2);
    ASSERT_EQ(json["removed"].size(), 4u);
    EXPECT_EQ(json["removed"][0]["tail"], "C1");
    EXPECT_EQ(json["removed"][0]["cause"], "client");
    EXPECT_EQ(json["removed"][2]["cause"], "disconnect");
    for (const char* key : {"id", "tail", "title", "created", "removed", "latitude", "longitude", "altitude"})
        EXPECT_TRUE(json["removed"][0].contains(key)) << key;
}

TEST_F(StubWorld, TheRemovedListKeepsTheLatestObjects) {
    Options o = options();
    o.removalDelay = std::chrono::milliseconds(0);
    restart(o);
    constexpr std::size_t extra = 5;
    const std::size_t total = skyloom::simstub::kRemovedObjectsLimit + extra;
    for (std::size_t i = 0; i < total; ++i) {
        create(kA320, "L" + std::to_string(i), kUserLat, kUserLon, 3000, false);
        ASSERT_EQ(SimConnect_AIRemoveObject(client.h, static_cast<std::uint32_t>(3 + i), kReqAiRemove), 0);
    }
    ASSERT_TRUE(stub->waitUntil([&] { return stub->counts().removals == total; }));
    const auto gone = stub->removedObjects();
    ASSERT_EQ(gone.size(), skyloom::simstub::kRemovedObjectsLimit);
    EXPECT_EQ(gone.front().tail, "L" + std::to_string(extra));
    EXPECT_EQ(gone.back().tail, "L" + std::to_string(total - 1));
    EXPECT_EQ(stub->counts().mostAtOnce, 1u);
}

TEST_F(StubWorld, PositionBlocksAreMeasuredBetweenNeighbours) {
    create(kA320, "M1", kUserLat, kUserLon, 3000, false);
    ASSERT_TRUE(client.pumpUntil([&] { return added().size() == 1; }));
    stub->advance(std::chrono::milliseconds(2000));
    auto send = [&](double northNm, double headingDeg) {
        const AiPositionBlock p{kUserLat + northNm * kNmDeg, kUserLon, 0, 0, headingDeg * kDeg, 3000, 0, 250};
        ASSERT_EQ(SimConnect_SetDataOnSimObject(client.h, kDefAiPosition, 3, 0, 0, sizeof p, &p), 0);
    };
    // Each block is handled before the clock moves on.
    send(0, 350);
    settle();
    stub->advance(std::chrono::milliseconds(1000));
    send(1, 10);   // 1 nm in 1 s, turned 20 degrees over north
    send(1.5, 10); // at the same instant: counts as one with the block before
    settle();
    stub->advance(std::chrono::milliseconds(2000));
    send(3.5, 5); // 2 nm in 2 s
    // The control block moves nothing and is no position block.
    const double controls[3] = {0, 50, 50};
    ASSERT_EQ(SimConnect_SetDataOnSimObject(client.h, kDefAcControls, 3, 0, 0, sizeof controls, controls), 0);
    settle();

    const AiObject o = object(3);
    EXPECT_EQ(o.motion.positionBlocks, 4u);
    EXPECT_EQ(o.positionUpdates, 5u);
    ASSERT_TRUE(o.motion.firstBlockAt.has_value());
    EXPECT_DOUBLE_EQ(*o.motion.firstBlockAt, 2.0);
    EXPECT_NEAR(o.motion.largestJumpNm, 2.0, 1e-6);
    EXPECT_NEAR(o.motion.largestSpeedKt, 1.5 * 3600, 1e-3); // 1.5 nm from the block at the instant before
    EXPECT_NEAR(o.motion.largestHeadingChangeDeg, 20.0, 1e-9);

    const auto json = stub->stateJson()["objects"][0]["motion"];
    EXPECT_EQ(json["positionBlocks"], 4);
    EXPECT_DOUBLE_EQ(json["firstBlock"].get<double>(), 2.0);
    EXPECT_NEAR(json["largestSpeedKt"].get<double>(), 5400, 1e-3);
}

// Blocks bunched by the client's scheduling (one late pass caught up right after the other) read as a
// huge speed between neighbours; over two seconds of simulator time they do not, while a jump does.
TEST_F(StubWorld, TheSteadySpeedLooksBackTwoSecondsOfSimulatorTime) {
    create(kA320, "S1", kUserLat, kUserLon, 3000, false);
    ASSERT_TRUE(client.pumpUntil([&] { return added().size() == 1; }));
    auto send = [&](double northNm) {
        const AiPositionBlock p{kUserLat + northNm * kNmDeg, kUserLon, 0, 0, 0, 3000, 0, 250};
        ASSERT_EQ(SimConnect_SetDataOnSimObject(client.h, kDefAiPosition, 3, 0, 0, sizeof p, &p), 0);
        settle();
    };
    // 0.2 nm a second (720 kt), the last 0.2 nm caught up within 10 ms.
    const struct {
        int afterMs;
        double northNm;
    } blocks[] = {{0, 0}, {500, 0.1}, {500, 0.2}, {1000, 0.4}, {10, 0.6}};
    for (const auto& b : blocks) {
        stub->advance(std::chrono::milliseconds(b.afterMs));
        send(b.northNm);
    }
    EXPECT_GT(object(3).motion.largestSpeedKt, 10000.0) << "between neighbours";
    EXPECT_NEAR(object(3).motion.largestSteadySpeedKt, 0.6 / 2.01 * 3600, 1e-6);

    // A jump of 3 nm within a second shows over the two seconds before it.
    stub->advance(std::chrono::milliseconds(2000));
    send(0.8);
    stub->advance(std::chrono::milliseconds(1000));
    send(3.8);
    EXPECT_NEAR(object(3).motion.largestSteadySpeedKt, 3.2 / 3.0 * 3600, 1e-6);
    EXPECT_NEAR(stub->stateJson()["objects"][0]["motion"]["largestSteadySpeedKt"].get<double>(),
                3.2 / 3.0 * 3600, 1e-6);

    // Once removed, the object's record keeps the figures but not the blocks they were measured on: the
    // history of removed objects is long, and those blocks would make up most of its weight.
    stub->removeObject(3);
    const auto gone = stub->removedObjects();
    ASSERT_EQ(gone.size(), 1u);
    EXPECT_EQ(gone[0].motion.positionBlocks, 7u);
    EXPECT_NEAR(gone[0].motion.largestSteadySpeedKt, 3.2 / 3.0 * 3600, 1e-6);
    EXPECT_TRUE(gone[0].motion.recent.empty());
    EXPECT_EQ(gone[0].motion.recent.capacity(), 0u);
}

TEST_F(StubWorld, ABlockWithAValueThatIsNotFiniteIsRefusedAndCounted) {
    create(kA320, "NF1", kUserLat, kUserLon, 3000, false);
    ASSERT_TRUE(client.pumpUntil([&] { return added().size() == 1; }));
    const AiPositionBlock good{kUserLat + 0.01, kUserLon, 0, 0, 0, 3000, 0, 250};
    ASSERT_EQ(SimConnect_SetDataOnSimObject(client.h, kDefAiPosition, 3, 0, 0, sizeof good, &good), 0);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const AiPositionBlock bad[] = {
        {nan, kUserLon, 0, 0, 0, 3000, 0, 250},        // latitude
        {kUserLat, kUserLon, 0, 0, 0, -inf, 0, 250},   // altitude
        {kUserLat, kUserLon, 0, nan, 0, 3000, 0, 250}, // bank only
        {kUserLat, kUserLon, 0, 0, 0, 3000, 0, inf},   // airspeed only
    };
    std::vector<std::uint32_t> packets;
    for (const AiPositionBlock& b : bad) {
        ASSERT_EQ(SimConnect_SetDataOnSimObject(client.h, kDefAiPosition, 3, 0, 0, sizeof b, &b), 0);
        packets.push_back(client.lastPacket());
    }
    settle();
    const auto ex = exceptions();
    ASSERT_EQ(ex.size(), std::size(bad));
    for (std::size_t i = 0; i < ex.size(); ++i) {
        EXPECT_EQ(ex[i].exception, SIMCONNECT_EXCEPTION_DATA_ERROR) << i;
        EXPECT_EQ(ex[i].sendId, packets[i]) << i;
    }
    EXPECT_EQ(stub->counts().refusedBlocks, std::size(bad));
    EXPECT_EQ(stub->stateJson()["counts"]["refusedBlocks"], std::size(bad));
    // The object stays where the last good block put it.
    const AiObject o = object(3);
    EXPECT_DOUBLE_EQ(o.latitude, good.latitude);
    EXPECT_DOUBLE_EQ(o.altitudeFt, 3000);
    EXPECT_DOUBLE_EQ(o.bankRad, 0);
    EXPECT_DOUBLE_EQ(o.trueAirspeedKt, 250);
    EXPECT_EQ(o.motion.positionBlocks, 1u);
}

TEST_F(StubWorld, ClientEventsAreKeptInOrderWithTheirTime) {
    create(kB738, "EV1", kUserLat, kUserLon, 0, true);
    ASSERT_TRUE(client.pumpUntil([&] { return added().size() == 1; }));
    event(3, 219, 1); // gear down
    settle();
    stub->advance(std::chrono::milliseconds(1500));
    event(3, 217, 16383); // flaps
    event(3, 207, 1);     // nav lights
    settle();
    AiObject o = object(3);
    ASSERT_EQ(o.events.size(), 3u);
    EXPECT_EQ(o.events[0].name, "GEAR_SET");
    EXPECT_EQ(o.events[0].value, 1u);
    EXPECT_DOUBLE_EQ(o.events[0].simSeconds, 0.0);
    EXPECT_EQ(o.events[1].name, "FLAPS_SET");
    EXPECT_EQ(o.events[1].value, 16383u);
    EXPECT_DOUBLE_EQ(o.events[1].simSeconds, 1.5);
    EXPECT_EQ(o.events[2].name, "NAV_LIGHTS_SET");
    const auto json = stub->stateJson()["objects"][0];
    EXPECT_EQ(json["events"][1], (nlohmann::json{{"name", "FLAPS_SET"}, {"value", 16383}, {"time", 1.5}}));

    // The history is bounded: the oldest events give way and are counted.
    const std::size_t limit = skyloom::simstub::kEventHistoryLimit;
    for (std::uint32_t i = 0; i < limit; ++i)
        event(3, 222, i); // throttle
    settle();
    o = object(3);
    ASSERT_EQ(o.events.size(), limit);
    EXPECT_EQ(o.eventsDropped, 3u);
    EXPECT_EQ(o.events.front().name, "THROTTLE_SET");
    EXPECT_EQ(o.events.front().value, 0u);
    EXPECT_EQ(o.events.back().value, limit - 1);
}

TEST_F(StubWorld, GroundAreasSetTheGroundWhereTheyLie) {
    // The fixture's area around the user lies at 100 ft; one more away from it, and one inside it that
    // comes later and so does not hold.
    constexpr double lat = 47.4647, lon = 8.5492;
    stub->addGroundArea({lat, lon, 4.0, 1416.0});
    stub->addGroundArea({kUserLat, kUserLon, 1.0, 999.0});
    EXPECT_DOUBLE_EQ(stub->groundElevationAt(lat + 3.9 * kNmDeg, lon), 1416.0);
    EXPECT_DOUBLE_EQ(stub->groundElevationAt(lat + 4.1 * kNmDeg, lon), 0.0);
    EXPECT_DOUBLE_EQ(stub->groundElevationAt(kUserLat, kUserLon), 100.0);

    create(kA320, "GA1", lat, lon, 0, true);
    ASSERT_TRUE(client.pumpUntil([&] { return added().size() == 1; }));
    EXPECT_DOUBLE_EQ(object(3).altitudeFt, 1416.0 + 8.0);
    // An arrival that comes down to the area's ground touches it.
    const AiPositionBlock high{lat + 0.02, lon, 0, 0, 0, 1600, 0, 140};
    ASSERT_EQ(SimConnect_SetDataOnSimObject(client.h, kDefAiPosition, 3, 0, 0, sizeof high, &high), 0);
    settle();
    EXPECT_FALSE(object(3).onGround);
    const AiPositionBlock down{lat + 0.02, lon, 0, 0, 0, 1424.5, 0, 140};
    ASSERT_EQ(SimConnect_SetDataOnSimObject(client.h, kDefAiPosition, 3, 0, 0, sizeof down, &down), 0);
    settle();
    EXPECT_TRUE(object(3).onGround);

    const auto areas = stub->stateJson()["groundAreas"];
    ASSERT_EQ(areas.size(), 3u);
    EXPECT_EQ(
        areas[1],
        (nlohmann::json{{"latitude", lat}, {"longitude", lon}, {"radiusNm", 4.0}, {"elevation", 1416.0}}));
}
