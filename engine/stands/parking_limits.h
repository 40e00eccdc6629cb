#pragma once
// The limit on parked aircraft at the park airport (live and static together), the list of parked live
// aircraft and the count of static parked aircraft. Worker thread.

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// The wanted number of parked aircraft, set by the static parking; below 1: no limit.
extern std::int32_t wantedParkCount;

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
// The last parking calculation took options of every weekday (set by the static parking).
extern bool lastParkingWasWeek;

// One parked live aircraft for the static parking.
struct LiveParkedEntry {
    std::string cs;
    std::uint32_t sid = 0;
    std::int32_t minutes = 0;
};
// Built by gf_buildLiveParkedList, shortest parked first.
extern std::vector<LiveParkedEntry> liveParkedList;
// Fills liveParkedList from the active parked live aircraft; one parked longer than its limit (180
// minutes for a Heavy, 90 for the others) is removed instead, unless INITIAL_LOAD_ONLY is on. One the
// feed reports at its stand enters with 0 minutes.
void gf_buildLiveParkedList();

// Tests only.
void gf_resetParkingLimitsForTests();
