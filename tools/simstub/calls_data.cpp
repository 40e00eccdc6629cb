// Data requests and data blocks: what the stand-in sends for a definition and what it takes from one.
#include "tools/simstub/world.h"

#include "platform/simconnect/simconnect.h"
#include "platform/simconnect/wire.h"

#include <cmath>
#include <cstring>
#include <fmt/format.h>

namespace skyloom::simstub {

std::optional<SimStub::Target> SimStub::resolve(std::uint32_t objectId) {
    if (objectId == SIMCONNECT_OBJECT_ID_USER || objectId == protocol::kUserObjectId)
        return Target{&world_->user, nullptr};
    const auto it = world_->objects.find(objectId);
    if (it == world_->objects.end()) return std::nullopt;
    return Target{nullptr, &it->second};
}

void SimStub::sendData(Client& c, std::uint32_t requestId, std::uint32_t defineId, const Target& t,
                       std::uint32_t recvId, std::uint32_t entry, std::uint32_t outOf) {
    const auto def = c.defs.find(defineId);
    if (def == c.defs.end()) return;
    const protocol::DatumSource source = world_->sourceOf(t);
    std::string block;
    for (const protocol::Datum& d : def->second) {
        const protocol::DatumSpec* datum = protocol::findDatum(d.name);
        protocol::appendValue(block, d.type,
                              datum != nullptr ? datum->read(source, d.units) : protocol::Value{});
    }
    std::vector<std::uint64_t> storage((sizeof(SIMCONNECT_RECV_SIMOBJECT_DATA) + block.size() + 7) / 8);
    auto* m = reinterpret_cast<SIMCONNECT_RECV_SIMOBJECT_DATA*>(storage.data());
    m->id = recvId;
    m->requestId = requestId;
    m->objectId = t.id();
    m->defineId = defineId;
    m->entryNumber = entry;
    m->outOf = outOf;
    m->dataSize = static_cast<std::uint32_t>(block.size());
    std::memcpy(reinterpret_cast<char*>(m + 1), block.data(), block.size());
    sendTo(c, *m);
}

void SimStub::onRequestDataOnSimObject(Client& c, simwire::Reader& r, std::uint32_t packetId) {
    Client::Periodic p{};
    p.requestId = r.u32();
    p.defineId = r.u32();
    p.objectId = r.u32();
    p.period = r.u32();
    logCall(fmt::format("RequestDataOnSimObject {} {} {} {}", p.requestId, p.defineId, p.objectId, p.period));
    if (!c.defs.contains(p.defineId)) {
        sendException(c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, packetId, 2);
        return;
    }
    const auto target = resolve(p.objectId);
    if (!target) {
        sendException(c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, packetId, 3);
        return;
    }
    c.periodic.erase(p.requestId);
    if (p.period == SIMCONNECT_PERIOD_NEVER) return;
    sendData(c, p.requestId, p.defineId, *target, SIMCONNECT_RECV_ID_SIMOBJECT_DATA, 1, 1);
    if (p.period != SIMCONNECT_PERIOD_ONCE) c.periodic[p.requestId] = p;
}

void SimStub::onRequestDataOnSimObjectType(Client& c, simwire::Reader& r, std::uint32_t packetId) {
    const std::uint32_t requestId = r.u32();
    const std::uint32_t defineId = r.u32();
    const std::uint32_t radius = r.u32();
    const std::uint32_t type = r.u32();
    logCall(fmt::format("RequestDataOnSimObjectType {} {} {} {}", requestId, defineId, radius, type));
    if (!c.defs.contains(defineId)) {
        sendException(c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, packetId, 2);
        return;
    }
    // The user flies an aeroplane: it answers for itself, for aircraft and for all objects.
    const bool aircraft = type == SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT || type == SIMCONNECT_SIMOBJECT_TYPE_ALL;
    const UserAircraft& u = world_->user;
    std::vector<Target> found;
    if (aircraft || type == SIMCONNECT_SIMOBJECT_TYPE_USER) found.push_back(Target{&world_->user, nullptr});
    if (aircraft) {
        const double radiusNm = radius / protocol::kMetresPerNm;
        for (auto& [id, o] : world_->objects) {
            if (protocol::distanceNm(u.latitude, u.longitude, o.latitude, o.longitude) <= radiusNm)
                found.push_back(Target{nullptr, &o});
        }
    }
    const auto outOf = static_cast<std::uint32_t>(found.size());
    for (std::uint32_t i = 0; i < outOf; ++i)
        sendData(c, requestId, defineId, found[i], SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE, i + 1, outOf);
}

void SimStub::onSetDataOnSimObject(Client& c, simwire::Reader& r, std::uint32_t packetId) {
    const std::uint32_t defineId = r.u32();
    const std::uint32_t objectId = r.u32();
    r.u32(); // flags
    r.u32(); // array count
    const std::string data = r.block();
    const auto def = c.defs.find(defineId);
    if (def == c.defs.end()) {
        sendException(c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, packetId, 1);
        return;
    }
    const auto target = resolve(objectId);
    if (!target) {
        sendException(c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, packetId, 2);
        return;
    }
    // Decode the whole block first: a block of the wrong size changes nothing.
    const auto values = protocol::decodeBlock(def->second, data);
    if (!values) {
        sendException(c, SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE, packetId, 6);
        return;
    }
    // Nor does a block with a number that is not finite: the object would vanish from the world.
    for (std::size_t i = 0; i < values->size(); ++i) {
        if (std::isfinite((*values)[i].number)) continue;
        ++world_->counts.refusedBlocks;
        logCall(fmt::format("SetDataOnSimObject {} {} (not finite: {})", defineId, objectId,
                            def->second[i].name));
        sendException(c, SIMCONNECT_EXCEPTION_DATA_ERROR, packetId, 6);
        changed();
        return;
    }
    bool position = false;
    for (std::size_t i = 0; i < values->size(); ++i) {
        const protocol::Datum& d = def->second[i];
        const protocol::DatumSpec* datum = protocol::findDatum(d.name);
        if (datum == nullptr) continue;
        const double x = (*values)[i].number;
        if (AiObject* a = target->ai) {
            if (datum->writeAi != nullptr) {
                datum->writeAi(*a, x, d.units);
                position = position || datum->position;
            }
        } else if (datum->writeUser != nullptr) {
            datum->writeUser(*target->user, x, d.units);
        }
    }
    if (AiObject* a = target->ai) world_->afterBlock(*a, position, simSeconds());
}

} // namespace skyloom::simstub
