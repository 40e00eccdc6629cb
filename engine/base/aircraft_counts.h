#pragma once
// The aircraft counts of the status area. Worker thread.

#include <cstdint>

// The counts the window shows, refreshed into engineStatus.
struct EngineCounts {
    std::uint64_t live = 0;
    std::uint64_t parkedLive = 0;
    std::uint64_t statics = 0;
};
// Counts the lists and stores the counts in engineStatus.
EngineCounts gf_countAircraft();
