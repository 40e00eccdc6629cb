#pragma once
// The engine pass: one step of the traffic engine every 10 ms while the simulation runs (worker
// thread). Time in the engine is counted in these passes (enginePassCount of the feed, 64-bit).

#include "feed/traffic_record.h"

#include <cstddef>

// One pass: (once a day) empty the livery cache, drain the simulator's results, update and compact the live
// aircraft, exchange the position buffers, hand over one removal (every 10 passes) and one creation (every
// 50), take queued flights from the adding stack, turn one pending spawn into a create record, make the
// requests (objects in range every 20 passes, the user state every 100) and raise the pass counter.
void lf_handleAddingStack();

// How many records a pass takes from an adding stack of `waiting` records: two while 200 or fewer
// wait, beyond that as many as bring it down to 200.
std::size_t gf_recordsToTake(std::size_t waiting);
inline constexpr std::size_t addingStackBound = 200;
