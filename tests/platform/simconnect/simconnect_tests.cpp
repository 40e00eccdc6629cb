// The client API against the in-process simulator stand-in.
#include "platform/simconnect/simconnect.h"
#include "platform/simconnect/wire.h"
#include "tests/tools/simstub/client_harness.h"
#include "tools/simstub/simstub.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <set>
#include <stdexcept>
#include <thread>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace skyloom::testing;
using skyloom::simstub::Options;
using skyloom::simstub::SimStub;

namespace {

Options quietOptions() {
    Options o;
    o.fps = 0; // frames only when a test sends them
    return o;
}

// A TCP socket bound to a port of the loopback address that the system chose; `address` is
// "127.0.0.1:port".
int boundLoopbackSocket(std::string& address) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return -1;
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    address = "127.0.0.1:" + std::to_string(ntohs(addr.sin_port));
    return fd;
}

} // namespace

TEST(SimConnectOpen, AnswersWithTheSimulatorNameOfTheChosenVersion) {
    for (const auto& [version, name] : {std::pair{2020, "KittyHawk"}, std::pair{2024, "SunRise"}}) {
        Options o = quietOptions();
        o.simVersion = version;
        SimStub stub(o);
        stub.start();
        TestClient client;
        ASSERT_EQ(client.open(stub.address()), SIMCONNECT_OK);
        ASSERT_TRUE(client.waitFor(SIMCONNECT_RECV_ID_OPEN));
        const auto& open = client.all(SIMCONNECT_RECV_ID_OPEN)[0]->as<SIMCONNECT_RECV_OPEN>();
        EXPECT_STREQ(open.applicationName, name);
        EXPECT_GT(open.applicationVersionMajor, 0u);
        EXPECT_EQ(stub.calls().front(), "Open Skyloom");
    }
}

TEST(SimConnectOpen, TakesTheAddressFromTheEnvironmentWhenNoneIsGiven) {
    SimStub stub(quietOptions());
    stub.start();
    ASSERT_EQ(setenv(kSimConnectAddressEnv, stub.address().c_str(), 1), 0);
    TestClient client;
    EXPECT_EQ(client.open(""), SIMCONNECT_OK);
    EXPECT_TRUE(client.waitFor(SIMCONNECT_RECV_ID_OPEN));
    unsetenv(kSimConnectAddressEnv);
}

TEST(SimConnectOpen, AcceptsAHostName) {
    SimStub stub(quietOptions());
    stub.start();
    TestClient client;
    EXPECT_EQ(client.open("localhost:" + std::to_string(stub.port())), SIMCONNECT_OK);
    EXPECT_TRUE(client.waitFor(SIMCONNECT_RECV_ID_OPEN));
}

TEST(SimConnectOpen, FailsWhileNoSimulatorListens) {
    // A port that was free a moment ago: bind, learn it, close.
    std::string address;
    const int fd = boundLoopbackSocket(address);
    ASSERT_GE(fd, 0);
    close(fd);
    HSIMCONNECT h = reinterpret_cast<HSIMCONNECT>(1);
    EXPECT_LT(SimConnect_Open(&h, "Skyloom", address.c_str()), 0);
    EXPECT_EQ(h, nullptr);
    EXPECT_LT(SimConnect_Open(nullptr, "Skyloom", address.c_str()), 0);
}

TEST(SimConnectSetup, CallsArriveInTheOrderTheyWereMade) {
    SimStub stub(quietOptions());
    stub.start();
    TestClient client;
    ASSERT_EQ(client.open(stub.address()), SIMCONNECT_OK);
    registerEverything(client.h, stub);
    const std::size_t expected =
        1 + 5 + dataDefinitions().size() + clientEvents().size() + groupOrder().size() + 1;
    ASSERT_TRUE(stub.waitUntil([&] { return stub.calls().size() >= expected; }));
    const auto calls = stub.calls();
    ASSERT_EQ(calls.size(), expected);
    std::vector<std::string> want{"Open Skyloom",
                                  "SubscribeToSystemEvent 201 Sim",
                                  "SubscribeToSystemEvent 202 ObjectAdded",
                                  "SubscribeToSystemEvent 203 ObjectRemoved",
                                  "SubscribeToSystemEvent 205 FlightLoaded",
                                  "SubscribeToSystemEvent 204 Frame"};
    for (const auto& d : dataDefinitions())
        want.push_back(fmt::format("AddToDataDefinition {} {} {} {}", d.defineId, d.name,
                                   d.units ? d.units : "", d.type));
    for (const auto& e : clientEvents())
        want.push_back(fmt::format("MapClientEventToSimEvent {} {}", e.id, e.name));
    for (auto id : groupOrder())
        want.push_back(fmt::format("AddClientEventToNotificationGroup 301 {} 1", id));
    want.push_back("SetNotificationGroupPriority 301 1");
    EXPECT_EQ(calls, want);
    // Nothing in the set-up was refused, and the simulation reports itself running.
    ASSERT_TRUE(client.waitFor(SIMCONNECT_RECV_ID_EVENT));
    EXPECT_EQ(client.count(SIMCONNECT_RECV_ID_EXCEPTION), 0u);
    const auto& sim = client.all(SIMCONNECT_RECV_ID_EVENT)[0]->as<SIMCONNECT_RECV_EVENT>();
    EXPECT_EQ(sim.eventId, kEvSim);
    EXPECT_EQ(sim.data, 1u);
}

TEST(SimConnectPackets, IdsRisePerConnectionAndAreAnsweredPerThread) {
    SimStub stub(quietOptions());
    stub.start();
    TestClient client;
    ASSERT_EQ(client.open(stub.address()), SIMCONNECT_OK);
    const std::uint32_t afterOpen = client.lastPacket();
    EXPECT_EQ(afterOpen, 1u);
    ASSERT_EQ(SimConnect_MapClientEventToSimEvent(client.h, 219, "GEAR_SET"), 0);
    EXPECT_EQ(client.lastPacket(), 2u);

    std::uint32_t otherThreadBefore = 99, otherThreadAfter = 0;
    std::thread other([&] {
        SimConnect_GetLastSentPacketID(client.h, &otherThreadBefore);
        SimConnect_MapClientEventToSimEvent(client.h, 220, "ENGINE_AUTO_START");
        SimConnect_GetLastSentPacketID(client.h, &otherThreadAfter);
    });
    other.join();
    EXPECT_EQ(otherThreadBefore, 0u); // this thread had sent nothing yet
    EXPECT_EQ(otherThreadAfter, 3u);
    EXPECT_EQ(client.lastPacket(), 2u); // unchanged by the other thread's send
}

TEST(SimConnectPackets, ConcurrentSendersGetDistinctIdsAndNothingIsLost) {
    SimStub stub(quietOptions());
    stub.start();
    TestClient client;
    ASSERT_EQ(client.open(stub.address()), SIMCONNECT_OK);
    constexpr int kThreads = 4, kEach = 500;
    std::vector<std::vector<std::uint32_t>> ids(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                SimConnect_MapClientEventToSimEvent(client.h, 1000 + t, "GEAR_SET");
                std::uint32_t id = 0;
                SimConnect_GetLastSentPacketID(client.h, &id);
                ids[t].push_back(id);
            }
        });
    }
    // The dispatching thread keeps batching its own sends meanwhile.
    for (int i = 0; i < 50; ++i)
        client.dispatch();
    for (auto& t : threads)
        t.join();
    std::set<std::uint32_t> unique;
    for (const auto& list : ids) {
        EXPECT_TRUE(std::is_sorted(list.begin(), list.end()));
        unique.insert(list.begin(), list.end());
    }
    EXPECT_EQ(unique.size(), static_cast<std::size_t>(kThreads * kEach));
    EXPECT_TRUE(
        stub.waitUntil([&] { return stub.callCount("MapClientEventToSimEvent") == kThreads * kEach; }));
    EXPECT_EQ(client.count(SIMCONNECT_RECV_ID_EXCEPTION), 0u);
}

TEST(SimConnectDispatch, SendsMadeInsideTheDispatchGoOutWhenItReturns) {
    SimStub stub(quietOptions());
    stub.start();
    TestClient client;
    ASSERT_EQ(client.open(stub.address()), SIMCONNECT_OK);
    registerEverything(client.h, stub);
    int sentInside = 0;
    client.onMessage = [&](const SIMCONNECT_RECV& m) {
        if (m.id != SIMCONNECT_RECV_ID_EVENT_FRAME) return;
        for (int i = 0; i < 100; ++i)
            if (SimConnect_TransmitClientEvent(client.h, SIMCONNECT_OBJECT_ID_USER, 207, i % 2, kGrpAiControl,
                                               0) == 0)
                ++sentInside;
    };
    stub.sendFrame();
    ASSERT_TRUE(client.waitFor(SIMCONNECT_RECV_ID_EVENT_FRAME));
    EXPECT_EQ(sentInside, 100);
    EXPECT_TRUE(stub.waitUntil([&] { return stub.callCount("TransmitClientEvent") == 100; }));
}

TEST(SimConnectDispatch, ALargeBatchArrivesWholeAndInOrder) {
    SimStub stub(quietOptions());
    stub.start();
    TestClient client;
    ASSERT_EQ(client.open(stub.address()), SIMCONNECT_OK);
    registerEverything(client.h, stub);
    constexpr int kBlocks = 5000; // far more than one write takes
    ASSERT_EQ(SimConnect_BeginBatch(client.h), SIMCONNECT_OK);
    for (int i = 0; i < kBlocks; ++i) {
        const AiPositionBlock p{10.0 + i * 1e-4, 20.0, 0, 0, 0, 1000.0 + i, 0, 0};
        ASSERT_EQ(SimConnect_SetDataOnSimObject(client.h, kDefAiPosition, SIMCONNECT_OBJECT_ID_USER, 0, 0,
                                                sizeof p, &p),
                  SIMCONNECT_OK);
    }
    ASSERT_EQ(SimConnect_EndBatch(client.h), SIMCONNECT_OK);
    EXPECT_EQ(SimConnect_EndBatch(client.h), SIMCONNECT_E_INVALIDARG); // no batch open any more
    ASSERT_TRUE(stub.waitUntil([&] { return stub.callCount("SetDataOnSimObject") == kBlocks; }));
    EXPECT_DOUBLE_EQ(stub.user().altitudeFt, 1000.0 + kBlocks - 1); // the last block was applied last
    client.dispatch();
    EXPECT_EQ(client.count(SIMCONNECT_RECV_ID_EXCEPTION), 0u);
}

// A peer that has stopped reading holds up only the thread whose batch waits for it: another thread's
// call is taken at once, and once the peer reads again everything arrives, in the order it was made.
TEST(SimConnectSend, ACallWhileAnotherThreadWaitsForASlowPeerReturnsAtOnceAndArrivesInOrder) {
    std::string address;
    const int listener = boundLoopbackSocket(address);
    ASSERT_GE(listener, 0);
    ASSERT_EQ(listen(listener, 1), 0);
    HSIMCONNECT h = nullptr;
    ASSERT_EQ(SimConnect_Open(&h, "Skyloom", address.c_str()), SIMCONNECT_OK);
    const int peer = accept(listener, nullptr, nullptr);
    ASSERT_GE(peer, 0);

    // Far more than the socket buffers of both sides hold, so that the batch's end waits for the peer.
    constexpr int kBlocks = 48;
    const std::string block(1024 * 1024, 'p');
    std::atomic<bool> batchEnding{false};
    std::atomic<bool> batchEnded{false};
    HRESULT batchResult = SIMCONNECT_E_FAIL;
    std::thread batching([&] {
        SimConnect_BeginBatch(h);
        for (int i = 0; i < kBlocks; ++i)
            SimConnect_SetDataOnSimObject(h, kDefAiPosition, 100 + i, 0, 0, block.size(), block.data());
        batchEnding = true;
        batchResult = SimConnect_EndBatch(h);
        batchEnded = true;
    });
    while (!batchEnding)
        std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // the batch's write is under way

    EXPECT_EQ(SimConnect_TransmitClientEvent(h, 7, 207, 1, kGrpAiControl, 0), SIMCONNECT_OK);
    EXPECT_FALSE(batchEnded) << "the call waited for the other thread's write";

    // The peer reads again: every frame arrives whole, in the order of the calls.
    std::string in;
    std::vector<std::uint32_t> kinds;
    std::vector<std::uint32_t> packetIds;
    std::vector<char> chunk(1 << 20);
    std::size_t pos = 0;
    while (kinds.size() < kBlocks + 2) {
        const ssize_t n = recv(peer, chunk.data(), chunk.size(), 0);
        ASSERT_GT(n, 0);
        in.append(chunk.data(), static_cast<std::size_t>(n));
        while (in.size() - pos >= skyloom::simwire::kHeadSize) {
            const auto head = skyloom::simwire::readHead(in.data() + pos);
            if (in.size() - pos - skyloom::simwire::kHeadSize < head.bodyLength) break;
            kinds.push_back(head.kind);
            packetIds.push_back(head.packetId);
            pos += skyloom::simwire::kHeadSize + head.bodyLength;
        }
    }
    batching.join();
    EXPECT_EQ(batchResult, SIMCONNECT_OK);
    using skyloom::simwire::Call;
    EXPECT_EQ(kinds.front(), static_cast<std::uint32_t>(Call::Open));
    EXPECT_EQ(std::count(kinds.begin(), kinds.end(), static_cast<std::uint32_t>(Call::SetDataOnSimObject)),
              kBlocks);
    EXPECT_EQ(kinds.back(), static_cast<std::uint32_t>(Call::TransmitClientEvent));
    EXPECT_TRUE(std::is_sorted(packetIds.begin(), packetIds.end()));
    SimConnect_Close(h);
    close(peer);
    close(listener);
}

TEST(SimConnectDispatch, AnExceptionFromTheHandlerLeavesAndTheRestIsDeliveredNextTime) {
    SimStub stub(quietOptions());
    stub.start();
    TestClient client;
    ASSERT_EQ(client.open(stub.address()), SIMCONNECT_OK);
    registerEverything(client.h, stub);
    ASSERT_TRUE(client.waitFor(SIMCONNECT_RECV_ID_EVENT)); // "Sim" 1
    for (int i = 0; i < 3; ++i)
        stub.sendFrame();
    bool thrown = false;
    client.onMessage = [&](const SIMCONNECT_RECV& m) {
        if (m.id == SIMCONNECT_RECV_ID_EVENT_FRAME && !thrown) {
            thrown = true;
            throw std::runtime_error("handler failed");
        }
    };
    // Pump until the first frame throws out of the dispatch.
    bool caught = false;
    for (int i = 0; i < 20000 && !caught; ++i) {
        try {
            client.dispatch();
        } catch (const std::runtime_error&) {
            caught = true;
        }
        if (!caught) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    ASSERT_TRUE(caught);
    EXPECT_TRUE(client.waitFor(SIMCONNECT_RECV_ID_EVENT_FRAME, 3));
}

TEST(SimConnectDispatch, ALostConnectionEndsLikeAClosedSimulator) {
    SimStub stub(quietOptions());
    stub.start();
    TestClient client;
    ASSERT_EQ(client.open(stub.address()), SIMCONNECT_OK);
    registerEverything(client.h, stub);
    ASSERT_TRUE(client.waitFor(SIMCONNECT_RECV_ID_EVENT));
    stub.sendFrame();
    stub.dropConnections();
    ASSERT_TRUE(client.waitFor(SIMCONNECT_RECV_ID_QUIT));
    // The frame sent before the drop still came first, the quit exactly once and last.
    EXPECT_EQ(client.count(SIMCONNECT_RECV_ID_EVENT_FRAME), 1u);
    EXPECT_EQ(client.messages.back().id, SIMCONNECT_RECV_ID_QUIT);
    EXPECT_EQ(client.dispatch(), SIMCONNECT_E_NOT_CONNECTED);
    EXPECT_EQ(client.count(SIMCONNECT_RECV_ID_QUIT), 1u);
    SIMCONNECT_DATA_INITPOSITION pos{};
    EXPECT_LT(SimConnect_AICreateNonATCAircraft(client.h, "A", "B", pos, kReqAiCreate), 0);
    EXPECT_EQ(SimConnect_Close(client.h), SIMCONNECT_OK);
    client.h = nullptr;
}

TEST(SimConnectDispatch, AQuitMessageFromTheSimulatorIsDeliveredOnce) {
    SimStub stub(quietOptions());
    stub.start();
    TestClient client;
    ASSERT_EQ(client.open(stub.address()), SIMCONNECT_OK);
    ASSERT_TRUE(client.waitFor(SIMCONNECT_RECV_ID_OPEN));
    stub.quit();
    ASSERT_TRUE(client.waitFor(SIMCONNECT_RECV_ID_QUIT));
    for (int i = 0; i < 5; ++i)
        client.dispatch();
    EXPECT_EQ(client.count(SIMCONNECT_RECV_ID_QUIT), 1u);
}

TEST(SimConnectFaults, AnInjectedFailureRefusesTheNamedCallOnly) {
    SimStub stub(quietOptions());
    stub.start();
    TestClient client;
    ASSERT_EQ(client.open(stub.address()), SIMCONNECT_OK);
    registerEverything(client.h, stub);
    ASSERT_EQ(SimConnect_InjectFailure(client.h, "SimConnect_AIRemoveObject", 2), 0);
    const std::uint32_t before = client.lastPacket();
    EXPECT_EQ(SimConnect_AIRemoveObject(client.h, 5, kReqAiRemove), SIMCONNECT_E_INJECTED);
    EXPECT_EQ(SimConnect_AIReleaseControl(client.h, 5, kReqAiReleaseControl), SIMCONNECT_OK);
    EXPECT_EQ(SimConnect_AIRemoveObject(client.h, 5, kReqAiRemove), SIMCONNECT_E_INJECTED);
    EXPECT_EQ(SimConnect_AIRemoveObject(client.h, 5, kReqAiRemove), SIMCONNECT_OK);
    EXPECT_EQ(client.lastPacket(), before + 2); // refused calls use no packet id
}

TEST(SimConnectArguments, NullHandlesAndTextsAreRefused) {
    SIMCONNECT_DATA_INITPOSITION pos{};
    std::uint32_t id = 0;
    EXPECT_EQ(SimConnect_CallDispatch(nullptr, nullptr, nullptr), SIMCONNECT_E_INVALIDARG);
    EXPECT_EQ(SimConnect_Close(nullptr), SIMCONNECT_E_INVALIDARG);
    EXPECT_EQ(SimConnect_GetLastSentPacketID(nullptr, &id), SIMCONNECT_E_INVALIDARG);
    EXPECT_EQ(SimConnect_AICreateNonATCAircraft(nullptr, "t", "c", pos, 1), SIMCONNECT_E_INVALIDARG);
    SimStub stub(quietOptions());
    stub.start();
    TestClient client;
    ASSERT_EQ(client.open(stub.address()), SIMCONNECT_OK);
    EXPECT_EQ(SimConnect_AICreateNonATCAircraft(client.h, nullptr, "c", pos, 1), SIMCONNECT_E_INVALIDARG);
    EXPECT_EQ(SimConnect_SetDataOnSimObject(client.h, 402, 3, 0, 0, 64, nullptr), SIMCONNECT_E_INVALIDARG);
    // A text far too long is refused here, and the connection goes on.
    const std::string huge(5 * 1024 * 1024, 'A');
    EXPECT_EQ(SimConnect_AICreateNonATCAircraft(client.h, huge.c_str(), "c", pos, 1),
              SIMCONNECT_E_INVALIDARG);
    EXPECT_EQ(SimConnect_MapClientEventToSimEvent(client.h, 219, "GEAR_SET"), SIMCONNECT_OK);
    EXPECT_TRUE(stub.waitUntil([&] { return stub.callCount("MapClientEventToSimEvent") == 1; }));
    EXPECT_EQ(stub.callCount("AICreateNonATCAircraft"), 0u);
}

// ---- encoding ---------------------------------------------------------------------------------------------

TEST(SimWire, MessagesSurviveTheRoundTrip) {
    using namespace skyloom::simwire;
    std::string bytes;
    SIMCONNECT_RECV_EXCEPTION ex{};
    ex.id = SIMCONNECT_RECV_ID_EXCEPTION;
    ex.exception = SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED;
    ex.sendId = 77;
    ex.index = 1;
    encodeMessage(bytes, ex);
    SIMCONNECT_RECV_EVENT_FILENAME file{};
    file.id = SIMCONNECT_RECV_ID_EVENT_FILENAME;
    file.eventId = 205;
    std::snprintf(file.fileName, sizeof file.fileName, "%s", "C:/flights/a.FLT");
    encodeMessage(bytes, file);
    std::vector<std::uint64_t> storage((sizeof(SIMCONNECT_RECV_SIMOBJECT_DATA) + 16) / 8);
    auto* data = reinterpret_cast<SIMCONNECT_RECV_SIMOBJECT_DATA*>(storage.data());
    data->id = SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE;
    data->requestId = 101;
    data->objectId = 9;
    data->entryNumber = 2;
    data->outOf = 3;
    data->dataSize = 16;
    const double values[2] = {1.5, -2.25};
    std::memcpy(reinterpret_cast<char*>(data + 1), values, 16);
    encodeMessage(bytes, *data);

    std::vector<std::uint64_t> out;
    std::size_t pos = 0;
    std::vector<std::uint32_t> kinds;
    while (pos < bytes.size()) {
        const auto head = readHead(bytes.data() + pos);
        SIMCONNECT_RECV* m = decodeMessage(head.kind, bytes.data() + pos + kHeadSize, head.bodyLength, out);
        kinds.push_back(m->id);
        if (m->id == SIMCONNECT_RECV_ID_EXCEPTION) {
            const auto& e = *static_cast<SIMCONNECT_RECV_EXCEPTION*>(m);
            EXPECT_EQ(e.exception, 22u);
            EXPECT_EQ(e.sendId, 77u);
            EXPECT_EQ(e.index, 1u);
        } else if (m->id == SIMCONNECT_RECV_ID_EVENT_FILENAME) {
            EXPECT_STREQ(static_cast<SIMCONNECT_RECV_EVENT_FILENAME*>(m)->fileName, "C:/flights/a.FLT");
            EXPECT_EQ(static_cast<SIMCONNECT_RECV_EVENT*>(m)->eventId, 205u);
        } else {
            const auto& d = *static_cast<SIMCONNECT_RECV_SIMOBJECT_DATA*>(m);
            EXPECT_EQ(d.requestId, 101u);
            EXPECT_EQ(d.objectId, 9u);
            EXPECT_EQ(d.entryNumber, 2u);
            EXPECT_EQ(d.outOf, 3u);
            ASSERT_EQ(d.dataSize, 16u);
            EXPECT_EQ(m->size, sizeof(SIMCONNECT_RECV_SIMOBJECT_DATA) + 16);
            double back[2];
            std::memcpy(back, d.data(), 16);
            EXPECT_EQ(back[0], 1.5);
            EXPECT_EQ(back[1], -2.25);
        }
        pos += kHeadSize + head.bodyLength;
    }
    EXPECT_EQ(kinds,
              (std::vector<std::uint32_t>{SIMCONNECT_RECV_ID_EXCEPTION, SIMCONNECT_RECV_ID_EVENT_FILENAME,
                                          SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE}));
}

TEST(SimWire, MalformedFramesAreRejected) {
    using namespace skyloom::simwire;
    std::vector<std::uint64_t> out;
    // A body shorter than its fields, a data block longer than the body, and a head claiming too much.
    const char shortBody[4] = {1, 0, 0, 0};
    EXPECT_THROW(decodeMessage(SIMCONNECT_RECV_ID_EXCEPTION, shortBody, sizeof shortBody, out), WireError);
    std::string body;
    Writer w(body);
    for (int i = 0; i < 6; ++i)
        w.u32(0);
    w.u32(1000); // block length without the bytes
    EXPECT_THROW(decodeMessage(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, body.data(), body.size(), out), WireError);
    const char hugeHead[12] = {'\xff', '\xff', '\xff', '\x7f', 2, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_THROW(readHead(hugeHead), WireError);
}
