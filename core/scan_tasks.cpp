#include "core/scan_tasks.h"

#include <algorithm>
#include <chrono>
#include <thread>

std::atomic<std::int32_t> gf_runningScanTasks{0};
std::atomic<std::uint64_t> gf_taskSlotWaits{0};

namespace {

std::atomic<std::int32_t> scanTaskLimit{1};

} // namespace

void gf_setScanTaskLimit(std::int32_t limit) {
    scanTaskLimit.store(std::max<std::int32_t>(1, limit));
}

std::int32_t gf_scanTaskLimit() {
    return scanTaskLimit.load();
}

void gf_resetScanTasks() {
    // hardware_concurrency() may report 0 when it cannot tell.
    gf_setScanTaskLimit(static_cast<std::int32_t>(std::min(std::thread::hardware_concurrency(), 4096u)));
    gf_runningScanTasks.store(0);
    gf_taskSlotWaits.store(0);
}

void gf_waitForTaskSlot() {
    while (gf_runningScanTasks.load() >= scanTaskLimit.load()) {
        gf_taskSlotWaits.fetch_add(1);
        std::this_thread::sleep_for(std::chrono::microseconds(10));
    }
}
