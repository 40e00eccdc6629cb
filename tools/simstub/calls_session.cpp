// The calls that set up a connection: opening and closing it, system events, data definitions and the
// mapping of client events.
#include "tools/simstub/world.h"

#include "platform/simconnect/simconnect.h"
#include "platform/simconnect/wire.h"

#include <cstdio>
#include <fmt/format.h>

namespace skyloom::simstub {

using protocol::lower;
using protocol::upper;

void SimStub::onOpen(Client& c, simwire::Reader& r, std::uint32_t packetId) {
    c.name = r.text();
    const std::uint32_t protocolVersion = r.u32();
    logCall(fmt::format("Open {}", c.name));
    if (protocolVersion != simwire::kProtocolVersion) {
        sendException(c, SIMCONNECT_EXCEPTION_VERSION_MISMATCH, packetId, protocolVersion);
        return;
    }
    SIMCONNECT_RECV_OPEN m{};
    m.id = SIMCONNECT_RECV_ID_OPEN;
    const std::string app = options_.simVersion == 2024 ? "SunRise" : "KittyHawk";
    std::snprintf(m.applicationName, sizeof m.applicationName, "%s", app.c_str());
    m.applicationVersionMajor = options_.simVersion == 2024 ? 12 : 11;
    m.applicationVersionMinor = 0;
    m.applicationBuildMajor = 1;
    m.applicationBuildMinor = 0;
    m.protocolVersion = simwire::kProtocolVersion;
    sendTo(c, m);
}

void SimStub::onClose(Client& c, simwire::Reader&, std::uint32_t) {
    logCall("Close");
    c.closeAfterFlush = true;
}

void SimStub::onSubscribeToSystemEvent(Client& c, simwire::Reader& r, std::uint32_t packetId) {
    const std::uint32_t eventId = r.u32();
    const std::string name = r.text();
    logCall(fmt::format("SubscribeToSystemEvent {} {}", eventId, name));
    if (!protocol::knownSystemEvents().contains(lower(name))) {
        sendException(c, SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, packetId, 2);
        return;
    }
    c.systemEvents[lower(name)] = eventId;
    if (lower(name) == "sim") {
        SIMCONNECT_RECV_EVENT m{};
        m.id = SIMCONNECT_RECV_ID_EVENT;
        m.eventId = eventId;
        m.data = paused_ ? 0 : 1;
        sendTo(c, m);
    }
}

void SimStub::onAddToDataDefinition(Client& c, simwire::Reader& r, std::uint32_t packetId) {
    const std::uint32_t defineId = r.u32();
    protocol::Datum d;
    const std::string rawName = r.text();
    const std::string rawUnits = r.text();
    d.name = lower(rawName);
    d.units = lower(rawUnits);
    d.type = r.u32();
    r.f32();
    r.u32();
    logCall(fmt::format("AddToDataDefinition {} {} {} {}", defineId, rawName, rawUnits, d.type));
    const protocol::DatumSpec* datum = protocol::findDatum(d.name);
    if (datum == nullptr) {
        sendException(c, SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, packetId, 2);
        return;
    }
    if (!protocol::knownUnits().contains(d.units)) {
        sendException(c, SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, packetId, 3);
        return;
    }
    const bool textType = d.type == SIMCONNECT_DATATYPE_STRING32 || d.type == SIMCONNECT_DATATYPE_STRINGV;
    if (datum->text != textType || (!textType && SimConnect_DatumSize(d.type) == 0)) {
        sendException(c, SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE, packetId, 4);
        return;
    }
    c.defs[defineId].push_back(d);
}

void SimStub::onMapClientEventToSimEvent(Client& c, simwire::Reader& r, std::uint32_t packetId) {
    const std::uint32_t eventId = r.u32();
    const std::string name = r.text();
    logCall(fmt::format("MapClientEventToSimEvent {} {}", eventId, name));
    // A name with a dot is a private event of the client's own, an empty one an event without a
    // simulator event behind it; both are taken and do nothing.
    if (!name.empty() && name.find('.') == std::string::npos &&
        !protocol::knownSimEvents().contains(upper(name))) {
        sendException(c, SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, packetId, 2);
        return;
    }
    c.clientEvents[eventId] = upper(name);
}

void SimStub::onAddClientEventToNotificationGroup(Client& c, simwire::Reader& r, std::uint32_t packetId) {
    const std::uint32_t group = r.u32();
    const std::uint32_t eventId = r.u32();
    const std::uint32_t maskable = r.u32();
    logCall(fmt::format("AddClientEventToNotificationGroup {} {} {}", group, eventId, maskable));
    if (!c.clientEvents.contains(eventId))
        sendException(c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, packetId, 2);
}

void SimStub::onSetNotificationGroupPriority(Client&, simwire::Reader& r, std::uint32_t) {
    const std::uint32_t group = r.u32();
    const std::uint32_t priority = r.u32();
    logCall(fmt::format("SetNotificationGroupPriority {} {}", group, priority));
}

} // namespace skyloom::simstub
