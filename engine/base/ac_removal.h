#pragma once
// Taking aircraft out of the simulator.

#include "engine/base/ac_records.h"

// Removes a live or a static aircraft: in state buffer it is only marked for erasing; a queued creation
// (pending spawn or create queue) is withdrawn and the record marked eraseDropped; a creation already
// sent sets removePending (the set-up removes it); otherwise the stand is freed, the state becomes
// removingfromsim and the object id goes on the removal queue (one per 100 ms). A record without an
// object id is marked for erasing at once (no removal notice would ever come for it).
void removeAircraftFromSim(StaticAc& ac);

// Among the active live aircraft, the farthest from the user (each candidate more than 0.1 nm beyond
// the running limit, which starts at `distanceNm`) is removed; true when there was none.
bool gf_removeFarthestLiveAc(double distanceNm);

// The first active live aircraft with the BLOCK_CALLSIGN callsign (when it is set) is removed.
void gf_removeBlockedCallsign();
