#include "engine/stands.h"

// The park airport's stand list is not part of the engine yet: no stand number is known.

std::string gf_standNameOf(std::uint32_t sid) {
    return sid == 0 ? "sid==0?" : "sid==?";
}

void gf_freeStand(std::uint32_t) {}
