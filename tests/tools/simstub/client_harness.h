// A test client over the simulator client API: keeps a copy of every received message and pumps the
// dispatch until a condition holds.
#pragma once

#include "platform/simconnect/simconnect.h"
#include "tools/simstub/simstub.h"

#include <chrono>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace skyloom::testing {

// The identifiers the simulator link registers.
enum : std::uint32_t {
    kEvSim = 201,
    kEvObjectAdded = 202,
    kEvObjectRemoved = 203,
    kEvFrame = 204,
    kEvFlightLoaded = 205,
    kGrpAiControl = 301,
    kDefAcControls = 401,
    kDefAiPosition = 402,
    kDefUserState = 403,
    kDefObjectsByType = 404,
    kDefStaticCg = 405,
    kDefLightOnStates = 406,
    kDefUserTitle = 407,
    kDefUserAtcModel = 408,
    kDefUserOnGround = 409,
    kReqObjectsByType = 101,
    kReqStaticCg = 102,
    kReqAiReleaseControl = 103,
    kReqAiCreate = 104,
    kReqAiRemove = 105,
    kReqUserTitle = 106,
    kReqUserAtcModel = 107,
    kReqUserOnGround = 108,
    kReqUserState = 109,
    kReqAiFlightPlan = 110,
};

struct AiPositionBlock {
    double latitude, longitude, pitch, bank, heading, altitude, verticalSpeed, trueAirspeed;
};
static_assert(sizeof(AiPositionBlock) == 64);

struct UserStateBlock {
    double latitude, longitude, pitch, bank, heading, altitude, altAboveGround, groundVelocity;
    std::int64_t zuluTime, zuluDayOfYear, zuluYear, lightStates;
};
static_assert(sizeof(UserStateBlock) == 96);

struct ObjectsByTypeBlock {
    double altAboveGround, groundAltitude;
    std::int64_t onGround;
    char atcId[32];
};
static_assert(sizeof(ObjectsByTypeBlock) == 56);

struct ClientEventDef {
    std::uint32_t id;
    const char* name;
    bool inGroup;
};

inline const std::vector<ClientEventDef>& clientEvents() {
    static const std::vector<ClientEventDef> events{{219, "GEAR_SET", true},
                                                    {220, "ENGINE_AUTO_START", false},
                                                    {221, "ENGINE_AUTO_SHUTDOWN", true},
                                                    {222, "THROTTLE_SET", true},
                                                    {217, "FLAPS_SET", true},
                                                    {218, "SPOILERS_SET", true},
                                                    {207, "NAV_LIGHTS_SET", true},
                                                    {206, "BEACON_LIGHTS_SET", true},
                                                    {210, "LANDING_LIGHTS_SET", true},
                                                    {208, "TAXI_LIGHTS_SET", true},
                                                    {209, "STROBES_SET", true},
                                                    {212, "LOGO_LIGHTS_SET", true},
                                                    {211, "CABIN_LIGHTS_SET", true},
                                                    {213, "ALL_LIGHTS_TOGGLE", true},
                                                    {214, "FREEZE_LATITUDE_LONGITUDE_SET", true},
                                                    {215, "FREEZE_ALTITUDE_SET", true},
                                                    {216, "FREEZE_ATTITUDE_SET", true}};
    return events;
}

inline const std::vector<std::uint32_t>& groupOrder() {
    static const std::vector<std::uint32_t> order{207, 206, 210, 208, 209, 212, 211, 213,
                                                  217, 218, 219, 221, 222, 214, 215, 216};
    return order;
}

struct DatumDef {
    std::uint32_t defineId;
    const char* name;
    const char* units;
    std::uint32_t type;
};

inline const std::vector<DatumDef>& dataDefinitions() {
    constexpr auto F = SIMCONNECT_DATATYPE_FLOAT64;
    constexpr auto I = SIMCONNECT_DATATYPE_INT64;
    static const std::vector<DatumDef> defs{
        {407, "TITLE", nullptr, SIMCONNECT_DATATYPE_STRINGV},
        {408, "ATC MODEL", nullptr, SIMCONNECT_DATATYPE_STRING32},
        {409, "SIM ON GROUND", "Bool", I},
        {402, "Plane Latitude", "degree", F},
        {402, "Plane Longitude", "degree", F},
        {402, "Plane Pitch degrees", "radians", F},
        {402, "Plane Bank degrees", "radians", F},
        {402, "Plane Heading degrees true", "radians", F},
        {402, "Plane Altitude", "feet", F},
        {402, "Vertical Speed", "feet per second", F},
        {402, "Airspeed True", "knots", F},
        {403, "Plane Latitude", "degree", F},
        {403, "Plane Longitude", "degree", F},
        {403, "Plane Pitch degrees", "radians", F},
        {403, "Plane Bank degrees", "radians", F},
        {403, "Plane Heading degrees true", "radians", F},
        {403, "Plane Altitude", "feet", F},
        {403, "Plane Alt Above Ground", "feet", F},
        {403, "Ground Velocity", "knots", F},
        {403, "ZULU TIME", "Seconds", I},
        {403, "ZULU DAY OF YEAR", "Number", I},
        {403, "ZULU YEAR", "Number", I},
        {403, "LIGHT STATES", "Mask", I},
        {405, "Static CG to Ground", "feet", F},
        {405, "Static Pitch", "radians", F},
        {406, "Light On States", "Mask", I},
        {404, "Plane Alt Above Ground", "feet", F},
        {404, "Ground Altitude", "feet", F},
        {404, "SIM ON GROUND", "Bool", I},
        {404, "ATC ID", nullptr, SIMCONNECT_DATATYPE_STRING32},
        {401, "SPOILERS HANDLE POSITION", "percent", F},
        {401, "GENERAL ENG THROTTLE LEVER POSITION:1", "percent", F},
        {401, "GENERAL ENG THROTTLE LEVER POSITION:2", "percent", F},
    };
    return defs;
}

// The set-up the simulator link makes after every open.
inline void registerEverything(HSIMCONNECT h) {
    const std::pair<std::uint32_t, const char*> systemEvents[] = {{kEvSim, "Sim"},
                                                                  {kEvObjectAdded, "ObjectAdded"},
                                                                  {kEvObjectRemoved, "ObjectRemoved"},
                                                                  {kEvFlightLoaded, "FlightLoaded"},
                                                                  {kEvFrame, "Frame"}};
    for (const auto& [id, name] : systemEvents)
        if (SimConnect_SubscribeToSystemEvent(h, id, name) != 0) throw std::runtime_error("subscribe");
    for (const auto& d : dataDefinitions())
        if (SimConnect_AddToDataDefinition(h, d.defineId, d.name, d.units, d.type, 0, SIMCONNECT_UNUSED) != 0)
            throw std::runtime_error("definition");
    for (const auto& e : clientEvents())
        if (SimConnect_MapClientEventToSimEvent(h, e.id, e.name) != 0) throw std::runtime_error("map");
    for (auto id : groupOrder())
        if (SimConnect_AddClientEventToNotificationGroup(h, kGrpAiControl, id, true) != 0)
            throw std::runtime_error("group");
    if (SimConnect_SetNotificationGroupPriority(h, kGrpAiControl, SIMCONNECT_GROUP_PRIORITY_HIGHEST) != 0)
        throw std::runtime_error("priority");
}

// The set-up, and a wait until the stand-in has taken all of it in.
inline void registerEverything(HSIMCONNECT h, const simstub::SimStub& stub) {
    const auto before = stub.callCount("SetNotificationGroupPriority");
    registerEverything(h);
    if (!stub.waitUntil([&] { return stub.callCount("SetNotificationGroupPriority") > before; }))
        throw std::runtime_error("the set-up did not arrive");
}

// One received message, copied.
struct Message {
    std::vector<std::uint64_t> storage;
    std::uint32_t id = 0;

    template <typename T> const T& as() const { return *reinterpret_cast<const T*>(storage.data()); }
    std::string data() const {
        const auto& d = as<SIMCONNECT_RECV_SIMOBJECT_DATA>();
        return std::string(reinterpret_cast<const char*>(d.data()), d.dataSize);
    }
    template <typename T> T block() const {
        T value{};
        const std::string bytes = data();
        std::memcpy(&value, bytes.data(), std::min(sizeof(T), bytes.size()));
        return value;
    }
};

class TestClient {
public:
    TestClient() = default;
    ~TestClient() {
        if (h != nullptr) SimConnect_Close(h);
    }
    TestClient(const TestClient&) = delete;
    TestClient& operator=(const TestClient&) = delete;

    HRESULT open(const std::string& address, const char* name = "Skyloom") {
        return SimConnect_Open(&h, name, address.empty() ? nullptr : address.c_str());
    }

    HRESULT dispatch() { return SimConnect_CallDispatch(h, &TestClient::proc, this); }

    // Dispatches until `done` holds; false when it did not within the time limit.
    bool pumpUntil(const std::function<bool()>& done,
                   std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            dispatch();
            if (done()) return true;
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }

    std::vector<const Message*> all(std::uint32_t id) const {
        std::vector<const Message*> found;
        for (const auto& m : messages)
            if (m.id == id) found.push_back(&m);
        return found;
    }
    std::size_t count(std::uint32_t id) const { return all(id).size(); }
    bool waitFor(std::uint32_t id, std::size_t n = 1) {
        return pumpUntil([&] { return count(id) >= n; });
    }
    std::vector<const Message*> data(std::uint32_t requestId) const {
        std::vector<const Message*> found;
        for (const auto& m : messages)
            if ((m.id == SIMCONNECT_RECV_ID_SIMOBJECT_DATA ||
                 m.id == SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE) &&
                m.as<SIMCONNECT_RECV_SIMOBJECT_DATA>().requestId == requestId)
                found.push_back(&m);
        return found;
    }
    std::uint32_t lastPacket() const {
        std::uint32_t id = 0;
        SimConnect_GetLastSentPacketID(h, &id);
        return id;
    }

    HSIMCONNECT h = nullptr;
    std::vector<Message> messages;
    std::function<void(const SIMCONNECT_RECV&)> onMessage;

private:
    static void proc(SIMCONNECT_RECV* m, std::uint32_t size, void* context) {
        auto* self = static_cast<TestClient*>(context);
        Message copy;
        copy.id = m->id;
        copy.storage.resize((size + 7) / 8);
        std::memcpy(copy.storage.data(), m, size);
        self->messages.push_back(std::move(copy));
        if (self->onMessage) self->onMessage(*m);
    }
};

} // namespace skyloom::testing
