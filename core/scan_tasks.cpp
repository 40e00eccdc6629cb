#include "core/scan_tasks.h"

#include "core/run_control.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_set>
#include <vector>

namespace fs = std::filesystem;

std::atomic<std::int32_t> gf_runningScanTasks{0};
std::atomic<std::uint64_t> gf_taskSlotWaits{0};

namespace {

std::atomic<std::int32_t> scanTaskLimit{1};

// The real paths of the folders a walk has entered.
using EnteredFolders = std::unordered_set<fs::path::string_type>;

fs::path lf_realPath(const fs::path& path) {
    std::error_code ec;
    fs::path real = fs::canonical(path, ec);
    if (ec) real = fs::absolute(path, ec).lexically_normal();
    return real;
}

// One recursive iteration; a link to a folder is walked by a nested call right after its entry, as the
// iteration would enter a folder. Returns false when the visitor ended the walk.
bool lf_walk(const fs::path& folder, const fs::path& realFolder, EnteredFolders& entered,
             const std::function<WalkStep(const fs::directory_entry&)>& visit) {
    // The real path of the folder whose entries stand at each depth: an entry that is no link lies in
    // its parent's real folder, so only links need a look-up.
    std::vector<fs::path> realAt{realFolder};
    std::error_code ec;
    fs::recursive_directory_iterator it(folder, fs::directory_options::none, ec);
    for (const fs::recursive_directory_iterator end; !ec && it != end; it.increment(ec)) {
        const fs::directory_entry& entry = *it;
        const auto depth = static_cast<std::size_t>(it.depth());
        const WalkStep step = visit(entry);
        if (step == WalkStep::stop) return false;
        if (step == WalkStep::skipFolder) {
            it.disable_recursion_pending();
            continue;
        }
        std::error_code typeError;
        if (entry.is_symlink(typeError)) {
            if (!fs::is_directory(entry.status(typeError))) continue; // a file or a dangling link
            const fs::path real = lf_realPath(entry.path());
            if (entered.insert(real.native()).second && !lf_walk(entry.path(), real, entered, visit))
                return false;
            continue;
        }
        if (!entry.is_directory(typeError)) continue;
        fs::path real = realAt[std::min(depth, realAt.size() - 1)] / entry.path().filename();
        if (!entered.insert(real.native()).second) {
            it.disable_recursion_pending();
            continue;
        }
        realAt.resize(depth + 1);
        realAt.push_back(std::move(real));
    }
    return true;
}

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
    while (gf_runningScanTasks.load() >= scanTaskLimit.load() && !runControl.stopping()) {
        gf_taskSlotWaits.fetch_add(1);
        std::this_thread::sleep_for(std::chrono::microseconds(10));
    }
}

void gf_walkFolderTree(const fs::path& root,
                       const std::function<WalkStep(const fs::directory_entry&)>& visit) {
    const fs::path real = lf_realPath(root);
    EnteredFolders entered{real.native()};
    lf_walk(root, real, entered, visit);
}
