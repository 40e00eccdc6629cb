#pragma once
// What the movement in the air, on the ground and along the samples share: the leg bounds in passes,
// the timing of a leg (travel time, due pass within the lag and lead bounds) and the heading and pitch
// helpers. It calls no other movement unit; air_movement, ground_movement, parking and movement build on
// it. Worker thread.

#include "engine/base/ac_records.h"

#include <cstdint>

// A parked aircraft's made-up sample is due one week later.
inline constexpr std::int64_t parkedLegPasses = 60'480'000;
// The shortest leg, in passes.
inline constexpr std::int64_t shortestLegPasses = 25;
// Lag and lead bounds of a re-timed sample at the start; the lead bound during a take-off run.
inline constexpr std::int32_t startBoundPasses = 3000;
inline constexpr std::int32_t takeoffLeadPasses = 5000;

// The new due pass of sample 1 for a leg of `passes` passes, clamped by the lag and lead bounds while
// real samples feed the queue, never earlier than now.
std::int64_t gf_clampedDuePass(const LiveAc& ac, std::int64_t passes);
// The passes the aircraft needs from sample 0 to sample 1 at the speed of the two samples (the approach
// speed during an approach to a sample on the ground). A number beyond 32 bits throws
// gsl::narrowing_error.
std::int64_t gf_travelPasses(const LiveAc& ac);
// Re-times sample 1 by the time the aircraft needs for the leg. A travel time beyond 32 bits throws
// gsl::narrowing_error.
void gf_retimeByTravel(LiveAc& ac);

// The pitch (radians, negative nose up) for an airborne vertical speed in feet per minute.
double gf_pitchForVerticalSpeed(double feetPerMinute);
// An angle in radians in [0, 2*pi).
double gf_normalizedHeading(double radians);
