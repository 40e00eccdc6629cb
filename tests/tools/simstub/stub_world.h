// The fixture of the stand-in's world tests: a stand-in without its own clock and one registered client.
#pragma once

#include "core/units.h"
#include "tests/tools/simstub/client_harness.h"
#include "tools/simstub/simstub.h"

#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace skyloom::testing {

using simstub::AiObject;
using simstub::Options;
using simstub::SimStub;

inline constexpr double kDeg = radiansPerDegree;
inline const char* const kA320 = "Airbus A320 Neo FlyByWire";
inline const char* const kB738 = "Boeing 737-800 Skyloom Test";
inline constexpr double kUserLat = 52.3086, kUserLon = 4.7639;

class StubWorld : public ::testing::Test {
protected:
    void SetUp() override { start(options()); }

    static Options options() {
        Options o;
        o.fps = 0;
        o.installedTitles = std::set<std::string>{kA320, kB738};
        o.user.latitude = kUserLat;
        o.user.longitude = kUserLon;
        o.user.altitudeFt = 8;
        o.user.headingDeg = 90;
        o.user.title = "Cessna Skyhawk";
        o.user.atcModel = "C172";
        o.groundElevationFt = 0;
        // The airport a few miles around the user stands higher than the flat ground.
        o.groundAreas.push_back({kUserLat, kUserLon, 3.0, 100.0});
        o.removalDelay = std::chrono::milliseconds(500);
        return o;
    }

    void start(const Options& o) {
        stub = std::make_unique<SimStub>(o);
        stub->start();
        ASSERT_EQ(client.open(stub->address()), SIMCONNECT_OK);
        registerEverything(client.h, *stub);
    }

    void restart(const Options& o) {
        SimConnect_Close(client.h);
        client.h = nullptr;
        client.messages.clear();
        stub.reset();
        start(o);
    }

    // Sends a creation and returns its packet id.
    std::uint32_t create(const char* title, const std::string& tail, double lat, double lon, double alt,
                         bool onGround) {
        SIMCONNECT_DATA_INITPOSITION pos{lat, lon, alt, 0, 0, 270, onGround ? 1u : 0u, onGround ? 0u : 250u};
        EXPECT_EQ(SimConnect_AICreateNonATCAircraft(client.h, title, tail.c_str(), pos, kReqAiCreate), 0);
        return client.lastPacket();
    }

    std::vector<std::uint32_t> added() const {
        std::vector<std::uint32_t> ids;
        for (const auto* m : client.all(SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE)) {
            const auto& e = m->as<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE>();
            if (e.eventId == kEvObjectAdded) ids.push_back(e.objectId);
        }
        return ids;
    }
    std::vector<std::uint32_t> removed() const {
        std::vector<std::uint32_t> ids;
        for (const auto* m : client.all(SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE)) {
            const auto& e = m->as<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE>();
            if (e.eventId == kEvObjectRemoved) ids.push_back(e.objectId);
        }
        return ids;
    }
    std::vector<SIMCONNECT_RECV_EXCEPTION> exceptions() const {
        std::vector<SIMCONNECT_RECV_EXCEPTION> list;
        for (const auto* m : client.all(SIMCONNECT_RECV_ID_EXCEPTION))
            list.push_back(m->as<SIMCONNECT_RECV_EXCEPTION>());
        return list;
    }
    // Waits until the stand-in has handled every call sent so far.
    void settle() {
        // A request with a reply, made last, tells that everything before it was handled.
        const auto before = client.data(kReqUserTitle).size();
        ASSERT_EQ(SimConnect_RequestDataOnSimObject(client.h, kReqUserTitle, kDefUserTitle,
                                                    SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_ONCE),
                  0);
        ASSERT_TRUE(client.pumpUntil([&] { return client.data(kReqUserTitle).size() > before; }));
    }
    AiObject object(std::uint32_t id) {
        const auto o = stub->object(id);
        EXPECT_TRUE(o.has_value()) << "object " << id;
        return o.value_or(AiObject{});
    }
    void event(std::uint32_t id, std::uint32_t eventId, std::uint32_t data) {
        ASSERT_EQ(SimConnect_TransmitClientEvent(client.h, id, eventId, data, kGrpAiControl, 0), 0);
    }

    std::unique_ptr<SimStub> stub;
    TestClient client;
};

} // namespace skyloom::testing
