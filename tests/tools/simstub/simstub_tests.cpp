// The simulator stand-in's world, driven through the client API.
#include "tests/tools/simstub/stub_world.h"
#include "tools/simstub/simstub.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fmt/format.h>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <unistd.h>

using namespace skyloom::testing;
using skyloom::simstub::AiObject;
using skyloom::simstub::Options;
using skyloom::simstub::SimStub;

namespace fs = std::filesystem;

TEST_F(StubWorld, ACreationIsAnnouncedAndFoundByItsAtcId) {
    const std::string longTail = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    create(kA320, "KLM1234", kUserLat + 0.01, kUserLon, 0, true);   // at the airport, on the ground
    create(kB738, longTail, kUserLat + 0.2, kUserLon, 5000, false); // 12 nm north, in the air
    create(kB738, "FAR1", kUserLat + 2.0, kUserLon, 9000, false);   // 120 nm north
    ASSERT_TRUE(client.pumpUntil([&] { return added().size() == 3; }));
    EXPECT_EQ(added(), (std::vector<std::uint32_t>{3, 4, 5}));
    ASSERT_TRUE(client.waitFor(SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID, 3));
    EXPECT_EQ(client.all(SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID)[0]
                  ->as<SIMCONNECT_RECV_ASSIGNED_OBJECT_ID>()
                  .requestId,
              kReqAiCreate);

    // Objects within 50 km of the user: the user and the two near ones.
    ASSERT_EQ(SimConnect_RequestDataOnSimObjectType(client.h, kReqObjectsByType, kDefObjectsByType, 50000,
                                                    SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT),
              0);
    ASSERT_TRUE(client.pumpUntil([&] { return client.data(kReqObjectsByType).size() == 3; }));
    std::map<std::uint32_t, ObjectsByTypeBlock> seen;
    for (const auto* m : client.data(kReqObjectsByType)) {
        const auto& d = m->as<SIMCONNECT_RECV_SIMOBJECT_DATA_BYTYPE>();
        EXPECT_EQ(d.outOf, 3u);
        ASSERT_EQ(d.dataSize, sizeof(ObjectsByTypeBlock));
        seen[d.objectId] = m->block<ObjectsByTypeBlock>();
    }
    ASSERT_EQ(seen.size(), 3u);
    ASSERT_TRUE(seen.contains(1) && seen.contains(3) && seen.contains(4));
    EXPECT_STREQ(seen[3].atcId, "KLM1234");
    EXPECT_EQ(seen[3].onGround, 1);
    EXPECT_DOUBLE_EQ(seen[3].groundAltitude, 100.0);
    EXPECT_DOUBLE_EQ(seen[3].altAboveGround, 8.0); // stands at ground + CG height
    EXPECT_EQ(std::string(seen[4].atcId), longTail.substr(0, 31));
    EXPECT_EQ(seen[4].onGround, 0);
    EXPECT_DOUBLE_EQ(seen[4].altAboveGround, 5000.0); // outside the airport the ground is flat at 0
    EXPECT_STREQ(seen[1].atcId, "SKY001");
    EXPECT_EQ(stub->counts().creations, 3u);

    // The user flies an aeroplane: it answers for itself, but not among helicopters or boats.
    const std::pair<std::uint32_t, std::size_t> byType[] = {{SIMCONNECT_SIMOBJECT_TYPE_USER, 1},
                                                            {SIMCONNECT_SIMOBJECT_TYPE_ALL, 3},
                                                            {SIMCONNECT_SIMOBJECT_TYPE_HELICOPTER, 0},
                                                            {SIMCONNECT_SIMOBJECT_TYPE_BOAT, 0}};
    std::uint32_t request = 150;
    for (const auto& [type, replies] : byType) {
        SCOPED_TRACE(type);
        ASSERT_EQ(SimConnect_RequestDataOnSimObjectType(client.h, ++request, kDefObjectsByType, 50000, type),
                  0);
        settle();
        EXPECT_EQ(client.data(request).size(), replies);
    }
}

TEST_F(StubWorld, ARefusedCreationCarriesItsOwnSendId) {
    const std::uint32_t refused = create("Not Installed Livery", "AAL1", kUserLat, kUserLon, 3000, false);
    const std::uint32_t accepted = create(kA320, "AAL2", kUserLat, kUserLon, 3000, false);
    ASSERT_NE(refused, accepted);
    ASSERT_TRUE(client.pumpUntil([&] { return added().size() == 1; }));
    ASSERT_TRUE(client.waitFor(SIMCONNECT_RECV_ID_EXCEPTION));
    const auto ex = exceptions();
    ASSERT_EQ(ex.size(), 1u);
    EXPECT_EQ(ex[0].exception, SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED);
    EXPECT_EQ(ex[0].sendId, refused);
    EXPECT_EQ(added(), std::vector<std::uint32_t>{3});
    EXPECT_EQ(stub->counts().refusals, 1u);
    EXPECT_EQ(stub->counts().creations, 1u);

    // Where every title counts as installed, a creation without a title is still refused.
    stub->setInstalledTitles(std::nullopt);
    const std::uint32_t untitled = create("", "AAL3", kUserLat, kUserLon, 3000, false);
    create("Any Livery At All", "AAL4", kUserLat, kUserLon, 3000, false);
    ASSERT_TRUE(client.pumpUntil([&] { return added().size() == 2; }));
    ASSERT_TRUE(client.waitFor(SIMCONNECT_RECV_ID_EXCEPTION, 2));
    EXPECT_EQ(exceptions()[1].exception, SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED);
    EXPECT_EQ(exceptions()[1].sendId, untitled);
    EXPECT_EQ(stub->objectByTail("AAL4")->title, "Any Livery At All");
}

TEST_F(StubWorld, MoreObjectsThanTheLimitAreRefused) {
    Options o = options();
    o.maxObjects = 2;
    restart(o);
    create(kA320, "A1", kUserLat, kUserLon, 3000, false);
    create(kA320, "A2", kUserLat, kUserLon, 3000, false);
    const std::uint32_t third = create(kA320, "A3", kUserLat, kUserLon, 3000, false);
    ASSERT_TRUE(client.waitFor(SIMCONNECT_RECV_ID_EXCEPTION));
    EXPECT_EQ(exceptions()[0].exception, SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS);
    EXPECT_EQ(exceptions()[0].sendId, third);
    EXPECT_EQ(stub->objects().size(), 2u);
}

TEST_F(StubWorld, PositionBlocksMoveTheObject) {
    create(kA320, "DLH9", kUserLat, kUserLon, 2000, false);
    ASSERT_TRUE(client.pumpUntil([&] { return added().size() == 1; }));
    const AiPositionBlock p{kUserLat + 0.05, kUserLon - 0.03, -0.05, 0.1, 180 * kDeg, 2500, 10, 160};
    ASSERT_EQ(SimConnect_SetDataOnSimObject(client.h, kDefAiPosition, 3, 0, 0, sizeof p, &p), 0);
    // A block of the wrong size and one for an unknown object change nothing.
    const char shortBlock[56] = {};
    ASSERT_EQ(SimConnect_SetDataOnSimObject(client.h, kDefAiPosition, 3, 0, 0, sizeof shortBlock, shortBlock),
              0);
    const std::uint32_t wrongSize = client.lastPacket();
    ASSERT_EQ(SimConnect_SetDataOnSimObject(client.h, kDefAiPosition, 77, 0, 0, sizeof p, &p), 0);
    const std::uint32_t unknown = client.lastPacket();
    settle();
    const AiObject o = object(3);
    EXPECT_DOUBLE_EQ(o.latitude, p.latitude);
    EXPECT_DOUBLE_EQ(o.longitude, p.longitude);
    EXPECT_DOUBLE_EQ(o.altitudeFt, 2500);
    EXPECT_DOUBLE_EQ(o.headingRad, 180 * kDeg);
    EXPECT_DOUBLE_EQ(o.pitchRad, -0.05);
    EXPECT_DOUBLE_EQ(o.trueAirspeedKt, 160);
    EXPECT_FALSE(o.onGround);
    EXPECT_EQ(o.positionUpdates, 1u);
    const auto ex = exceptions();
    ASSERT_EQ(ex.size(), 2u);
    EXPECT_EQ(ex[0].exception, SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE);
    EXPECT_EQ(ex[0].sendId, wrongSize);
    EXPECT_EQ(ex[1].exception, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID);
    EXPECT_EQ(ex[1].sendId, unknown);

    // Brought down to ground + CG height it counts as on the ground again.
    const AiPositionBlock down{kUserLat, kUserLon, 0, 0, 0, 108, 0, 0};
    ASSERT_EQ(SimConnect_SetDataOnSimObject(client.h, kDefAiPosition, 3, 0, 0, sizeof down, &down), 0);
    settle();
    EXPECT_TRUE(object(3).onGround);
}

TEST_F(StubWorld, ClientEventsAndTheControlBlockChangeTheObject) {
    create(kB738, "EZY12", kUserLat, kUserLon, 0, true);
    ASSERT_TRUE(client.pumpUntil([&] { return added().size() == 1; }));
    // NAV 1, BEACON 0, LANDING 0, TAXI 1, STROBES 0, LOGO 1, CABIN 0.
    const std::pair<std::uint32_t, std::uint32_t> lights[] = {{207, 1}, {206, 0}, {210, 0}, {208, 1},
                                                              {209, 0}, {212, 1}, {211, 0}};
    for (auto [ev, v] : lights)
        event(3, ev, v);
    event(3, 220, 0); // engines start
    event(3, 219, 1); // gear down
    ASSERT_EQ(SimConnect_AIReleaseControl(client.h, 3, kReqAiReleaseControl), 0);
    event(3, 217, 2); // flaps
    ASSERT_EQ(SimConnect_AIReleaseControl(client.h, 3, kReqAiReleaseControl), 0);
    event(3, 214, 1);
    event(3, 215, 1);
    event(3, 216, 1);
    const double controls[3] = {100, -100, -100};
    ASSERT_EQ(SimConnect_SetDataOnSimObject(client.h, kDefAcControls, 3, 0, 0, sizeof controls, controls), 0);
    settle();
    AiObject o = object(3);
    using namespace skyloom::simstub;
    EXPECT_EQ(o.lights, kLightNav | kLightTaxi | kLightLogo);
    EXPECT_TRUE(o.enginesRunning);
    EXPECT_EQ(o.gear, 1u);
    EXPECT_EQ(o.flaps, 2u);
    EXPECT_EQ(o.releaseCount, 2u);
    EXPECT_TRUE(o.freezeLatLon && o.freezeAltitude && o.freezeAttitude);
    EXPECT_DOUBLE_EQ(o.spoilersHandlePct, 100);
    EXPECT_DOUBLE_EQ(o.throttleLever1Pct, -100);
    EXPECT_DOUBLE_EQ(o.throttleLever2Pct, -100);

    event(3, 213, 0); // all lights toggle
    event(3, 221, 0); // engines off
    settle();
    o = object(3);
    EXPECT_EQ(o.lights, kLightAll & ~(kLightNav | kLightTaxi | kLightLogo));
    EXPECT_FALSE(o.enginesRunning);
    EXPECT_TRUE(exceptions().empty());

    // The JSON view shows the same.
    const auto json = stub->stateJson();
    ASSERT_EQ(json["objects"].size(), 1u);
    const auto& j = json["objects"][0];
    EXPECT_EQ(j["tail"], "EZY12");
    EXPECT_EQ(j["flaps"], 2);
    EXPECT_EQ(j["lights"]["nav"], false);
    EXPECT_EQ(j["lights"]["beacon"], true);
    EXPECT_EQ(j["frozen"]["attitude"], true);
    EXPECT_EQ(j["engines"], false);
}

TEST_F(StubWorld, RemovalIsAnnouncedAfterTheDelayAndIdsAreNotReused) {
    create(kA320, "R1", kUserLat, kUserLon, 3000, false);
    create(kA320, "R2", kUserLat, kUserLon, 3000, false);
    ASSERT_TRUE(client.pumpUntil([&] { return added().size() == 2; }));
    ASSERT_EQ(SimConnect_AIRemoveObject(client.h, 3, kReqAiRemove), 0);
    ASSERT_EQ(SimConnect_AIRemoveObject(client.h, 42, kReqAiRemove), 0);
    const std::uint32_t unknown = client.lastPacket();
    settle();
    EXPECT_TRUE(removed().empty());
    EXPECT_TRUE(stub->object(3)->removalAskedAt.has_value());
    stub->advance(std::chrono::milliseconds(499));
    settle();
    EXPECT_TRUE(removed().empty());
    stub->advance(std::chrono::milliseconds(1));
    ASSERT_TRUE(client.pumpUntil([&] { return removed().size() == 1; }));
    EXPECT_EQ(removed(), std::vector<std::uint32_t>{3});
    ASSERT_EQ(exceptions().size(), 1u);
    EXPECT_EQ(exceptions()[0].exception, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID);
    EXPECT_EQ(exceptions()[0].sendId, unknown);

    // A removal the simulator starts itself is announced as well; new objects get fresh ids.
    stub->removeObject(4);
    ASSERT_TRUE(client.pumpUntil([&] { return removed().size() == 2; }));
    create(kA320, "R3", kUserLat, kUserLon, 3000, false);
    ASSERT_TRUE(client.pumpUntil([&] { return added().size() == 3; }));
    EXPECT_EQ(added().back(), 5u);
    EXPECT_EQ(stub->counts().removals, 2u);
}

TEST_F(StubWorld, UserAircraftRepliesFollowTheirDefinitions) {
    const std::uint32_t before = client.lastPacket();
    ASSERT_EQ(SimConnect_RequestDataOnSimObject(client.h, kReqUserTitle, kDefUserTitle,
                                                SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_ONCE),
              0);
    ASSERT_EQ(SimConnect_RequestDataOnSimObject(client.h, kReqUserAtcModel, kDefUserAtcModel,
                                                SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_ONCE),
              0);
    ASSERT_EQ(SimConnect_RequestDataOnSimObject(client.h, kReqUserState, kDefUserState,
                                                SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_ONCE),
              0);
    EXPECT_EQ(client.lastPacket(), before + 3);
    ASSERT_TRUE(client.pumpUntil([&] { return !client.data(kReqUserState).empty(); }));

    const auto& title = *client.data(kReqUserTitle).at(0);
    EXPECT_EQ(title.data(), std::string("Cessna Skyhawk") + '\0');
    const auto& model = *client.data(kReqUserAtcModel).at(0);
    ASSERT_EQ(model.as<SIMCONNECT_RECV_SIMOBJECT_DATA>().dataSize, 32u);
    EXPECT_STREQ(model.data().c_str(), "C172");
    const auto& stateMsg = *client.data(kReqUserState).at(0);
    EXPECT_EQ(stateMsg.as<SIMCONNECT_RECV_SIMOBJECT_DATA>().objectId, 1u);
    ASSERT_EQ(stateMsg.as<SIMCONNECT_RECV_SIMOBJECT_DATA>().dataSize, sizeof(UserStateBlock));
    const auto state = stateMsg.block<UserStateBlock>();
    EXPECT_DOUBLE_EQ(state.latitude, kUserLat);
    EXPECT_DOUBLE_EQ(state.longitude, kUserLon);
    EXPECT_NEAR(state.heading, 90 * kDeg, 1e-12);
    EXPECT_DOUBLE_EQ(state.altitude, 8);
    EXPECT_DOUBLE_EQ(state.altAboveGround, 8 - 100); // the scripted altitude lies below the airport
    EXPECT_EQ(state.zuluTime, 12 * 3600);
    EXPECT_EQ(state.zuluDayOfYear, 1);
    EXPECT_EQ(state.zuluYear, 2025);

    // The on-ground reply comes at once and then once per simulator second; a teleport shows in the next
    // state.
    ASSERT_EQ(SimConnect_RequestDataOnSimObject(client.h, kReqUserOnGround, kDefUserOnGround,
                                                SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_SECOND),
              0);
    ASSERT_TRUE(client.pumpUntil([&] { return client.data(kReqUserOnGround).size() == 1; }));
    stub->advance(std::chrono::milliseconds(3000));
    ASSERT_TRUE(client.pumpUntil([&] { return client.data(kReqUserOnGround).size() == 4; }));
    EXPECT_EQ(client.data(kReqUserOnGround).back()->block<std::int64_t>(), 1);
    stub->teleportUser(40.6413, -73.7781, 13);
    ASSERT_EQ(SimConnect_RequestDataOnSimObject(client.h, kReqUserState, kDefUserState,
                                                SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_ONCE),
              0);
    ASSERT_TRUE(client.pumpUntil([&] { return client.data(kReqUserState).size() == 2; }));
    const auto moved = client.data(kReqUserState).back()->block<UserStateBlock>();
    EXPECT_DOUBLE_EQ(moved.latitude, 40.6413);
    EXPECT_EQ(moved.zuluTime, 12 * 3600 + 3);
    settle();
    stub->advance(std::chrono::milliseconds(2000));
    settle();
    EXPECT_EQ(client.data(kReqUserOnGround).size(), 6u);
}

TEST_F(StubWorld, PauseFlightLoadAndFramesReachTheSubscribers) {
    stub->setPaused(true);
    stub->setPaused(false);
    stub->flightLoaded();
    stub->newFlightFile("/home/pilot/flights/EHAM.FLT");
    ASSERT_TRUE(client.pumpUntil([&] { return client.count(SIMCONNECT_RECV_ID_EVENT_FILENAME) == 1; }));
    std::vector<std::pair<std::uint32_t, std::uint32_t>> events;
    for (const auto* m : client.all(SIMCONNECT_RECV_ID_EVENT))
        events.emplace_back(m->as<SIMCONNECT_RECV_EVENT>().eventId, m->as<SIMCONNECT_RECV_EVENT>().data);
    EXPECT_EQ(events, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{
                          {kEvSim, 1}, {kEvSim, 0}, {kEvSim, 1}, {kEvFlightLoaded, 0}}));
    const auto& file = client.all(SIMCONNECT_RECV_ID_EVENT_FILENAME)[0]->as<SIMCONNECT_RECV_EVENT_FILENAME>();
    EXPECT_EQ(file.eventId, kEvFlightLoaded);
    EXPECT_STREQ(file.fileName, "/home/pilot/flights/EHAM.FLT");
}

TEST(StubClock, FramesComeAtTheSetRateWithTheFrameRate) {
    Options o;
    o.fps = 25;
    SimStub stub(o);
    stub.start();
    TestClient client;
    ASSERT_EQ(client.open(stub.address()), SIMCONNECT_OK);
    registerEverything(client.h, stub);
    stub.advance(std::chrono::milliseconds(2000));
    ASSERT_TRUE(client.waitFor(SIMCONNECT_RECV_ID_EVENT_FRAME, 50));
    for (int i = 0; i < 20; ++i)
        client.dispatch();
    EXPECT_EQ(client.count(SIMCONNECT_RECV_ID_EVENT_FRAME), 50u);
    const auto& f = client.all(SIMCONNECT_RECV_ID_EVENT_FRAME)[0]->as<SIMCONNECT_RECV_EVENT_FRAME>();
    EXPECT_EQ(f.eventId, kEvFrame);
    EXPECT_FLOAT_EQ(f.frameRate, 25.0f);
}

// On its own clock at a time scale the stand-in's simulator time runs that many times as fast as the real
// time it follows, and the frames keep their rate a simulator second.
TEST(StubClock, ATimeScaleRunsTheOwnClockThatMuchFaster) {
    std::atomic<std::chrono::steady_clock::rep> realTicks{0};
    Options o;
    o.fps = 25;
    o.realTime = true;
    o.timeScale = 4;
    o.realClock = [&] {
        return std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(realTicks.load()));
    };
    SimStub stub(o);
    stub.start();
    TestClient client;
    ASSERT_EQ(client.open(stub.address()), SIMCONNECT_OK);
    registerEverything(client.h, stub);
    // Half a second of real time in steps of 25 ms (100 ms of the stand-in's, 2.5 frames), each taken
    // by the server thread before the next.
    for (int step = 1; step <= 20; ++step) {
        realTicks +=
            std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::milliseconds(25))
                .count();
        ASSERT_TRUE(client.waitFor(SIMCONNECT_RECV_ID_EVENT_FRAME, static_cast<std::size_t>(step * 2.5)))
            << "step " << step;
    }
    for (int i = 0; i < 20; ++i)
        client.dispatch();
    EXPECT_EQ(client.count(SIMCONNECT_RECV_ID_EVENT_FRAME), 50u);
    EXPECT_DOUBLE_EQ(stub.stateJson().value("simSeconds", 0.0), 2.0);
}

TEST_F(StubWorld, StaticCgRepliesPerModelAlsoOutOfRange) {
    stub->setModelCg(kB738, {40.0, 3.0 * kDeg});
    create(kA320, "CG1", kUserLat, kUserLon, 0, true);
    create(kB738, "CG2", kUserLat, kUserLon, 0, true);
    ASSERT_TRUE(client.pumpUntil([&] { return added().size() == 2; }));
    for (std::uint32_t id : {3u, 4u})
        ASSERT_EQ(SimConnect_RequestDataOnSimObject(client.h, kReqStaticCg, kDefStaticCg, id,
                                                    SIMCONNECT_PERIOD_ONCE),
                  0);
    ASSERT_TRUE(client.pumpUntil([&] { return client.data(kReqStaticCg).size() == 2; }));
    struct Cg {
        double height, pitch;
    };
    const auto a = client.data(kReqStaticCg)[0]->block<Cg>();
    const auto b = client.data(kReqStaticCg)[1]->block<Cg>();
    EXPECT_DOUBLE_EQ(a.height, 8.0);
    EXPECT_DOUBLE_EQ(a.pitch, 0.0);
    EXPECT_DOUBLE_EQ(b.height, 40.0);
    EXPECT_NEAR(b.pitch, 3.0 * kDeg, 1e-12);
    EXPECT_DOUBLE_EQ(object(4).altitudeFt, 100.0 + 40.0);
}

TEST_F(StubWorld, FlightPlansAreAcceptedOrRefused) {
    const fs::path dir = fs::path(::testing::TempDir()) / ("simstub_plan_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path plan = dir / "3.pln";
    std::ofstream(plan)
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SimBase.Document Type=\"AceXML\" "
           "version=\"4,3\">\n<FlightPlan.FlightPlan>\n</FlightPlan.FlightPlan>\n</SimBase.Document>\n";
    create(kA320, "FP1", kUserLat, kUserLon, 3000, false);
    ASSERT_TRUE(client.pumpUntil([&] { return added().size() == 1; }));
    ASSERT_EQ(SimConnect_AISetAircraftFlightPlan(client.h, 3, plan.c_str(), kReqAiFlightPlan), 0);
    ASSERT_EQ(
        SimConnect_AISetAircraftFlightPlan(client.h, 3, (dir / "missing.pln").c_str(), kReqAiFlightPlan), 0);
    const std::uint32_t missing = client.lastPacket();
    settle();
    EXPECT_EQ(object(3).flightPlan, plan.string());
    ASSERT_EQ(exceptions().size(), 1u);
    EXPECT_EQ(exceptions()[0].exception, SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED);
    EXPECT_EQ(exceptions()[0].sendId, missing);
    fs::remove_all(dir);
}

TEST_F(StubWorld, AFailedCallIsSeenByTheDispatchAndChangesNothing) {
    stub->failCall("SimConnect_AICreateNonATCAircraft", SIMCONNECT_EXCEPTION_ERROR, 1);
    const std::uint32_t failed = create(kA320, "F1", kUserLat, kUserLon, 3000, false);
    create(kA320, "F2", kUserLat, kUserLon, 3000, false);
    ASSERT_TRUE(client.pumpUntil([&] { return added().size() == 1; }));
    ASSERT_TRUE(client.waitFor(SIMCONNECT_RECV_ID_EXCEPTION));
    EXPECT_EQ(exceptions()[0].exception, SIMCONNECT_EXCEPTION_ERROR);
    EXPECT_EQ(exceptions()[0].sendId, failed);
    EXPECT_EQ(stub->objectByTail("F2")->id, 3u);
    EXPECT_FALSE(stub->objectByTail("F1").has_value());
}

TEST_F(StubWorld, UnknownNamesAreRefused) {
    struct Case {
        const char* what;
        std::function<HRESULT()> call;
        bool refused;
    };
    const std::vector<Case> cases{
        {"datum",
         [&] { return SimConnect_AddToDataDefinition(client.h, 499, "PLANE WARP FACTOR", "number"); }, true},
        {"unit", [&] { return SimConnect_AddToDataDefinition(client.h, 499, "Plane Altitude", "furlongs"); },
         true},
        {"unit, other case",
         [&] { return SimConnect_AddToDataDefinition(client.h, 499, "ZULU TIME", "SECONDS"); }, false},
        {"system event", [&] { return SimConnect_SubscribeToSystemEvent(client.h, 299, "ObjectAddded"); },
         true},
        {"simulator event",
         [&] { return SimConnect_MapClientEventToSimEvent(client.h, 298, "NAV_LIGHT_SET"); }, true},
        {"simulator event, other case",
         [&] { return SimConnect_MapClientEventToSimEvent(client.h, 297, "flaps_set"); }, false},
        {"private event",
         [&] { return SimConnect_MapClientEventToSimEvent(client.h, 296, "Skyloom.Marker"); }, false},
        {"event without a name", [&] { return SimConnect_MapClientEventToSimEvent(client.h, 295, nullptr); },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::size_t before = exceptions().size();
        ASSERT_EQ(c.call(), 0);
        const std::uint32_t packet = client.lastPacket();
        settle();
        const auto ex = exceptions();
        if (!c.refused) {
            EXPECT_EQ(ex.size(), before);
            continue;
        }
        ASSERT_EQ(ex.size(), before + 1);
        EXPECT_EQ(ex.back().exception, SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED);
        EXPECT_EQ(ex.back().sendId, packet);
    }
    // A refused simulator event was not mapped: sending it is an unknown id.
    create(kA320, "UN1", kUserLat, kUserLon, 3000, false);
    ASSERT_TRUE(client.pumpUntil([&] { return added().size() == 1; }));
    event(3, 298, 1);
    const std::uint32_t unmapped = client.lastPacket();
    event(3, 297, 3);
    settle();
    EXPECT_EQ(exceptions().back().exception, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID);
    EXPECT_EQ(exceptions().back().sendId, unmapped);
    EXPECT_EQ(object(3).lights, 0u);
    EXPECT_EQ(object(3).flaps, 3u);
}

TEST_F(StubWorld, ADisconnectedClientTakesItsObjectsAlong) {
    TestClient other;
    ASSERT_EQ(other.open(stub->address(), "Other"), SIMCONNECT_OK);
    registerEverything(other.h, *stub);
    SIMCONNECT_DATA_INITPOSITION pos{kUserLat, kUserLon, 3000, 0, 0, 0, 0, 200};
    ASSERT_EQ(SimConnect_AICreateNonATCAircraft(other.h, kA320, "OTH1", pos, kReqAiCreate), 0);
    ASSERT_TRUE(client.pumpUntil([&] { return added().size() == 1; }));
    SimConnect_Close(other.h);
    other.h = nullptr;
    ASSERT_TRUE(client.pumpUntil([&] { return removed().size() == 1; }));
    EXPECT_TRUE(stub->objects().empty());
    EXPECT_TRUE(stub->waitUntil([&] { return stub->clientCount() == 1; }));
}

TEST_F(StubWorld, CallsThatArriveWithTheClosingConnectionAreStillHandled) {
    // Open, a creation and the close leave in quick succession, so the stand-in reads them together with
    // the end of the stream.
    for (int round = 0; round < 20; ++round) {
        HSIMCONNECT h = nullptr;
        ASSERT_EQ(SimConnect_Open(&h, "Brief", stub->address().c_str()), SIMCONNECT_OK);
        SIMCONNECT_DATA_INITPOSITION pos{kUserLat, kUserLon, 3000, 0, 0, 0, 0, 200};
        ASSERT_EQ(SimConnect_AICreateNonATCAircraft(h, kA320, fmt::format("BR{}", round).c_str(), pos,
                                                    kReqAiCreate),
                  0);
        ASSERT_EQ(SimConnect_Close(h), SIMCONNECT_OK);
    }
    // A client's objects go when its connection has been dealt with, after the calls it sent.
    ASSERT_TRUE(stub->waitUntil([&] { return stub->counts().removals == 20 && stub->clientCount() == 1; }));
    EXPECT_EQ(stub->callCount("Open"), 21u);
    EXPECT_EQ(stub->callCount("Close"), 20u);
    // Every creation was carried out.
    EXPECT_EQ(stub->counts().creations, 20u);
    EXPECT_TRUE(stub->objects().empty());
}

// ---- state file and titles --------------------------------------------------------------------------------

TEST_F(StubWorld, TheStateFileIsCompleteJson) {
    create(kA320, "JS1", kUserLat, kUserLon, 3000, false);
    ASSERT_TRUE(client.pumpUntil([&] { return added().size() == 1; }));
    const fs::path dir = fs::path(::testing::TempDir()) / ("simstub_state_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path file = dir / "state.json";
    stub->writeStateFile(file);
    std::ifstream in(file);
    const auto json = nlohmann::json::parse(in);
    EXPECT_FALSE(fs::exists(dir / "state.json.tmp"));
    EXPECT_EQ(json["sim"], "KittyHawk");
    EXPECT_EQ(json["user"]["id"], 1);
    EXPECT_EQ(json["counts"]["creations"], 1);
    const auto& o = json["objects"].at(0);
    for (const char* key :
         {"id", "tail", "title", "latitude", "longitude", "altitude", "heading", "onGround", "lights",
          "engines", "flaps", "gear", "spoilers", "throttle", "frozen", "created", "removal"})
        EXPECT_TRUE(o.contains(key)) << key;
    EXPECT_EQ(o["title"], kA320);
    EXPECT_DOUBLE_EQ(o["heading"].get<double>(), 270.0);
    EXPECT_TRUE(o["removal"].is_null());
    fs::remove_all(dir);
}

TEST(StubTitles, ReadFromATitlesFileOrFromAircraftCfgFiles) {
    const fs::path dir = fs::path(::testing::TempDir()) / ("simstub_titles_" + std::to_string(::getpid()));
    fs::create_directories(dir / "pkg" / "SimObjects" / "Airplanes" / "a320");
    std::ofstream(dir / "titles.txt") << "# installed\nAirbus A320 KLM\r\n\n  Boeing 737 TUI  \n";
    std::ofstream(dir / "pkg" / "SimObjects" / "Airplanes" / "a320" / "aircraft.cfg")
        << "[VERSION]\nmajor = 1\n[FLTSIM.0]\ntitle = \"Airbus A320 KLM\" ; the livery\natc_id = PH-ABC\n"
           "[FLTSIM.1]\nTitle=Airbus A320 Transavia // second\n"
           "[FLTSIM.2]\ntitle = \"Airbus A320; Vueling // EC-MXX\" ; quoted\n"
           "[FLTSIM.3]\n; title = Airbus A320 Retired\n";
    std::ofstream(dir / "pkg" / "notes.cfg") << "title = Not A Livery\n";
    EXPECT_EQ(skyloom::simstub::readTitlesFile(dir / "titles.txt"),
              (std::set<std::string>{"Airbus A320 KLM", "Boeing 737 TUI"}));
    EXPECT_EQ(skyloom::simstub::scanCommunityTitles(dir / "pkg"),
              (std::set<std::string>{"Airbus A320 KLM", "Airbus A320 Transavia",
                                     "Airbus A320; Vueling // EC-MXX"}));
    EXPECT_THROW(skyloom::simstub::readTitlesFile(dir / "nope.txt"), std::runtime_error);
    fs::remove_all(dir);
}
