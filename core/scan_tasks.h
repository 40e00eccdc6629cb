#pragma once
// The throttle of the scan tasks: one counter of running tasks and its limit.

#include <atomic>
#include <cstdint>

// Running scan tasks: a scan driver adds 1 for each task it starts; every task takes 1 off when it ends
// (also by an exception).
extern std::atomic<std::int32_t> gf_runningScanTasks;

// How many times gf_waitForTaskSlot found no free slot and slept: how often the throttle held a scan.
extern std::atomic<std::uint64_t> gf_taskSlotWaits;

// Sets the limit to the processor's hardware thread count (at least 1) and the counters to 0.
void gf_resetScanTasks();
// Sets the limit (values below 1 become 1).
void gf_setScanTaskLimit(std::int32_t limit);
std::int32_t gf_scanTaskLimit();

// Blocks while the running count is at or above the limit, sleeping 10 microseconds between tests.
void gf_waitForTaskSlot();
