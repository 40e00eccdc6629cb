// Command queues, the frame flush and the reaction to a failed request.

#include "core/hooks.h"
#include "core/log.h"
#include "core/run_control.h"
#include "core/strings.h"
#include "core/timeutil.h"
#include "simlink/sim_internal.h"

#include <fmt/format.h>

std::atomic<HSIMCONNECT> hSimConnect{nullptr};
std::atomic<bool> simRunning{false};
std::atomic<bool> simStopping{false};
std::atomic<bool> simLinkSuspended{false};
std::atomic<bool> simTickFlag{false};
std::atomic<std::int64_t> simTimeUnix{0};
std::atomic<float> simFrameRate{0.0f};

std::mutex simCommandMutex;
std::vector<PositionEntry> positionWriteBuffer;
std::vector<PositionEntry> positionSendBuffer;
std::vector<ClientEventCmd> simEventQueue;
std::vector<AiCreateRecord> simCreateQueue;
std::vector<std::uint32_t> simRemoveQueue;
std::vector<SentCreate> sentCreates;
std::vector<std::uint32_t> newObjectIds;

std::mutex simResultMutex;
std::vector<SimResult> simResults;

namespace {

constexpr std::size_t reservedQueueEntries = 256;

void lf_sendAiCreate(HSIMCONNECT handle, const AiCreateRecord& record) {
    const std::string title(record.title);
    if (SimConnect_Failed(SimConnect_AICreateNonATCAircraft(handle, title.c_str(), record.callsign.c_str(),
                                                            record.initPosition, reqAiCreate))) {
        gf_logError(
            fmt::format("! Simcon call to create ac in sim failed, hexid:{}, liv: '{}', callsign: {})",
                        record.hexid, title, record.callsign));
        gf_simConnectRequestError();
        return;
    }
    std::uint32_t packetId = 0;
    if (SimConnect_Failed(SimConnect_GetLastSentPacketID(handle, &packetId))) {
        gf_logError("GetLastSentPacketID");
        packetId = 0;
    }
    sentCreates.push_back(SentCreate{packetId, record.hexid, record.callsign});
}

void lf_sendAiRemove(HSIMCONNECT handle, std::uint32_t objectId) {
    if (objectId <= userObjectId) {
        gf_logError(fmt::format("SimConnect call to remove ac with objectid {}", gf_oid2string(objectId)));
        return;
    }
    if (SimConnect_Failed(SimConnect_AIRemoveObject(handle, objectId, reqAiRemove))) {
        gf_logError(fmt::format("{} !SimConnect call to remove AI ac from sim failed, id {}?",
                                gf_utcClockNow(), gf_oid2string(objectId)));
        gf_simConnectRequestError();
    }
}

void lf_sendClientEvent(HSIMCONNECT handle, const ClientEventCmd& cmd) {
    const bool flaps = cmd.eventId == evFlapsSet;
    if (flaps) SimConnect_AIReleaseControl(handle, cmd.objectId, reqAiReleaseControl);
    if (SimConnect_Failed(
            SimConnect_TransmitClientEvent(handle, cmd.objectId, cmd.eventId, cmd.data, grpAiControl, 0))) {
        gf_showMessage(fmt::format("SimConnect TransmitClientEvent: {} fails", cmd.eventId), true);
        return;
    }
    if (flaps) SimConnect_AIReleaseControl(handle, cmd.objectId, reqAiReleaseControl);
}

void lf_dropQueues() {
    positionSendBuffer.clear();
    simEventQueue.clear();
    simCreateQueue.clear();
    simRemoveQueue.clear();
}

template <class Send> bool lf_sendLocked(Send&& send) {
    std::lock_guard lock(simCommandMutex);
    HSIMCONNECT handle = hSimConnect;
    if (handle == nullptr) return true;
    return SimConnect_Succeeded(send(handle));
}

} // namespace

bool gf_simRunningAndNotStopping() {
    return simRunning && !simStopping;
}

void gf_reserveSimQueues() {
    {
        std::lock_guard lock(simCommandMutex);
        positionWriteBuffer.reserve(reservedQueueEntries);
        positionSendBuffer.reserve(reservedQueueEntries);
        simCreateQueue.reserve(reservedQueueEntries);
        simRemoveQueue.reserve(reservedQueueEntries);
    }
    sentCreates.reserve(reservedQueueEntries);
    newObjectIds.reserve(reservedQueueEntries);
    simLinkSuspended = false;
}

void gf_queueAiCreate(const AiCreateRecord& record) {
    std::lock_guard lock(simCommandMutex);
    simCreateQueue.push_back(record);
}

void gf_queueAiRemove(std::uint32_t objectId) {
    std::lock_guard lock(simCommandMutex);
    simRemoveQueue.push_back(objectId);
}

void gf_queueClientEvent(std::uint32_t objectId, std::uint32_t eventId, std::uint32_t data) {
    std::lock_guard lock(simCommandMutex);
    simEventQueue.push_back(ClientEventCmd{objectId, eventId, data});
}

void gf_engineAutoShutdown(std::uint32_t objectId) {
    gf_queueClientEvent(objectId, evEngineAutoShutdown, 0);
}

void gf_engineAutoStart(std::uint32_t objectId) {
    gf_queueClientEvent(objectId, evEngineAutoStart, 0);
}

void gf_setLights(std::uint32_t objectId, std::uint32_t nav, std::uint32_t beacon, std::uint32_t landing,
                  std::uint32_t taxi, std::uint32_t strobes, std::uint32_t logo, std::uint32_t cabin) {
    std::lock_guard lock(simCommandMutex);
    for (const auto& [event, value] : {std::pair{evNavLightsSet, nav},
                                       {evBeaconLightsSet, beacon},
                                       {evLandingLightsSet, landing},
                                       {evTaxiLightsSet, taxi},
                                       {evStrobesSet, strobes},
                                       {evLogoLightsSet, logo},
                                       {evCabinLightsSet, cabin}})
        simEventQueue.push_back(ClientEventCmd{objectId, event, value});
}

void gf_setNavLights(std::uint32_t objectId, std::uint32_t value) {
    gf_queueClientEvent(objectId, evNavLightsSet, value);
}

void gf_setCabinLights(std::uint32_t objectId, std::uint32_t value) {
    gf_queueClientEvent(objectId, evCabinLightsSet, value);
}

void gf_exchangePositionBuffers() {
    std::swap(positionWriteBuffer, positionSendBuffer);
    positionWriteBuffer.clear();
}

void gf_clearPositionBuffers() {
    std::lock_guard lock(simCommandMutex);
    positionWriteBuffer.clear();
    positionSendBuffer.clear();
}

bool gf_requestObjectsInRadius(std::uint32_t radiusMeters) {
    if (simStopping) return true; // a link on its way out binds nothing more
    return lf_sendLocked([&](HSIMCONNECT h) {
        return SimConnect_RequestDataOnSimObjectType(h, reqObjectsByType, defObjectsByType, radiusMeters,
                                                     SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT);
    });
}

bool gf_requestStaticCg(std::uint32_t objectId) {
    return lf_sendLocked([&](HSIMCONNECT h) {
        return SimConnect_RequestDataOnSimObject(h, reqStaticCg, defStaticCg, objectId,
                                                 SIMCONNECT_PERIOD_ONCE);
    });
}

bool gf_sendFlightPlan(std::uint32_t objectId, const std::string& path) {
    return lf_sendLocked([&](HSIMCONNECT h) {
        return SimConnect_AISetAircraftFlightPlan(h, objectId, path.c_str(), reqAiFlightPlan);
    });
}

bool gf_transmitClientEventNow(std::uint32_t objectId, std::uint32_t eventId, std::uint32_t data) {
    return lf_sendLocked([&](HSIMCONNECT h) {
        return SimConnect_TransmitClientEvent(h, objectId, eventId, data, grpAiControl, 0);
    });
}

bool gf_setAcControls(std::uint32_t objectId, double spoilersPct, double throttle1Pct, double throttle2Pct) {
    if (objectId <= userObjectId) return true;
    const double block[3] = {spoilersPct, throttle1Pct, throttle2Pct};
    return lf_sendLocked([&](HSIMCONNECT h) {
        return SimConnect_SetDataOnSimObject(h, defAcControls, objectId, SIMCONNECT_DATA_SET_FLAG_DEFAULT, 0,
                                             sizeof block, block);
    });
}

void gf_simConnectRequestError() {
    gf_showMessage("SimConnect request error", true);
    simLinkSuspended.exchange(true);
    gf_requestStop(StopReason::SimConnectError, 9);
}

void lf_flushSimQueues() {
    if (simLinkSuspended) {
        // Dropped, not sent; a busy mutex leaves them for the next frame to drop.
        std::unique_lock lock(simCommandMutex, std::try_to_lock);
        if (lock.owns_lock()) lf_dropQueues();
        return;
    }
    // The queues are taken under the mutex and sent after it is released, so that a thread that queues
    // (the engine) never waits for the encoding of a frame, nor for this thread while it is put aside.
    // The taken vectors keep their room and go back as the next frame's empty queues.
    static std::vector<PositionEntry> positions;
    static std::vector<ClientEventCmd> events;
    static std::vector<AiCreateRecord> creates;
    static std::vector<std::uint32_t> removes;
    HSIMCONNECT handle = nullptr;
    {
        std::unique_lock lock(simCommandMutex, std::try_to_lock);
        if (!lock.owns_lock()) return;
        handle = hSimConnect;
        if (handle == nullptr) return;
        positions.swap(positionSendBuffer);
        events.swap(simEventQueue);
        creates.swap(simCreateQueue);
        removes.swap(simRemoveQueue);
    }
    const std::uint32_t userId = userObjectId;

    for (const PositionEntry& entry : positions) {
        if (entry.objectId <= userId) continue;
        SimConnect_SetDataOnSimObject(handle, defAiPosition, entry.objectId, SIMCONNECT_DATA_SET_FLAG_DEFAULT,
                                      0, sizeof(AiPosition), &entry.position);
    }
    positions.clear();

    for (const ClientEventCmd& cmd : events)
        lf_sendClientEvent(handle, cmd);
    events.clear();

    for (const AiCreateRecord& record : creates)
        lf_sendAiCreate(handle, record);
    creates.clear();

    for (std::uint32_t objectId : removes)
        lf_sendAiRemove(handle, objectId);
    removes.clear();
}
