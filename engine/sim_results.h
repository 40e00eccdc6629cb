#pragma once
// What the simulator reports about the engine's objects: new objects are bound to their records and set
// up, ground contact and centre-of-gravity data are taken, and records whose objects went away or could
// not be created are erased.

#include <cstdint>

// Worker: handles every entry of the link's result list under simResultMutex (taking simCommandMutex
// inside it for requests), empties the list and steps the set-up list.
void gf_drainSimResults();

// Passes from "found" to active, and the passes of the two light toggles on the way.
inline constexpr std::int32_t setupPasses = 200;
inline constexpr std::int32_t lightTogglePassA = 50;
inline constexpr std::int32_t lightTogglePassB = 100;
