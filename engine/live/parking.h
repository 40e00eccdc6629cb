#pragma once
// Live aircraft at stands: the stand for an aircraft that halted near the park airport, the stand an
// aircraft created on the ground stands at, and the feed's samples of an aircraft at its stand (stays,
// is towed or leaves). Worker thread.

#include "engine/base/ac_records.h"
#include "refdata/parking_format.h"

// Finds and takes a stand near the aircraft's last queued sample and drives it there; `landed` is the
// aircraft's landed mark while it is dead reckoned, off with real samples. The reserved stand and the
// stand at the user aircraft are never taken; the holder of the stand, live aircraft on neighbouring
// stands too close for both wings and the static aircraft in the way are removed first.
void try2Park(LiveAc& ac, bool landed);

// The parking trigger of a ground leg (sample 0 and 1 queued): a taxiing aircraft whose queue ends
// standing looks for a stand (try2Park) once it has halted near its last sample, or at once while it is
// dead reckoned. Not after it left a stand on its own power.
void gf_parkingTrigger(LiveAc& ac);

// The stand an aircraft about to be created on the ground stands at (near the park airport), with the
// static aircraft in its way cleared and sample 0 made stationary; nullptr when there is none. When
// another live flight holds the stand or one on a neighbouring stand is too close, the new aircraft is
// marked to be erased and gets no stand.
ParkPos* gf_standAtCreation(LiveAc& ac);

// A new sample of an aircraft driving onto or standing at its stand: false drops it. Samples close to
// the stand keep it parked (small drifts of the feed's position are no departure); one that moves
// steadily away makes it leave the stand (push-back pending, the flight learned as a coupled option,
// the stand freed); one far away removes it.
bool gf_checkStandDeparture(LiveAc& ac, PosSample& sample);
