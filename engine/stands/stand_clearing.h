#pragma once
// Making room at a stand for a live aircraft that is about to take it: the live aircraft holding it,
// parked live aircraft and static aircraft on neighbouring stands too close for both wings, the static
// aircraft at the stand, and the check whether a newcomer may take a stand held by another live flight.
// Worker thread.

#include "engine/base/ac_records.h"
#include "refdata/parking_format.h"

#include <string_view>

// May the stand search offer an occupied stand to `newcomer`? The occupied mark keeps other flights off
// the stand, but not its own holder (a respawn), the same flight again or the one its holder is a ghost
// of (the conflict rules then replace the holder), and not anybody when the holder has gone. A mark
// without a known holder keeps everybody off.
bool gf_occupiedStandOpenTo(const ParkPos& stand, const AcData& newcomer);

// The live aircraft holding the stand (the holder of its occupied mark first) goes when it is parked and
// active.
void gf_clearStandHolder(const ParkPos& stand, const FlightIdent& newcomer);
// The first live aircraft holding the neighbouring stand goes when it is parked or pushing back, active
// and too close for both wings.
void gf_clearAdjacentLive(const ParkPos& stand, const ParkPos& neighbour, const AcData& newcomer);
// The static aircraft at the stand makes way (a queued creation is withdrawn), the static list is
// compacted, then on each neighbouring stand the first active static aircraft too close goes.
void gf_clearStaticsForStand(const ParkPos& stand, const AcData& newcomer);

// May the live flight `newCs` take stand `sid`? The holder may be removed on the way (same flight, a
// ghost, another flight); a callsign that only adds a trailing character to the holder's, a newcomer
// ending in "_" against a real holder, and any other flight while the feed reports the holder at the
// stand, are refused.
bool gf_standConflictAllows(std::uint32_t sid, std::string_view newCs);
