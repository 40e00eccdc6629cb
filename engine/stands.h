#pragma once
// The engine's view of the park airport's stands, by stand number.

#include <cstdint>
#include <string>

// The stand's name for log lines: its id, "sid==0?" for no stand, "sid==?" for a number not in the
// stand list.
std::string gf_standNameOf(std::uint32_t sid);
// A live aircraft left the stand: its occupied mark is cleared.
void gf_freeStand(std::uint32_t sid);
