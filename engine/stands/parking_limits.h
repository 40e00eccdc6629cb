#pragma once
// The limit on parked aircraft at the park airport (live and static together), the list of parked live
// aircraft and the count of static parked aircraft. Worker thread.

#include "engine/stands/static_picks.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// How long the live aircraft has been parked, by the engine clock (zero before it parked).
std::chrono::seconds gf_parkedFor(std::int64_t parkStartTicks);

// {hexid, time parked} of every active parked live aircraft, longest parked first (cleared first).
using ParkedLive = std::pair<std::uint32_t, std::chrono::seconds>;
void gf_parkedLiveByTime(std::vector<ParkedLive>& out);

// After a live aircraft parked: removes at most one live (the longest parked; not with
// INITIAL_LOAD_ONLY) and at most one static aircraft (the earliest parked) while the parked count plus
// `extra` (1 when the aircraft is created parked and not counted yet) exceeds the wanted number.
void gf_enforceMaxPark(std::uint8_t extra);

// Removes the n live aircraft parked longest.
void gf_removeLongestParkedLive(std::uint64_t n);

// Static aircraft active or being removed; with `withMean` the shown mean parked time (hours) is
// refreshed too (not after a calculation over all weekdays).
std::uint64_t gf_countStaticParked(bool withMean);

// Fills staticPicks.liveParkedList from the active parked live aircraft; one parked longer than its limit
// (180 minutes for a Heavy, 90 for the others) is removed instead, unless INITIAL_LOAD_ONLY is on. One the
// feed reports at its stand enters with 0 minutes.
void gf_buildLiveParkedList();

// Tests only.
void gf_resetParkingLimitsForTests();
