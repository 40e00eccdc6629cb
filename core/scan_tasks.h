#pragma once
// The scans' shared ground: the throttle of the scan tasks (one counter of running tasks and its limit)
// and the walk of a folder tree.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>

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

// Blocks while the running count is at or above the limit, sleeping 10 microseconds between tests. A
// stop or a close of the run ends the wait at once (tasks stuck on a slow file system may never give
// their slot back): the caller tests runControl.stopping() afterwards and starts no task then.
void gf_waitForTaskSlot();

// What the walk does after the visitor has seen an entry.
enum class WalkStep {
    next,       // go on; a folder is entered
    skipFolder, // go on without entering this entry's folder
    stop,       // end the walk
};

// Walks the tree below `root` in the order of a recursive directory iteration and shows every entry to
// the visitor. Links to folders are followed (add-on packages are often linked into Community from
// another drive; on Windows these are junctions, which the system's walk follows), and every folder is
// entered once: a folder reached again, through a second link or a link loop, is passed over. A
// dangling link is an entry like any other. An error of the iteration ends the walk (or the walk behind
// one link) quietly.
void gf_walkFolderTree(const std::filesystem::path& root,
                       const std::function<WalkStep(const std::filesystem::directory_entry&)>& visit);
