#pragma once
// Taking aircraft out of the simulator.

#include "engine/base/ac_records.h"

#include <cstddef>
#include <vector>

// Removes a live or a static aircraft: in state buffer it is only marked for erasing; a queued creation
// (pending spawn or create queue) is withdrawn and the record marked eraseDropped; a creation already
// sent sets removePending (the set-up removes it); otherwise the stand is freed, the state becomes
// removingfromsim and the object id goes on the removal queue (one per 100 ms). A record without an
// object id is marked for erasing at once (no removal notice would ever come for it).
void removeAircraftFromSim(StaticAc& ac);

// Among the active live aircraft, the farthest from the user (each candidate more than 0.1 nm beyond
// the running limit, which starts at `distanceNm`) is removed; true when there was none.
bool gf_removeFarthestLiveAc(double distanceNm);

// The live aircraft in state active.
std::size_t gf_activeLiveCount();

// Open while a pass steps the live list in order, one record after the other (gf_updateLiveAircraft):
// the limit checks of the records it spawns then read one table of the live records' states, distances
// from the user and ghost callsigns instead of the whole list each time. The table is built at the first
// check and kept in step with what may change in such a pass: the record just stepped
// (gf_noteLiveAcStepped) and every record removeAircraftFromSim takes. Nothing else may add, erase, move
// or change live records while it is open. Outside it every check reads the list.
class LiveStepScope {
public:
    LiveStepScope();
    ~LiveStepScope();
    LiveStepScope(const LiveStepScope&) = delete;
    LiveStepScope& operator=(const LiveStepScope&) = delete;
};

// The step of `ac` is over: its row of the table is read again before the next check.
void gf_noteLiveAcStepped(const LiveAc& ac);
// In a stepping pass, the places in the live list of the records that may carry a ghost callsign (one
// ending with "_") and are not being removed, in list order; nullptr outside it (every place may).
const std::vector<std::size_t>* gf_ghostPlaces();

// The first active live aircraft with the BLOCK_CALLSIGN callsign (when it is set) is removed.
void gf_removeBlockedCallsign();
