#pragma once
// Live aircraft at stands: the stand for an aircraft that halted near the park airport.

#include "engine/ac_records.h"

// Finds and takes a stand near the aircraft's last queued sample and drives it there; `landed` is the
// aircraft's landed mark while it is dead reckoned, off with real samples.
void try2Park(LiveAc& ac, bool landed);
