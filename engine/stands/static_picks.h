#pragma once
// The static parking's picks and what it keeps between two calculations: the stand plan (the picks not
// placed yet), the callsigns and registrations the search must not use, the parked live aircraft with
// their times, the static aircraft kept or removed at a renewal, the fits the last search reached, the
// wanted number of parked aircraft and the last static aircraft's number.

#include "core/timeutil.h"

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

// One stand chosen for a static aircraft.
struct StaticPick {
    std::uint32_t sid = 0;
    std::int32_t offset = 0; // half hours before now at which it was found
    std::string airl, type, cs, cs2, reg;
    bool stays = false; // no coupled callsign, or the flight is still at the stand next half hour
};

// A static aircraft that stays at a renewal.
struct KeptStatic {
    std::string cs; // with its "*"
    std::string feedCs, text, reg, airl, type;
    WeekSlot parkedSince;
    std::uint32_t sid = 0;
    bool leaving = false; // its flight leaves the stand in the next half hour
};

// A static aircraft that goes at the end of a renewal.
struct StaticRemoval {
    std::string cs;
    std::uint32_t sid = 0;
};

// One parked live aircraft for the static parking.
struct LiveParkedEntry {
    std::string cs;
    std::uint32_t sid = 0;
    std::int32_t minutes = 0;
};

// Worker thread only.
struct StaticPicks {
    // The stand plan: the picks of the last calculation not placed yet (the placement takes them from
    // the back).
    std::vector<StaticPick> staticAddList;
    // Callsigns the stand search must not use (the feed's flights while the calculation was pending).
    std::unordered_set<std::string> liveCallsignSet;
    // Registrations the stand search must not use: those of the live aircraft and of the feed's records
    // still waiting for their due pass, when the callsigns were taken.
    std::unordered_set<std::string> liveRegistrationSet;
    // Built by gf_buildLiveParkedList, shortest parked first.
    std::vector<LiveParkedEntry> liveParkedList;
    // The static aircraft that stay at a renewal, and those that go at its end.
    std::vector<KeptStatic> keptStaticList;
    std::vector<StaticRemoval> staticRemoveList;
    // The offset the last search reached in a real and in a soft mode (-1: no soft search after the
    // last real one). They feed the review window of the next renewal.
    std::int32_t fitReal = 0;
    std::int32_t fitSoft = -1;
    // The wanted number of parked aircraft, set by the static parking; below 1: no limit.
    std::int32_t wantedParkCount = 0;
    // The last parking calculation took options of every weekday (set by the static parking).
    bool lastParkingWasWeek = false;
    // The last number given to a static aircraft (0: none yet). Numbers run 1..9999 and then 1 again; 0
    // stays "none" for the link and the engine's look-ups.
    std::uint32_t staticNumberCounter = 0;
};

extern StaticPicks staticPicks;
