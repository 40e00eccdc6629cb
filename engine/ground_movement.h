#pragma once
// Ground movement of live aircraft: taxi legs with corner curves, push-back and pull-out, the take-off
// run and the landing roll, and the drive onto a stand.

#include "engine/ac_records.h"

// Appends the legs that take the aircraft from its last queued sample onto the stand (position in
// degrees, heading in radians).
void drive2Stand(LiveAc& ac, const StandPlace& stand);
