// The dispatch of simulator messages: the link's view of the simulator, the frame flush, the
// identification of the AI objects the program created, and the results for the traffic engine.

#include "core/hooks.h"
#include "core/log.h"
#include "core/run_control.h"
#include "core/strings.h"
#include "core/version.h"
#include "simlink/sim_internal.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>

namespace {

std::int32_t frameCounter = 0;
bool asGenLogged = false;

constexpr double groundDataCeilingFt = 2500.0;
constexpr std::uint32_t staticHexidLimit = 10000;

void lf_postResult(const SimResult& result) {
    std::lock_guard lock(simResultMutex);
    simResults.push_back(result);
}

// Removes the entry at `index`; the last entry takes its place.
template <class T> void lf_eraseUnordered(std::vector<T>& list, std::size_t index) {
    if (index + 1 != list.size()) list[index] = std::move(list.back());
    list.pop_back();
}

std::string lf_wrongSimText() {
    return fmt::format("MSFS 20{} is running ..., switch Simulator, or select the right sim in the drop down "
                       "list above",
                       lf_chosenSimIs2020() ? "24" : "20");
}

void lf_newFlight() {
    gf_rememberUserStand();
    gf_requestStop(StopReason::NewFlight, 45);
}

void lf_onSimException(const SIMCONNECT_RECV_EXCEPTION& e) {
    switch (e.exception) {
    case SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID:
        if (!lf_userPositionKnown() || runControl.stopping()) return;
        gf_logError("SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID");
        return;
    case SIMCONNECT_EXCEPTION_VERSION_MISMATCH:
        throw orv::UserErrorException(95, fmt::format("SimConnect Version Mismatch, dwIndex: {}", e.index));
    case SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS:
        gf_showMessage("SimConnect: too many objects (max 1000)", true);
        return;
    case SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE:
        gf_log("SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE");
        return;
    case SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED: {
        const auto found = std::find_if(sentCreates.begin(), sentCreates.end(),
                                        [&](const SentCreate& s) { return s.packetId == e.sendId; });
        if (found == sentCreates.end()) return;
        const std::uint32_t hexid = found->hexid;
        lf_eraseUnordered(sentCreates, static_cast<std::size_t>(found - sentCreates.begin()));
        // Every static number comes round to 0 once in 10000 placements: a found entry counts, whatever
        // its number.
        lf_postResult(SimResult{0, hexid, 0, SimResultKind::createFailed, 0, 0});
        return;
    }
    case SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED:
        gf_logError("SimConnect exception: load flight plan failed");
        return;
    case SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE:
        gf_log("SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE");
        return;
    default:
        gf_logError(fmt::format("SIMCONNECT_EXCEPTION #{}", e.exception));
        return;
    }
}

void lf_onSimOpen(const SIMCONNECT_RECV_OPEN& open) {
    const std::string raw(open.applicationName, strnlen(open.applicationName, sizeof open.applicationName));
    if (raw.empty()) {
        gf_log("! Simulator name empty?");
        return;
    }
    simLinkStatus.simConnected = true;
    lf_repaintStatus();
    std::string name;
    for (const char c : raw) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isalnum(u) || std::isspace(u)) name.push_back(c);
    }
    if (name == "KittyHawk") {
        if (!lf_chosenSimIs2020()) throw orv::UserErrorException(71, lf_wrongSimText());
        name = "MSFS 2020";
    } else if (name == "SunRise") {
        if (lf_chosenSimIs2020()) throw orv::UserErrorException(71, lf_wrongSimText());
        name = "MSFS 2024";
    } else {
        throw orv::UserErrorException(
            77, fmt::format("'{}' not being MSFS 2020 or MSFS 2024 connects ... ?", name));
    }
    std::string text =
        fmt::format("{} ({}.{}.{}.{})", name, open.applicationVersionMajor, open.applicationVersionMinor,
                    open.applicationBuildMajor, open.applicationBuildMinor);
    gf_log(fmt::format("{} connected", text));
    simLinkStatus.setSimulatorText(std::move(text));
    lf_repaintStatus();
    gf_showMessage("", false);
}

void lf_onEvent(const SIMCONNECT_RECV_EVENT& event) {
    switch (event.eventId) {
    case evSim: {
        const bool running = event.data == 1;
        simRunning.exchange(running);
        simLinkStatus.simRunning = running;
        lf_repaintStatus();
        return;
    }
    case evFlightLoaded:
        gf_log("SimConnect: flight loaded event");
        lf_newFlight();
        return;
    default:
        return;
    }
}

void lf_onObjectAddRemove(const SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE& event) {
    if (event.objectType != SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT) return;
    if (event.eventId == evObjectAdded) {
        if (event.objectId <= userObjectId) return;
        newObjectIds.push_back(event.objectId);
        // The objects-by-type request only reaches as far as the range, and the range may have shrunk
        // since the creation was sent (the automatic range on the ground is 10 nm): while creations of
        // ours wait for their objects, a new object is asked for by its number, wherever it is.
        if (!sentCreates.empty()) {
            std::lock_guard lock(simCommandMutex);
            if (HSIMCONNECT handle = hSimConnect)
                SimConnect_RequestDataOnSimObject(handle, reqNewObject, defObjectsByType, event.objectId,
                                                  SIMCONNECT_PERIOD_ONCE);
        }
    } else if (event.eventId == evObjectRemoved) {
        // An object gone before any objects-by-type reply showed it would otherwise stay listed for the
        // rest of the run.
        if (const auto added = std::find(newObjectIds.begin(), newObjectIds.end(), event.objectId);
            added != newObjectIds.end())
            lf_eraseUnordered(newObjectIds, static_cast<std::size_t>(added - newObjectIds.begin()));
        lf_postResult(SimResult{event.objectId, 0, 0, SimResultKind::objectRemoved, 0, 0});
    }
}

void lf_onObjectBlock(const SIMCONNECT_RECV_SIMOBJECT_DATA& reply, bool byType);

void lf_onSimObjectData(const SIMCONNECT_RECV_SIMOBJECT_DATA& reply) {
    switch (reply.requestId) {
    case reqNewObject:
        lf_onObjectBlock(reply, false);
        return;
    case reqStaticCg: {
        if (reply.dataSize < 2 * sizeof(double)) return;
        double block[2];
        std::memcpy(block, reply.data(), sizeof block);
        lf_postResult(SimResult{reply.objectId, 0, 0, SimResultKind::staticCgData, block[0], block[1]});
        return;
    }
    case reqUserTitle:
        lf_onUserAcTitle(reply);
        return;
    case reqUserAtcModel:
        lf_onUserAcModel(reply);
        return;
    case reqUserOnGround:
        lf_onUserOnGround(reply);
        return;
    case reqUserState:
        lf_onUserState(reply);
        return;
    default:
        return;
    }
}

// Definition 404: altitude above ground, ground altitude, on ground, "ATC ID".
struct ObjectsByTypeBlock {
    double altAboveGround;
    double groundAltitude;
    std::int64_t onGround;
    char atcId[32];
};
static_assert(sizeof(ObjectsByTypeBlock) == 56);

// Definition 404 of an object: from the objects-by-type reply (`byType`) or from the request made for
// an object just added. A new object whose callsign matches one of the program's creations is bound to
// it; any other object of the by-type reply gives ground data.
void lf_onObjectBlock(const SIMCONNECT_RECV_SIMOBJECT_DATA& reply, bool byType) {
    const std::uint32_t id = reply.objectId;
    if (id <= userObjectId) return;
    if (reply.dataSize < sizeof(ObjectsByTypeBlock)) return;
    ObjectsByTypeBlock block;
    std::memcpy(&block, reply.data(), sizeof block);
    const std::string atcId(block.atcId, strnlen(block.atcId, 31));
    const auto onGround = static_cast<std::uint32_t>(block.onGround != 0 ? 1 : 0);

    const auto added = std::find(newObjectIds.begin(), newObjectIds.end(), id);
    if (added == newObjectIds.end()) {
        if (!byType) return;
        if (block.altAboveGround > groundDataCeilingFt || atcId.empty() || atcId.back() == '*') return;
        lf_postResult(SimResult{id, onGround, 0, SimResultKind::groundData, block.groundAltitude,
                                block.altAboveGround});
        return;
    }
    lf_eraseUnordered(newObjectIds, static_cast<std::size_t>(added - newObjectIds.begin()));

    // One of the program's creations when its callsign matches; its number may be 0 (a static aircraft's
    // number comes round to 0 once in 10000), so the match itself decides.
    std::optional<std::uint32_t> created;
    if (!atcId.empty()) {
        const auto sent = std::find_if(sentCreates.begin(), sentCreates.end(),
                                       [&](const SentCreate& s) { return s.callsign == atcId; });
        if (sent != sentCreates.end()) {
            created = sent->hexid;
            lf_eraseUnordered(sentCreates, static_cast<std::size_t>(sent - sentCreates.begin()));
        }
    }
    if (!created) {
        if (atcId != "AS-GEN") {
            gf_log(fmt::format("just spawned, but not by {}, oid: {}, callsign '{}', altaboveGnd:{:.0f} ft, "
                               "onground:{}, gnd_alt:{:.0f} ft",
                               gf_productName, gf_oid2string(id), atcId, block.altAboveGround, onGround,
                               block.groundAltitude));
        } else if (!asGenLogged) {
            asGenLogged = true;
            gf_log(fmt::format("\nSpawned by Asobo, oid: {}, callsign AS-GEN, altaboveGnd:{:.0f} ft, "
                               "onground:{}, gnd_alt:{:.0f} ft",
                               gf_oid2string(id), block.altAboveGround, onGround, block.groundAltitude));
            gf_log(" This message will be logged only once...\n");
        }
        return;
    }
    const std::uint32_t hexid = *created;
    {
        std::lock_guard lock(simCommandMutex);
        if (HSIMCONNECT handle = hSimConnect) SimConnect_AIReleaseControl(handle, id, reqAiReleaseControl);
        simEventQueue.push_back(ClientEventCmd{id, evFreezeLatLonSet, 1});
        simEventQueue.push_back(ClientEventCmd{id, evFreezeAltitudeSet, 1});
        simEventQueue.push_back(ClientEventCmd{id, evFreezeAttitudeSet, 1});
    }
    if (hexid <= staticHexidLimit)
        lf_postResult(SimResult{id, hexid, 0, SimResultKind::staticObjectFound, 0, 0});
    else
        lf_postResult(SimResult{id, hexid, 0, SimResultKind::liveObjectFound, 0, block.altAboveGround});
}

void lf_onObjectsByType(const SIMCONNECT_RECV_SIMOBJECT_DATA_BYTYPE& reply) {
    if (reply.requestId == reqObjectsByType) lf_onObjectBlock(reply, true);
}

template <class T> const T* lf_as(const SIMCONNECT_RECV* message, std::uint32_t size) {
    return size >= sizeof(T) ? static_cast<const T*>(message) : nullptr;
}

// A data reply whose block lies within the message.
template <class T> const T* lf_asData(const SIMCONNECT_RECV* message, std::uint32_t size) {
    const T* m = lf_as<T>(message, size);
    return m != nullptr && m->dataSize <= size - sizeof(T) ? m : nullptr;
}

} // namespace

void lf_resetDispatchState() {
    frameCounter = 0;
    asGenLogged = false;
}

void lf_simDispatch(SIMCONNECT_RECV* message, std::uint32_t size, void* /*context*/) {
    if (message == nullptr) return;
    switch (message->id) {
    case SIMCONNECT_RECV_ID_EXCEPTION:
        if (auto* m = lf_as<SIMCONNECT_RECV_EXCEPTION>(message, size)) lf_onSimException(*m);
        return;
    case SIMCONNECT_RECV_ID_OPEN:
        if (auto* m = lf_as<SIMCONNECT_RECV_OPEN>(message, size)) lf_onSimOpen(*m);
        return;
    case SIMCONNECT_RECV_ID_QUIT:
        // The simulator is gone: the run cannot go on without it.
        simRunning.exchange(false);
        gf_stopOnSimDisconnect();
        return;
    case SIMCONNECT_RECV_ID_EVENT:
        if (auto* m = lf_as<SIMCONNECT_RECV_EVENT>(message, size)) lf_onEvent(*m);
        return;
    case SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE:
        if (auto* m = lf_as<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE>(message, size)) lf_onObjectAddRemove(*m);
        return;
    case SIMCONNECT_RECV_ID_EVENT_FILENAME:
        gf_logError("SimConnect: New file event");
        lf_newFlight();
        return;
    case SIMCONNECT_RECV_ID_EVENT_FRAME:
        lf_flushSimQueues();
        lf_countFrame();
        if (++frameCounter >= 30) {
            frameCounter = 0;
            if (auto* m = lf_as<SIMCONNECT_RECV_EVENT_FRAME>(message, size))
                simFrameRate.exchange(m->frameRate);
        }
        return;
    case SIMCONNECT_RECV_ID_SIMOBJECT_DATA:
        if (auto* m = lf_asData<SIMCONNECT_RECV_SIMOBJECT_DATA>(message, size)) lf_onSimObjectData(*m);
        return;
    case SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE:
        if (auto* m = lf_asData<SIMCONNECT_RECV_SIMOBJECT_DATA_BYTYPE>(message, size)) lf_onObjectsByType(*m);
        return;
    case SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID:
    case 16: // client data
    case 27:
        return;
    default:
        gf_log(fmt::format("! Unknown Dispatch dwID {}", message->id));
        return;
    }
}
