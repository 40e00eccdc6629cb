// Command queues and the frame flush against the simulator stand-in: creations, their results,
// removals, client events, positions, a busy frame and a failed request.

#include "simlink_fixture.h"

namespace simtest {
namespace {

using namespace std::chrono_literals;

AiCreateRecord lf_record(std::string_view title, std::string callsign, std::uint32_t hexid) {
    AiCreateRecord r;
    r.initPosition.latitude = 47.451;
    r.initPosition.longitude = 8.561;
    r.initPosition.altitude = 1400;
    r.initPosition.heading = 90;
    r.initPosition.onGround = 1;
    r.callsign = std::move(callsign);
    r.title = title;
    r.hexid = hexid;
    return r;
}

class CommandQueueTest : public SimLinkTest {
protected:
    // The results of one objects-by-type request, once `count` objects have come back: one result an
    // object, as the link's own request for a just-added object may answer in the same take.
    std::vector<SimResult> objectsInRange(std::size_t count) {
        EXPECT_TRUE(gf_requestObjectsInRadius(20000));
        std::vector<SimResult> results;
        EXPECT_TRUE(eventually([&] {
            for (const SimResult& r : takeResults())
                if (std::none_of(results.begin(), results.end(),
                                 [&](const SimResult& seen) { return seen.objectId == r.objectId; }))
                    results.push_back(r);
            return results.size() >= count;
        })) << results.size();
        return results;
    }

    // Creates an aircraft through the queue; the link asks for the new object by its number and binds
    // it. Returns its object id.
    std::uint32_t createAndBind(const char* title, const std::string& callsign, std::uint32_t hexid) {
        gf_queueAiCreate(lf_record(title, callsign, hexid));
        frame();
        std::vector<SimResult> results;
        EXPECT_TRUE(eventually([&] {
            for (const SimResult& r : takeResults())
                results.push_back(r);
            return !results.empty();
        }));
        return results.empty() ? 0 : results.front().objectId;
    }
};

TEST_F(CommandQueueTest, CreationsGoOutInOrderOnOneFrameAndComeBackBoundAndFrozen) {
    gf_reserveSimQueues(); // as the main run does, before the link starts
    auto& s = connect();
    gf_queueAiCreate(lf_record("Stub A320 Swiss", "SWR12", 0x4B0001));
    gf_queueAiCreate(lf_record("Stub B738 Lufthansa", "DLH34", 0x3C0002));
    sync();
    EXPECT_TRUE(callsStartingWith("AICreateNonATCAircraft").empty()) << "nothing before the frame";

    frame();
    EXPECT_EQ(callsStartingWith("AICreateNonATCAircraft"),
              (std::vector<std::string>{"AICreateNonATCAircraft Stub A320 Swiss SWR12 104",
                                        "AICreateNonATCAircraft Stub B738 Lufthansa DLH34 104"}));
    {
        std::lock_guard lock(simCommandMutex);
        EXPECT_TRUE(simCreateQueue.empty());
    }

    const auto swiss = s.objectByTail("SWR12");
    const auto lufthansa = s.objectByTail("DLH34");
    ASSERT_TRUE(swiss && lufthansa);
    auto results = objectsInRange(2);
    std::sort(results.begin(), results.end(),
              [](const SimResult& a, const SimResult& b) { return a.objectId < b.objectId; });
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].objectId, swiss->id);
    EXPECT_EQ(results[0].value, 0x4B0001u);
    EXPECT_EQ(results[0].kind, SimResultKind::liveObjectFound);
    EXPECT_EQ(results[1].objectId, lufthansa->id);
    EXPECT_EQ(results[1].value, 0x3C0002u);
    EXPECT_EQ(results[1].kind, SimResultKind::liveObjectFound);
    EXPECT_NEAR(results[0].b, swiss->altitudeFt - s.groundElevationAt(swiss->latitude, swiss->longitude),
                0.5);

    // Control released at once, frozen with the next frame. The release leaves with the dispatch call
    // that posted the results, so the stand-in may not have it yet.
    sync();
    EXPECT_GE(s.object(swiss->id)->releaseCount, 1u);
    frame();
    for (const auto id : {swiss->id, lufthansa->id}) {
        const auto o = s.object(id);
        EXPECT_TRUE(o->freezeLatLon && o->freezeAltitude && o->freezeAttitude);
    }

    // Seen again: ground data, no second binding.
    results = objectsInRange(2);
    for (const SimResult& r : results) {
        EXPECT_EQ(r.kind, SimResultKind::groundData);
        EXPECT_EQ(r.value, 1u) << "on the ground";
    }
}

TEST_F(CommandQueueTest, ARefusedTitleAndAStaticAircraftComeBackAsTheirResults) {
    stub::Options options;
    options.installedTitles = std::set<std::string>{"Stub A320 Swiss"};
    connect(options);
    // The refused one second: its refusal must find its own packet id, not the first one sent.
    gf_queueAiCreate(lf_record("Stub A320 Swiss", "SWR9*", 77));
    gf_queueAiCreate(lf_record("Not Installed", "EZY77", 0x4CA001));
    frame();

    // The refusal, and the static aircraft bound as the link asks for the new object by its number.
    std::vector<SimResult> results;
    ASSERT_TRUE(eventually([&] {
        for (const SimResult& r : takeResults())
            results.push_back(r);
        return results.size() >= 2;
    }));
    ASSERT_EQ(results.size(), 2u);
    std::stable_partition(results.begin(), results.end(),
                          [](const SimResult& r) { return r.kind == SimResultKind::createFailed; });
    EXPECT_EQ(results[0].kind, SimResultKind::createFailed);
    EXPECT_EQ(results[0].value, 0x4CA001u);
    EXPECT_EQ(results[0].objectId, 0u);
    EXPECT_EQ(results[1].kind, SimResultKind::staticObjectFound);
    EXPECT_EQ(results[1].value, 77u);
    EXPECT_EQ(results[1].b, 0.0);

    // A parked static aircraft ("*") never gets ground data.
    EXPECT_TRUE(gf_requestObjectsInRadius(20000));
    sync();
    frame();
    EXPECT_TRUE(takeResults().empty());
}

TEST_F(CommandQueueTest, RemovalsReachTheSimulatorAndComeBack) {
    auto& s = connect();
    const std::uint32_t id = createAndBind("Stub A320 Swiss", "SWR12", 0x4B0001);
    ASSERT_NE(id, 0u);
    gf_queueAiRemove(id);
    gf_queueAiRemove(1); // the user aircraft (below the start value 2)
    frame();
    EXPECT_EQ(callsStartingWith("AIRemoveObject"),
              std::vector<std::string>{fmt::format("AIRemoveObject {} 105", id)});
    EXPECT_EQ(logCount("SimConnect call to remove ac with objectid 1"), 1u);

    s.advance(1s);
    std::vector<SimResult> results;
    ASSERT_TRUE(eventually([&] {
        for (const SimResult& r : takeResults())
            results.push_back(r);
        return !results.empty();
    }));
    EXPECT_EQ(results[0].kind, SimResultKind::objectRemoved);
    EXPECT_EQ(results[0].objectId, id);
    EXPECT_FALSE(runControl.stop);
}

TEST_F(CommandQueueTest, PositionsAndClientEventsFollowTheirRules) {
    auto& s = connect();
    const std::uint32_t id = createAndBind("Stub A320 Swiss", "SWR12", 0x4B0001);
    frame(); // the freeze events
    const auto updatesBefore = s.object(id)->positionUpdates;
    const std::size_t callsBefore = s.calls().size();

    {
        std::lock_guard lock(simCommandMutex);
        AiPosition p{47.46, 8.57, 0.01, 0.0, 1.5, 1500.0, 0.0, 140.0};
        positionWriteBuffer.push_back({p, 1});
        positionWriteBuffer.push_back({p, userObjectIdAtStart});
        positionWriteBuffer.push_back({p, id});
        gf_exchangePositionBuffers();
        EXPECT_TRUE(positionWriteBuffer.empty());
    }
    gf_queueClientEvent(id, evFlapsSet, 2);
    gf_setNavLights(id, 1);
    frame();

    const auto o = s.object(id);
    EXPECT_EQ(o->positionUpdates, updatesBefore + 1) << "only the AI object's position is sent";
    EXPECT_NEAR(o->latitude, 47.46, 1e-9);
    EXPECT_EQ(o->flaps, 2u);
    EXPECT_TRUE(o->lights & stub::kLightNav);
    const auto calls = s.calls();
    const std::vector<std::string> sent(calls.begin() + static_cast<std::ptrdiff_t>(callsBefore),
                                        calls.end() - 1);
    const std::vector<std::string> expected{fmt::format("AIReleaseControl {} 103", id),
                                            fmt::format("TransmitClientEvent {} FLAPS_SET 2 301", id),
                                            fmt::format("AIReleaseControl {} 103", id),
                                            fmt::format("TransmitClientEvent {} NAV_LIGHTS_SET 1 301", id)};
    EXPECT_EQ(sent, expected);

    // A failing FLAPS_SET: the first release only, a message, and the queue goes on.
    SimConnect_InjectFailure(hSimConnect, "TransmitClientEvent", 1);
    gf_queueClientEvent(id, evFlapsSet, 3);
    gf_setCabinLights(id, 1);
    const std::size_t before = s.calls().size();
    frame();
    const auto after = s.calls();
    EXPECT_EQ(std::vector<std::string>(after.begin() + static_cast<std::ptrdiff_t>(before), after.end() - 1),
              (std::vector<std::string>{fmt::format("AIReleaseControl {} 103", id),
                                        fmt::format("TransmitClientEvent {} CABIN_LIGHTS_SET 1 301", id)}));
    const auto shown = messages();
    EXPECT_NE(std::find(shown.begin(), shown.end(), "SimConnect TransmitClientEvent: 217 fails"),
              shown.end());
}

TEST_F(CommandQueueTest, ABusyFrameSendsNothingAndTheNextSendsEverything) {
    auto& s = connect();
    gf_queueAiCreate(lf_record("Stub A320 Swiss", "SWR12", 0x4B0001));
    gf_queueAiCreate(lf_record("Stub A320 Swiss", "SWR13", 0x4B0002));

    std::atomic<bool> held{false};
    std::atomic<bool> release{false};
    std::thread worker([&] {
        std::lock_guard lock(simCommandMutex);
        held = true;
        while (!release)
            std::this_thread::sleep_for(1ms);
    });
    ASSERT_TRUE(eventually([&] { return held.load(); }));
    const std::uint64_t frames = gf_simFramesHandled();
    s.sendFrame();
    ASSERT_TRUE(eventually([&] { return gf_simFramesHandled() > frames; }));
    const std::uint64_t rounds = gf_simDispatchRounds();
    ASSERT_TRUE(eventually([&] { return gf_simDispatchRounds() > rounds; }));
    release = true;
    worker.join();
    sync();
    EXPECT_TRUE(callsStartingWith("AICreateNonATCAircraft").empty());

    frame();
    EXPECT_EQ(callsStartingWith("AICreateNonATCAircraft"),
              (std::vector<std::string>{"AICreateNonATCAircraft Stub A320 Swiss SWR12 104",
                                        "AICreateNonATCAircraft Stub A320 Swiss SWR13 104"}));
}

TEST_F(CommandQueueTest, AFailedRequestSuspendsTheLinkAndAsksForARestart) {
    gf_reserveSimQueues();
    auto& s = connect();
    SimConnect_InjectFailure(hSimConnect, "AICreateNonATCAircraft", 1);
    gf_queueAiCreate(lf_record("Stub A320 Swiss", "SWR12", 0x4B0001));
    frame();

    EXPECT_EQ(logCount("! Simcon call to create ac in sim failed, hexid:4915201, liv: 'Stub A320 Swiss', "
                       "callsign: SWR12)"),
              1u);
    const auto shown = messages();
    EXPECT_NE(std::find(shown.begin(), shown.end(), "SimConnect request error"), shown.end());
    EXPECT_TRUE(simLinkSuspended);
    EXPECT_EQ(runControl.stopReason(), StopReason::SimConnectError);
    EXPECT_EQ(runControl.restartDelay, 9);

    // From now on every frame drops what is queued.
    gf_queueAiCreate(lf_record("Stub A320 Swiss", "SWR13", 0x4B0002));
    gf_setNavLights(5, 1);
    gf_queueAiRemove(5);
    const std::size_t before = s.calls().size();
    const std::uint64_t requests = s.callCount("RequestDataOnSimObject");
    gf_requestUserState();
    frame();
    EXPECT_EQ(s.calls().size(), before + 1) << "only the test's own marker";
    EXPECT_EQ(s.callCount("RequestDataOnSimObject"), requests) << "no user-state request while suspended";
    std::lock_guard lock(simCommandMutex);
    EXPECT_TRUE(simCreateQueue.empty() && simEventQueue.empty() && simRemoveQueue.empty());
}

TEST_F(CommandQueueTest, TheControlBlockIsWrittenUnderTheCommandMutex) {
    auto& s = connect();
    const std::uint32_t id = createAndBind("Stub A320 Swiss", "SWR12", 0x4B0001);
    ASSERT_NE(id, 0u);

    std::atomic<bool> written{false};
    std::thread writer;
    {
        std::unique_lock lock(simCommandMutex);
        writer = std::thread([&] {
            EXPECT_TRUE(gf_setAcControls(id, 100, -100, -100));
            written = true;
        });
        std::this_thread::sleep_for(50ms);
        EXPECT_FALSE(written) << "the write waits for the command mutex";
    }
    writer.join();
    sync();
    const auto o = s.object(id);
    EXPECT_EQ(o->spoilersHandlePct, 100);
    EXPECT_EQ(o->throttleLever1Pct, -100);
    EXPECT_EQ(o->throttleLever2Pct, -100);

    // The result mutex may be held around it (the engine's drain).
    {
        std::lock_guard results(simResultMutex);
        EXPECT_TRUE(gf_setAcControls(id, 0, 0, 0));
    }
    sync();
    const std::uint64_t sets = s.callCount("SetDataOnSimObject");
    EXPECT_TRUE(gf_setAcControls(1, 0, 0, 0));
    sync();
    EXPECT_EQ(s.callCount("SetDataOnSimObject"), sets) << "never on the user aircraft";
    EXPECT_EQ(s.object(id)->spoilersHandlePct, 0);
}

TEST(CommandQueues, LightsAreQueuedInTheirFixedOrder) {
    gf_resetSimLinkForTests();
    gf_setLights(7, 1, 0, 0, 1, 0, 1, 0);
    gf_engineAutoStart(7);
    gf_engineAutoShutdown(7);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> queued;
    for (const ClientEventCmd& c : simEventQueue) {
        EXPECT_EQ(c.objectId, 7u);
        queued.emplace_back(c.eventId, c.data);
    }
    const std::vector<std::pair<std::uint32_t, std::uint32_t>> expected{
        {207, 1}, {206, 0}, {210, 0}, {208, 1}, {209, 0}, {212, 1}, {211, 0}, {220, 0}, {221, 0}};
    EXPECT_EQ(queued, expected);
    gf_resetSimLinkForTests();
}

} // namespace
} // namespace simtest
