#pragma once
// The steps of the engine pass, the traffic engine's work every 10 ms while the simulation runs (worker
// thread). The pass itself, with the rate of each step, is lf_handleAddingStack (engine_cycle). Time in
// the engine is counted in these passes (enginePassCount of the feed, 64-bit).

#include "feed/traffic_record.h"

#include <cstddef>

// Updates every live aircraft and erases the records that are done.
void gf_updateLiveAircraft();
// The position fill buffer goes to the simulator link; with the link busy at 50 frames per second or
// less the positions of this pass are dropped rather than waited for.
void gf_handOverPositions();
// One queued removal to the link.
void gf_handOverOneRemoval();
// One queued creation to the link (a live one first); then, with static picks waiting, the next static
// aircraft is prepared.
void gf_handOverOneCreation();
// Takes queued flights from the adding stack (gf_recordsToTake of them) into the engine.
void gf_takeQueuedFlights();
// Turns one pending spawn into a create record.
void gf_makeOneCreateRecord();
// Asks the simulator for the objects in range (a failed request is logged and reported).
void gf_requestObjectsInRange();
// Sends the user state to RealTraffic and takes the engine's copy of it.
void gf_exchangeUserState();

// How many records a pass takes from an adding stack of `waiting` records: two while 200 or fewer
// wait, beyond that as many as bring it down to 200.
std::size_t gf_recordsToTake(std::size_t waiting);
inline constexpr std::size_t addingStackBound = 200;
