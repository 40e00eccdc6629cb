#pragma once
// Keeping the simulator's picture clean: live aircraft in the user aircraft's way, static aircraft that
// duplicate a live one, the stand reserved for the user, removing every static aircraft, and the count
// of parked live aircraft for the status area. Each check removes through removeAircraftFromSim and
// removes at most one aircraft per call (gf_removeAllStatic excepted). Worker thread.

#include "engine/base/ac_records.h"

#include <cstdint>
#include <string>

// The user aircraft is airborne: removes the first active live aircraft (list order) that is on the
// runway ahead of it (on the ground, the user below 500 ft above ground, within 1 nm and 50 ft of the
// user's heading line) or on a crossing course (within 4 nm, less than 1000 ft apart in altitude, its
// heading line passing within 700 ft of the user). True when one was removed.
bool gf_avoidCollisionWithUser();

// The user aircraft is on the ground with half span `userHalfSpanNm`: removes the first active live
// aircraft on the ground whose wings reach the user's ((both half spans) x 1.15 >= distance); when none
// and the user moved since the last look at the static aircraft, the first active static aircraft with
// (both half spans) x 1.1 >= distance. True when one was removed.
bool gf_avoidCollisionOnGround(double userHalfSpanNm);

// A live aircraft moving on the ground (not landing or taking off): its position is kept as the last
// checked one, and the first active static aircraft of another callsign whose stand its wings reach
// ((both half spans) x 1.1 >= distance) is removed. True when one was removed.
bool gf_avoidCollisionWithStatics(LiveAc& ac);

// The collision duties of the once-per-second step: on the ground with COLLISION_USER_GND the check
// above (the half span from the simulator link), airborne with COLLISION_USER_AIR
// gf_avoidCollisionWithUser; with COLLISION_LIVE_PARKED_GND and static aircraft present,
// gf_avoidCollisionWithStatics for each active live aircraft taxiing or parking on the ground that
// moved since its last check.
void gf_collisionAvoidanceStep();

// Removes the first active static aircraft that duplicates the live aircraft: the same registration,
// or its callsign among the static aircraft's flight and coupled callsigns (also the ghost form of it).
// `onGround` only tells the log line. True when one was removed.
bool gf_removeStaticDuplicates(const StaticAc& live, bool onGround);

// For each active live aircraft on the ground: the first active static aircraft called like it with a
// trailing "*", or carrying its registration, is removed, and the check ends. True when one was removed.
bool gf_removeStaticTwinOfLive();

// The stand named `standName` is cleared: its first active static aircraft, else its first active
// parked live aircraft, is removed. Nothing when the name is not a stand. True when one was removed.
bool gf_clearReservedStand(const std::string& standName);

// Every static aircraft goes: active ones are removed, ones waiting for their creation are withdrawn
// (or removed as soon as the simulator reports them), and the list drops the records marked for
// erasing.
void gf_removeAllStatic();

// The active parked live aircraft; with `withMean` their mean parked time (hours, by the engine clock)
// is stored in engineStatus.liveMeanHours and the status area repainted when it changed (0 with none).
std::uint64_t gf_countLiveParked(bool withMean);

// Tests only: the reserved stand name and the last user position of the static check forgotten.
void gf_resetConflictsForTests();
