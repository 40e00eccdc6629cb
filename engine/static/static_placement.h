#pragma once
// The placement of static parked aircraft: one pick of the stand search at a time becomes a static
// aircraft with a number, a callsign and a livery, and its creation is queued for the simulator.

#include "core/timeutil.h"

#include <cstdint>
#include <string>
#include <string_view>

// Advances the counter and returns its new value.
std::uint32_t gf_nextStaticNumber();

// The callsign the simulator shows for a static aircraft: trailing "_" removed, "*" appended unless it
// already ends in one.
std::string gf_staticCallsignOf(std::string_view callsign);

// `offset` half hours before `now`, wrapping into the previous day (and from Monday to Sunday).
WeekSlot gf_weekSlotBefore(WeekSlot now, std::int32_t offset);

// Places at most one static aircraft: takes the last pick of staticPicks.staticAddList and, when its stand
// and the neighbours are free and a livery is found, stores the aircraft in engineLists.staticAcs and queues
// its creation. Every refusal drops the pick and is logged.
void lf_detcs();

// Tests only: the counter back to 0.
void gf_resetStaticPlacementForTests();
