#pragma once
// Flags and counters of the worker's runs that other parts of the program read or set.

#include "core/timeutil.h"                      // currentWeekSlot, gf_refreshWeekSlot
#include "engine/static/static_parking_state.h" // staticParkingState.renewalCollecting

#include <atomic>
#include <cstdint>

// True until a closing down restarts the run; true again after any other closing down. The update
// check runs only while it is true.
extern std::atomic<bool> freshStart;
// Set from the command line ("--production"): the worker loads the settings and the reference data
// and closes down at once.
extern std::atomic<bool> productionMode;
// The chosen simulator is MSFS 2020 (false: MSFS 2024). Every simulator-specific name depends on it.
extern std::atomic<bool> simulatorIs2020;
// The simulator kind written into the program's XML headers: 1 for MSFS 2020, 2 for MSFS 2024.
std::int32_t gf_simulatorKind();
// The aircraft-type database has been read (once per process).
extern std::atomic<bool> referenceDataLoaded;
// Raised by the simulator link when the once-per-second on-ground reply arrives; taken by the cycle
// pass that does the per-second work.
extern std::atomic<bool> secondTick;
// Seconds of the run: +1 per second step, back to 0 at 86400 and by the run reset.
extern std::atomic<std::int32_t> runSeconds;
// The simulator reports no running flight.
extern std::atomic<bool> flightPaused;
// A static-parking renewal is collecting callsigns: the engine's staticParkingState.renewalCollecting, read
// here.

// The run has not started the feed yet (the "RT" box stays black); lowered by the main run once it has,
// raised again by the run reset.
extern std::atomic<bool> feedStarting;
// What the run found that the status area counts: the liveries of the catalogue and the airport files
// in "airports/my_simaddon" and "airports/my_thirdparty".
extern std::atomic<std::uint64_t> liveryCount;
extern std::atomic<std::uint64_t> simAddonAirportCount;
extern std::atomic<std::uint64_t> thirdPartyAirportCount;

// Tests: everything back to the start of the process.
void gf_resetRunStateForTests();
