#pragma once
// Choosing the static parked aircraft of the park airport: how many are wanted, which flights seen at
// its stands fit the current half hour best (the full calculation), and every 20 minutes which static
// aircraft stay, go or come (the renewal). The output is staticPicks.staticAddList, which the placement turns
// into aircraft one at a time, and the static aircraft handed to the removal. Worker thread only.

#include "core/timeutil.h"
#include "engine/stands/static_picks.h"

#include <cstdint>
#include <string>
#include <vector>

// The wanted number of static aircraft (MAX_PARK_SEL, the parking percentage of the park airport's
// stands); shown as max park with its share. Throws gsl::narrowing_error for a count beyond 32 bits.
std::int64_t gf_wantedStaticCount();

// Runs the search modes (real/same day, then week/real, soft, week/soft as the settings allow) until
// base + staticPicks.staticAddList reach `wanted`.
void lf_selectStatics(WeekSlot now, std::int64_t wanted, std::int64_t base);

// The full calculation after the park airport's stands were loaded.
void lf_calculateStaticParking();

// The renewal: static aircraft whose flight is live or that no longer fit go, the others stay, new
// ones are picked up to the wanted number, and flights that leave within the half hour are shown
// under their departure callsign.
void gf_adjustParking();

// Once a second: the stand-plan list's length into engineStatus.standPlanCount. True while a parking
// calculation is busy (from its start until its picks are placed): "# updates" shows that count then.
bool gf_publishStandPlan();

// Logs the time banner; the current week slot.
WeekSlot lf_logParkingTime();

// The reserved stand and the stand the user aircraft stands at get no static aircraft.
void lf_blockReservedStands();

// `p`'s time (now minus its offset) against the static aircraft's parked-since time: true when the
// pick is the later one (the static aircraft goes).
bool gf_pickIsLater(WeekSlot now, std::int32_t pickOffset, WeekSlot parkedSince);

// Tests only: the lists emptied, the fits back to 0 / -1.
void gf_resetStaticParkingForTests();
