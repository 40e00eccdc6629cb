#pragma once
// Respawns and the set-up of a new object: a live aircraft whose route, registration or callsign
// changes in the feed may have to be created again (with a livery chosen anew); a new object is bound
// to its record, set up on the ground and given its AI flight plan.

#include "engine/base/ac_records.h"
#include "feed/traffic_record.h"
#include "simlink/sim_link.h"

// Runs on every new record of a known aircraft; false refuses the record (the aircraft respawns, or a
// ghost continues it).
bool gf_respawnCheck(LiveAc& ac, const TrafficRecord& record);

// Removes the object so that the aircraft is created again where it is now. Without an object id the
// record returns to buffer at once.
void liveryRespawn(LiveAc& ac);

// The address leaves the livery cache, the title is emptied and the phase becomes birth, so that the
// next spawn chooses a livery anew.
void gf_forgetLivery(LiveAc& ac);

// The simulator created the aircraft's object (a liveObjectFound result, drained under simResultMutex):
// the id is bound, the ground set-up and centre-of-gravity request follow, and the flight plan is asked
// for (written off the pass, it is sent and marks the aircraft a pass or a few later). False for an id
// below 3 (no AI object), which leaves the aircraft adding2sim.
bool gf_objectBound(LiveAc& ac, const SimResult& result);
