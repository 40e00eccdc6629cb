#pragma once
// What the main window's controls do: buttons, check boxes, drop-down lists and Enter in the three edit
// fields. All handlers run on the window thread. They talk to the worker through the settings, the
// engine's inbox (engine/engine_requests.h) and the stop request; requests that carry a value are handed
// to the inbox through the request hooks (the window thread never walks the engine's lists).

#include "core/geodesy.h"
#include "platform/ui/window_host.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// Calls into other modules, wired by app at start-up. The ones marked "to the worker" must only queue
// the request for the worker thread; each may be empty (then nothing happens).
struct CommandHooks {
    // To the worker: remove the farthest active live aircraft until at most maxLive remain.
    std::function<void(std::int32_t maxLive)> trimLiveAircraft;
    // To the worker: the navigation lights of parked aircraft on or off.
    std::function<void(bool on)> setParkedNavLights;
    // To the worker: make the airport the first entry of the park-airport list.
    std::function<void(const std::string& icao, const Lalo& position)> setDestinationParkAirport;
    // The airports table (read-only after start-up): the position of an ICAO code, exact match.
    std::function<std::optional<Lalo>(const std::string& icao)> findAirport;
    // Empties the livery tables and lowers liveryTablesReady and liveriesProcessed.
    std::function<void()> clearLiveryTables;
    // Forgets the chosen callsign of CALLSIGN_2_OBJECTID (list, value and text).
    std::function<void()> resetCallsignChoice;
    // The flag that tells whether MSFS 2020 is the chosen simulator.
    std::function<void(bool is2020)> setSimulatorIs2020;
    // The run still waits for RealTraffic to connect.
    std::function<bool()> waitingForRealTraffic;
    // The main cycle's second counter.
    std::function<std::int32_t()> cycleSecond;
    // The countdown of the next static-parking renewal, in minutes.
    std::function<void(std::int32_t minutes)> setStaticRenewalCountdown;
    // Forgets that the scenery scan linked or wrote airport files (the simulator was switched).
    std::function<void()> clearAirportFilesChanged;
};
CommandHooks& gf_commandHooks();

// The whole command handling of one control event; false when no handler took it (the controls band
// is then repainted). Exceptions of a handler are logged and end as false.
bool gf_handleCommand(const UiCommand& command);

// Enter in an edit field.
void gf_onEditEnter(std::uint16_t controlId, const std::string& text);

// The install path typed for the chosen simulator.
void gf_setInstallPath(const std::string& text);
void gf_blockCallsign(const std::string& callsign);
void gf_unblockCallsign();
void gf_setDestination(const std::string& icao, const Lalo& position);
void gf_startStaticParkingNow();

// Show the manual's folder or the folder of parameters.xml in the file manager; on failure a message
// box. True when the file manager was started.
bool gf_openManual();
bool gf_openParametersFolder();

// Every request of the engine's inbox dropped (the reset before a restart): a request of the old run
// never reaches the next one.
void gf_clearWindowRequests();

// Tests: flags and hooks back to their start.
void gf_resetCommandsForTests();
