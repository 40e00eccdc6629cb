// AI objects: their creation, removal, release and flight plans, and the client events that act on them.
#include "tools/simstub/world.h"

#include "platform/simconnect/simconnect.h"
#include "platform/simconnect/wire.h"

#include <fmt/format.h>
#include <fstream>
#include <iterator>

namespace skyloom::simstub {

using protocol::kDegToRad;

namespace {

// Carries out a client event on an AI object (or, for the lights, on the user).
void applyEvent(const std::string& ev, std::uint32_t data, std::uint32_t& lights, AiObject* a) {
    static const std::map<std::string, std::uint32_t> lightEvents{
        {"NAV_LIGHTS_SET", kLightNav},         {"BEACON_LIGHTS_SET", kLightBeacon},
        {"LANDING_LIGHTS_SET", kLightLanding}, {"TAXI_LIGHTS_SET", kLightTaxi},
        {"STROBES_SET", kLightStrobe},         {"LOGO_LIGHTS_SET", kLightLogo},
        {"CABIN_LIGHTS_SET", kLightCabin}};
    if (const auto l = lightEvents.find(ev); l != lightEvents.end()) {
        lights = data != 0 ? (lights | l->second) : (lights & ~l->second);
        return;
    }
    if (ev == "ALL_LIGHTS_TOGGLE") {
        lights ^= kLightAll;
        return;
    }
    if (a == nullptr) return;
    if (ev == "GEAR_SET")
        a->gear = data;
    else if (ev == "FLAPS_SET")
        a->flaps = data;
    else if (ev == "SPOILERS_SET")
        a->spoilers = data;
    else if (ev == "THROTTLE_SET")
        a->throttle = data;
    else if (ev == "ENGINE_AUTO_START")
        a->enginesRunning = true;
    else if (ev == "ENGINE_AUTO_SHUTDOWN")
        a->enginesRunning = false;
    else if (ev == "FREEZE_LATITUDE_LONGITUDE_SET")
        a->freezeLatLon = data != 0;
    else if (ev == "FREEZE_ALTITUDE_SET")
        a->freezeAltitude = data != 0;
    else if (ev == "FREEZE_ATTITUDE_SET")
        a->freezeAttitude = data != 0;
}

} // namespace

void SimStub::onTransmitClientEvent(Client& c, simwire::Reader& r, std::uint32_t packetId) {
    const std::uint32_t objectId = r.u32();
    const std::uint32_t eventId = r.u32();
    const std::uint32_t data = r.u32();
    const std::uint32_t group = r.u32();
    r.u32(); // flags
    const auto mapped = c.clientEvents.find(eventId);
    logCall(fmt::format("TransmitClientEvent {} {} {} {}", objectId,
                        mapped != c.clientEvents.end() ? mapped->second : std::to_string(eventId), data,
                        group));
    if (mapped == c.clientEvents.end()) {
        sendException(c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, packetId, 2);
        return;
    }
    const auto target = resolve(objectId);
    if (!target) {
        sendException(c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, packetId, 1);
        return;
    }
    const std::string& ev = mapped->second;
    applyEvent(ev, data, target->ai ? target->ai->lights : target->user->lightStates, target->ai);
    if (target->ai != nullptr) world_->clientEvent(*target->ai, ev, data, simSeconds());
}

void SimStub::onAICreateNonATCAircraft(Client& c, simwire::Reader& r, std::uint32_t packetId) {
    AiObject o;
    o.title = r.text();
    o.tail = r.text();
    o.latitude = r.f64();
    o.longitude = r.f64();
    o.altitudeFt = r.f64();
    o.pitchRad = r.f64() * kDegToRad;
    o.bankRad = r.f64() * kDegToRad;
    o.headingRad = r.f64() * kDegToRad;
    o.onGround = r.u32() != 0;
    o.trueAirspeedKt = r.u32();
    const std::uint32_t requestId = r.u32();
    logCall(fmt::format("AICreateNonATCAircraft {} {} {}", o.title, o.tail, requestId));
    if (!world_->installed(o.title)) {
        ++world_->counts.refusals;
        sendException(c, SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED, packetId, 1);
        return;
    }
    if (world_->objects.size() >= world_->maxObjects) {
        ++world_->counts.refusals;
        sendException(c, SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS, packetId, 0);
        return;
    }
    o.owner = c.id;
    o.createdAt = simSeconds();
    if (o.onGround)
        o.altitudeFt = world_->groundAt(o.latitude, o.longitude) + world_->cgOf(o.title).cgHeightFt;
    const std::uint32_t id = world_->add(std::move(o)).id;
    SIMCONNECT_RECV_ASSIGNED_OBJECT_ID m{};
    m.id = SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID;
    m.requestId = requestId;
    m.objectId = id;
    sendTo(c, m);
    sendAddRemove("objectadded", id);
}

void SimStub::onAIRemoveObject(Client& c, simwire::Reader& r, std::uint32_t packetId) {
    const std::uint32_t objectId = r.u32();
    const std::uint32_t requestId = r.u32();
    logCall(fmt::format("AIRemoveObject {} {}", objectId, requestId));
    removeOrRelease(c, objectId, packetId, true);
}

void SimStub::onAIReleaseControl(Client& c, simwire::Reader& r, std::uint32_t packetId) {
    const std::uint32_t objectId = r.u32();
    const std::uint32_t requestId = r.u32();
    logCall(fmt::format("AIReleaseControl {} {}", objectId, requestId));
    removeOrRelease(c, objectId, packetId, false);
}

void SimStub::removeOrRelease(Client& c, std::uint32_t objectId, std::uint32_t packetId, bool remove) {
    const auto it = world_->objects.find(objectId);
    if (it == world_->objects.end()) {
        const bool user = objectId == SIMCONNECT_OBJECT_ID_USER || objectId == protocol::kUserObjectId;
        sendException(c,
                      user ? SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE
                           : SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID,
                      packetId, 1);
        return;
    }
    if (!remove) {
        ++it->second.releaseCount;
        return;
    }
    if (it->second.removalAskedAt) return; // already on its way out
    it->second.removalAskedAt = simSeconds();
    if (options_.removalDelay.count() <= 0) finishRemovalLocked(objectId, RemovalCause::Client);
}

void SimStub::onAISetAircraftFlightPlan(Client& c, simwire::Reader& r, std::uint32_t packetId) {
    const std::uint32_t objectId = r.u32();
    const std::string path = r.text();
    const std::uint32_t requestId = r.u32();
    logCall(fmt::format("AISetAircraftFlightPlan {} {} {}", objectId, path, requestId));
    const auto it = world_->objects.find(objectId);
    if (it == world_->objects.end()) {
        sendException(c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, packetId, 1);
        return;
    }
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in || text.find("<FlightPlan.FlightPlan>") == std::string::npos) {
        sendException(c, SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED, packetId, 2);
        return;
    }
    it->second.flightPlan = path;
}

} // namespace skyloom::simstub
