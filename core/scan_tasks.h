#pragma once
// The scans' shared ground: the throttle of the scan tasks (one counter of running tasks and its limit),
// the threads that run the tasks, the walk of a folder tree (ordered, or with the folders listed ahead
// on a few threads, which may also start the tasks of the files they find), and the read of one file
// for a task.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

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

// Blocks while the running count is at or above the limit. A task that ends through gf_endScanTask
// wakes the wait at once; the count is also tested again every millisecond. A stop or a close of the
// run ends the wait (tasks stuck on a slow file system may never give their slot back): the caller
// tests runControl.stopping() afterwards and starts no task then.
void gf_waitForTaskSlot();
// As gf_waitForTaskSlot, for starters on several threads: waits for a free slot and takes it (adds 1
// to the running count) in one step, so that the count never passes the limit. False, with nothing
// taken, when a stop or a close of the run ended the wait.
bool gf_claimTaskSlot();
// The end of a task: takes 1 off the running count and wakes one starter waiting for a slot.
void gf_endScanTask();

// Runs a scan task on an idle thread of the scans' threads, or on a new one when every thread is busy.
// The threads are kept for the process (a scan starts thousands of tasks; a thread each would spend
// more time being created than working) and never destroyed: a task that outlived its wait may still
// run on one when the process ends. Throws when no thread could be started (the job is then not run).
void gf_postScanTask(std::function<void()> job);

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

// What the listing does with one entry.
struct ListStep {
    bool descend = true; // a folder (or a link to one) is entered; false: as WalkStep::skipFolder
    bool take = false;   // the entry is handed to `take`
};

// Hands the entries that `look` takes to `take`, on the calling thread, in the order in which
// gf_walkFolderTree would show them (the same links followed, every folder entered once, an error of
// the iteration ending the walk or the walk behind one link), while up to `threads` of the scans' kept
// threads list the folders ahead. `look` runs on those threads, for every entry of every folder listed, and
// may also see entries that the ordered walk then passes over (those of a folder already entered through an
// earlier link): it only looks at the entry. `take` returning false ends the walk; a stop or a close of the
// run ends the listing and with it the walk.
void gf_listFolderTree(const std::filesystem::path& root, std::size_t threads,
                       const std::function<ListStep(const std::filesystem::directory_entry&)>& look,
                       const std::function<bool(const std::filesystem::path&)>& take);

// An entry as the listing of gf_listFolderTreeStarting shows it: the full path and the type that the
// folder's listing gives (most file systems tell it without a further query of the entry).
struct ListedName {
    enum class Type : std::uint8_t {
        file,   // a regular file
        folder, // a folder (not a link)
        link,   // a symbolic link, to whatever it points to (or to nothing)
        other,  // anything else: a pipe, a device, an entry whose type could not be found
    };
    std::string_view path; // the folder's path and the name, joined by one separator
    std::string_view name; // the entry's name (what follows the last separator)
    Type type = Type::other;
};

// What `start` gives for an entry: owned by the listing until the walk hands it to `take`.
struct StartedTask {
    virtual ~StartedTask() = default;
    // Work that the listing thread runs once the entry's folder is listed (before it lists another),
    // so that the walk can take the entry meanwhile and wait for the work as it chooses. It must own
    // or share what it touches: the walk, and the whole listing, may be over before it ends.
    std::function<void()> afterListing;
};

// As gf_listFolderTree (the same order, links, errors and stop), with two differences: the folders are
// read with the system's directory calls and `look` sees each entry as a ListedName (no path object is
// built for an entry); and `start` runs on the listing threads for every entry that `look` takes, as
// soon as its folder is listed, so that the entries' tasks run ahead of the walk's order. `take` gets,
// in the walk's order, the path and what `start` returned for it (nothing when start returned nothing
// or threw). An entry of a folder that the ordered walk passes over (reached again through a link) may
// be started and is then never taken: what start returned for it is destroyed with the listing.
void gf_listFolderTreeStarting(
    const std::filesystem::path& root, std::size_t threads,
    const std::function<ListStep(const ListedName&)>& look,
    const std::function<std::unique_ptr<StartedTask>(std::string_view path)>& start,
    const std::function<bool(std::string_view path, std::unique_ptr<StartedTask> started)>& take);

// The read of one file by a scan task: one open, one status query of the open file, the bytes.
enum class ScanFileRead {
    read,       // `bytes` holds the whole file
    missing,    // no such file (a dangling link too)
    notRegular, // a folder, a pipe, a device, ...
    tooLarge,   // larger than the limit
    failed,     // could not be opened or read for another reason (`error` tells it)
};
// Reads the file at `path` (links followed) whole into `bytes`, when it is a regular file of at most
// `maxBytes` bytes. Never blocks on a pipe.
ScanFileRead gf_readScanFile(const char* path, std::uintmax_t maxBytes, std::string& bytes,
                             std::error_code* error = nullptr);
