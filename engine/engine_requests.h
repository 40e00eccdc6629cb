#pragma once
// The one inbox from the window to the traffic engine. The window thread (or any other) raises a
// request; the worker serves it: the engine pass drains everything that is served at once
// (gf_serveEngineRequests), and the timetable (engine_cycle) takes the three requests that wait for a
// step of their own (the re-read, the renewal "Now" and the no-match clear after a deeper matching).
// The window never touches the engine's lists.

#include "core/geodesy.h"

#include <atomic>
#include <cstdint>
#include <limits>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

// Any thread raises a request; the worker thread alone takes and serves them.
struct EngineRequests {
    // "Flush static": remove every static aircraft (and keep them off for this run).
    std::atomic<bool> flushStaticRequested{false};
    // "Re-read": read the park-airport list again (not while a parking calculation is busy).
    std::atomic<bool> rereadParkAirportsRequested{false};
    // The callsign box is opened: fill it with the active live callsigns.
    std::atomic<bool> callsignListRequested{false};
    // "Now": renew the static aircraft at the next 15-second step.
    std::atomic<bool> staticParkingNowRequested{false};
    // "Now" took the parking controls off: the static parking is busy from the next pass on.
    std::atomic<bool> staticParkingBusyRequested{false};
    // The blocked callsign changed: remove the aircraft that has it.
    std::atomic<bool> blockListChanged{false};
    // Another callsign was chosen in the box: track its object id.
    std::atomic<bool> callsignChoiceChanged{false};
    // The matching depth was raised: the no-match list is emptied at the next 30-second step.
    std::atomic<bool> matchingDepthRaised{false};

    // Remove the farthest active live aircraft until at most maxLive remain (MAX_LIVE_SEL lowered).
    void requestLiveTrim(std::int32_t maxLive);
    // The navigation lights of parked aircraft (active static and parked active live ones) on or off.
    void requestParkedNavLights(bool on);
    // Make the airport the first entry of the park-airport list.
    void requestDestination(const std::string& icao, const Lalo& position);
    // The renewal countdown set from the window (minutes; "Now" starts it again).
    void requestRenewalCountdown(std::int32_t minutes);

    // Worker: the pending requests taken (each comes back at most once).
    std::optional<std::int32_t> takeLiveTrim();
    std::optional<bool> takeParkedNavLights();
    std::optional<std::pair<std::string, Lalo>> takeDestination();
    std::optional<std::int32_t> takeRenewalCountdown();

    // Every request dropped (the reset before a restart): a request of the old run never reaches the
    // next one.
    void clear();

private:
    static constexpr std::int32_t none = -1;
    std::atomic<std::int32_t> trimTo_{none};
    // -1: nothing asked; 0 off; 1 on.
    std::atomic<std::int32_t> navLights_{none};
    static constexpr std::int32_t noCountdown = std::numeric_limits<std::int32_t>::min();
    std::atomic<std::int32_t> countdown_{noCountdown};
    std::mutex destinationMutex_;
    std::optional<std::pair<std::string, Lalo>> destination_;
};

extern EngineRequests engineRequests;

// Worker, once per engine pass: serves what is pending and waits for no step of the timetable (the
// chosen callsign's tracking, "Flush static", the callsign list, the blocked callsign, the destination,
// the live trim, the parked aircraft's navigation lights, and the static parking's busy mark and renewal
// countdown that "Now" sets).
void gf_serveEngineRequests();
// Worker: the "Re-read" request, unless a parking calculation is busy (it then waits).
void gf_serveRereadRequest();
