#pragma once
// The movement of a live aircraft along its position samples. Each sample is due 3000 passes after it
// was received; when the front sample is due, nextPosMain prepares the leg to the next one (a real
// sample, or one made up by dead reckoning when the feed has dried up) and the per-pass step moves the
// aircraft along it. decodeExisting takes the new samples of a known aircraft.

#include "engine/ac_records.h"

#include <cstdint>

// Dead-reckoned legs in the air, and their length in passes in the air and on the ground.
inline constexpr std::int32_t airDeadReckoningLegs = 8;
inline constexpr std::int32_t groundDeadReckoningLegs = 10;
inline constexpr std::int64_t airLegPasses = 800;
inline constexpr std::int64_t groundLegPasses = 300;
// A parked aircraft's made-up sample is due one week later.
inline constexpr std::int64_t parkedLegPasses = 60'480'000;
// The shortest leg, in passes.
inline constexpr std::int64_t shortestLegPasses = 25;
// A queue longer than this removes the aircraft.
inline constexpr std::size_t maxQueuedSamples = 200;
// Lag and lead bounds of a re-timed sample at the start; the lead bound during a take-off run.
inline constexpr std::int32_t startBoundPasses = 3000;
inline constexpr std::int32_t takeoffLeadPasses = 5000;

// The movement step: called when the front sample is due. Makes sure a next sample exists (or removes
// the aircraft when none can be made) and prepares the leg to it. An exception is logged and passed on.
void nextPosMain(LiveAc& ac);

// The per-pass step between two samples: the ground movement's integration (curve or heading turn and
// straight step, then the attitude).
void gf_stepAlongLeg(LiveAc& ac);

// The first position of a newly spawned aircraft (from its front sample); its address goes on the
// duplicate-check queue.
void gf_initialPosition(LiveAc& ac);

// A new sample of an aircraft that is already known; false when it was dropped (or the aircraft
// removed). An exception is logged and passed on.
bool decodeExisting(LiveAc& ac, PosSample sample);

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
