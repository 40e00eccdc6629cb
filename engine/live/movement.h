#pragma once
// The movement of a live aircraft along its position samples. Each sample is due 3000 passes after it
// was received; when the front sample is due, nextPosMain prepares the leg to the next one (a real
// sample, or one made up by dead reckoning when the feed has dried up) and the per-pass step moves the
// aircraft along it. decodeExisting takes the new samples of a known aircraft.

#include "engine/base/ac_records.h"
#include "engine/live/movement_legs.h"

#include <cstdint>

// Dead-reckoned legs in the air, and their length in passes in the air and on the ground.
inline constexpr std::int32_t airDeadReckoningLegs = 8;
inline constexpr std::int32_t groundDeadReckoningLegs = 10;
inline constexpr std::int64_t airLegPasses = 800;
inline constexpr std::int64_t groundLegPasses = 300;
// A queue longer than this removes the aircraft.
inline constexpr std::size_t maxQueuedSamples = 200;

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
