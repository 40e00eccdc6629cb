#pragma once
// Commands to one AI aircraft: flaps, spoilers, gear, throttle, engines and lights. Each becomes a
// client event in the simulator link's event queue (sent with the next frame). The flaps and throttle
// caches of the record keep the same value from being sent twice.

#include "engine/base/ac_records.h"
#include "simlink/sim_link.h"

#include <array>
#include <cstdint>
#include <deque>

// FLAPS_SET values by flaps index 0..4 and THROTTLE_SET values by throttle index 0..4.
inline constexpr std::array<std::uint32_t, 5> flapsTable{0, 3072, 10240, 16383, 0};
inline constexpr std::array<std::uint32_t, 5> throttleTable{0, 4914, 8191, 11468, 16383};

// Nothing for an index equal to the cached one or for a rotorcraft; an index above 4 is logged and
// sends nothing. The cache takes the index unless the aircraft is a rotorcraft.
void gf_setFlaps(StaticAc& ac, std::uint32_t index);
// SPOILERS_SET 16383 (out) or 0; nothing for a rotorcraft.
void gf_setSpoilers(const StaticAc& ac, bool out);
// GEAR_SET 1 (down) or 0; nothing for a rotorcraft.
void gf_setGear(const StaticAc& ac, bool down);
// THROTTLE_SET; nothing for an index equal to the cached one or of 5 and more.
void gf_setThrottle(StaticAc& ac, std::uint32_t index);

// A parked aircraft: throttle 0, flaps 0, engines off, NAV as NAV_LIGHTS_WHILE_PARKED, LOGO on, the
// other lights off but CABIN: off with standFlag, else on (with RANDOM on nine aircraft in ten).
void gf_parkedSetup(StaticAc& ac);

// Withdraws every queued creation of the transponder address, keeping the order of the others; true
// when one was withdrawn. The address, not the callsign: two aircraft may share a callsign.
bool gf_dropQueuedCreate(std::deque<AiCreateRecord>& queue, std::uint32_t hexid);
