#pragma once
// The livery scan: which folders hold the user's AI aircraft (the AI packages of the Community folder,
// or the folders of the lfolder settings), the walk of those folders with one parser task per
// aircraft.cfg, LiveriesScanned.xml and the report files, and the scan entry of the worker's start-up.

#include "liveries/livery_files.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// ---- AI package detection ----

// One kind of package: appends the first root entry whose name holds one of its markers (and not
// "_CVT_") to `folders`.
using AiPackageScanner = void (*)(const std::filesystem::path& root,
                                  std::vector<std::filesystem::path>& folders);
void lf_findAigFolders(const std::filesystem::path& root, std::vector<std::filesystem::path>& folders);
void lf_findFsltlFolders(const std::filesystem::path& root, std::vector<std::filesystem::path>& folders);
void lf_findJfFolders(const std::filesystem::path& root, std::vector<std::filesystem::path>& folders);
void lf_findMtlFolders(const std::filesystem::path& root, std::vector<std::filesystem::path>& folders);
void lf_findUserAiTrafficFolders(const std::filesystem::path& root,
                                 std::vector<std::filesystem::path>& folders);

// The scanners of an AI_PACKAGE_SELECTOR entry ("JF, AIG" -> JF, AIG), in its order. Unknown names
// give no scanner.
std::vector<AiPackageScanner> gf_aiPackageScannersOf(std::string_view selection);

// Automatic mode: the scanners of the selected entry, then the user-aitraffic scanner. Throws
// std::runtime_error "AI_PACKAGE_SELECTOR not set" when the value is none of the choices, and the
// directory iteration's filesystem_error when the root cannot be listed.
void lf_findAiPackageFolders(const std::filesystem::path& root, std::vector<std::filesystem::path>& folders);
// Manual mode: the non-empty lfolder0..lfolder9 values in order; orv::UserErrorException 243 for one
// that does not exist.
void lf_findManualFolders(std::vector<std::filesystem::path>& folders);

// ---- the scan ----

enum class LiveryScanOutcome {
    complete,   // LiveriesScanned.xml and the reports are written
    noLiveries, // not one livery was found; nothing written
    stopped,    // a stop or close cut the scan short; nothing written, the previous file kept
};

// How long the driver waits for one task's result before it gives the task up (10 seconds; tests
// shorten it). A task given up goes on running by itself; its result is dropped.
extern std::chrono::milliseconds liveryTaskWait;

// Tests: the function every task runs first (to hold one back). Empty in the program.
extern std::function<void(const std::filesystem::path&)> liveryTaskProbe;
// Benchmarks: a task body that runs instead of the parsers. Empty in the program.
extern std::function<FileScan(const ScanContext&, std::int32_t priority, const std::filesystem::path&)>
    liveryTaskBody;

// Scans the folders in order (rank 1 for the first existing folder, up to 10) into LiveriesScanned.xml
// and the report files.
LiveryScanOutcome lf_scanLiveryFolders(const std::vector<std::filesystem::path>& folders);

// The titles that a scan has taken: views of the records' titles, each found by a hash that the task
// made (std::hash of the text). One table, no allocation per title.
class TakenTitles {
public:
    // True when the title was not taken yet: it is taken now (the text must stay where it is).
    bool take(std::string_view title, std::size_t hash);
    // Room for `more` titles besides those taken, made at once.
    void reserve(std::size_t more);

private:
    struct Slot {
        const char* text = nullptr; // nullptr: free
        std::size_t size = 0;
        std::size_t hash = 0;
    };
    void grow(std::size_t size);
    std::vector<Slot> slots_;
    std::size_t used_ = 0;
};

// What a scan keeps across its folders while it takes the tasks' results in walk order.
struct LiveryMerge {
    // Of `scannedLiveries`: a title belongs to the first section that offers it. The titles are kept in
    // shards by their hash, so that the shards are looked up on several threads at once.
    static constexpr std::size_t titleShards = 8;
    std::array<TakenTitles, titleShards> titles;
    ScanReports reports;
    std::size_t withRegistration = 0;    // liveries taken that have a registration
    LiverySortKeys sortKeys;             // of the liveries taken, as their tasks made them
    std::vector<std::size_t> keyRuns{0}; // the ends of the sorted runs of `sortKeys`, after a 0
    // What is left of the tasks' results once merged: freed with the records at the end of the scan,
    // so that the freeing does not compete with the steps after the walk.
    std::vector<std::shared_ptr<void>> spent;
};

// The walk of one folder. Liveries go to `scannedLiveries`, their titles to the merge's, report lines
// to its reports, all in walk order.
void lf_searchLiveriesinFolder(const std::shared_ptr<const ScanContext>& context, std::int32_t rank,
                               const std::filesystem::path& folder, LiveryMerge& merge);

// Registration data from the type database: cargo flag, airline and type of the liveries with a known
// registration; one line per change.
std::vector<std::string> lf_applyRegistrationData(std::list<LiveryData>& liveries);
// Keeps, for each airline and type, only the liveries of the best-ranked folder that has the pair.
void lf_keepBestRankedLiveries(std::list<LiveryData>& liveries);

// The report files (names in the output folder of the working folder).
std::filesystem::path gf_scanReportPath(std::string_view fileName);

// The worker's start-up step while SCAN_LIVERIES is ticked: finds the folders, scans them and, when the
// scan is complete, unticks and saves SCAN_LIVERIES. Throws orv::UserErrorException 43 (no AI package
// found), 48 (no manual folder set), 53 (manual: no livery), 143 (automatic: no livery), and the
// errors of the folder search.
void gf_scanForLiveries();

// Tests only: the wait and the probe back to the program's.
void gf_resetLiveryScanForTests();
