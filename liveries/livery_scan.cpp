#include "liveries/livery_scan.h"

#include "liveries/livery_catalogue.h"
#include "liveries/regcodes.h"
#include "liveries/scan_threads.h"

#include "core/generations.h"
#include "core/hooks.h"
#include "core/log.h"
#include "core/parallel.h"
#include "core/program_paths.h"
#include "core/run_control.h"
#include "core/scan_tasks.h"
#include "core/settings.h"
#include "core/strings.h"
#include "core/textfile.h"
#include "core/version.h"

#include "platform/os/folders.h"

#include "refdata/data_files.h"
#include "refdata/type_lookups.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <deque>
#include <exception>
#include <list>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <unordered_map>
#include <utility>

namespace fs = std::filesystem;

std::chrono::milliseconds liveryTaskWait{10'000};
std::function<void(const fs::path&)> liveryTaskProbe;
std::function<FileScan(const ScanContext&, std::int32_t, const fs::path&)> liveryTaskBody;

namespace {

bool lf_contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

// ---- AI package detection ----

void lf_findPackage(const fs::path& root, std::vector<fs::path>& folders,
                    std::initializer_list<std::string_view> markers, std::string_view packageName) {
    for (const fs::directory_entry& entry : fs::directory_iterator(root)) {
        const std::string name = entry.path().filename().string();
        const bool marked = std::any_of(markers.begin(), markers.end(),
                                        [&](std::string_view marker) { return lf_contains(name, marker); });
        if (!marked || lf_contains(name, "_CVT_")) continue;
        gf_logAndFlush(
            fmt::format("Automatic {} scan found folder: '{}'", packageName, entry.path().string()));
        folders.push_back(entry.path());
        return;
    }
}

// ---- the walk ----

constexpr std::array<std::string_view, 9> skipWords{
    "airport", "lvfr", "mkstudios", "simwings", "fsdreamteam", "navigraph", "flytampa", "inibuilds", "_CVT_"};
constexpr std::size_t longPathBytes = 250;

bool lf_hasSkipWord(std::string_view path) {
    return std::any_of(skipWords.begin(), skipWords.end(),
                       [&](std::string_view word) { return lf_contains(path, word); });
}

bool lf_equalsNoCase(std::string_view text, std::string_view lower) {
    if (text.size() != lower.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = (text[i] >= 'A' && text[i] <= 'Z') ? static_cast<char>(text[i] - 'A' + 'a') : text[i];
        if (c != lower[i]) return false;
    }
    return true;
}

// Stem "aircraft" and extension ".cfg", in any letter case.
bool lf_isAircraftCfgName(std::string_view name) {
    return lf_equalsNoCase(name, "aircraft.cfg");
}

// What the driver needs of a livery besides the record, made on the task's thread.
struct LiveryExtras {
    LiverySortKey sortKey;
    std::string_view title; // the record's, in its list node
    std::size_t titleHash = 0;
    bool registration = false; // the livery has one
    bool taken = false;        // the title was the livery's to take (set by the merge)
};

// A task's result as the driver takes it: the liveries as a list of their own (made on the task's
// thread, spliced onto scannedLiveries by the driver) and their extras, in section order. The task's
// candidates are given back to the allocator on the task's thread, whose next files reuse that memory
// (memory touched for the first time costs more than the copy).
struct FileResult {
    FileScan scan; // without its candidates: their records are in `liveries`, their headers in `headers`
    std::list<LiveryData> liveries;
    std::vector<LiveryExtras> extras;
    std::vector<std::string> headers;
};
using FileResults = std::vector<std::unique_ptr<FileResult>>;

std::unique_ptr<FileResult> lf_resultOf(FileScan&& scan) {
    auto result = std::make_unique<FileResult>();
    result->extras.reserve(scan.liveries.size());
    result->headers.reserve(scan.liveries.size());
    for (LiveryCandidate& candidate : scan.liveries) {
        const LiveryData& livery = result->liveries.emplace_back(std::move(candidate.livery));
        LiverySortKey key = gf_sortKeyOf(livery);
        key.lineBytes = gf_liveryLineBytes(livery);
        result->extras.push_back(LiveryExtras{key, livery.title, std::hash<std::string_view>{}(livery.title),
                                              !livery.atcid.empty()});
        result->headers.push_back(std::move(candidate.header));
    }
    scan.liveries = {};
    result->scan = std::move(scan);
    return result;
}

// One task's result, shared by the task and the driver (a task given up goes on with its own share).
// Lighter than a promise and its future: the task hands its result over under a mutex and wakes the
// driver only when it waits.
class TaskResult {
public:
    void set(std::unique_ptr<FileResult> value, std::exception_ptr error) {
        std::lock_guard lock(mutex_);
        value_ = std::move(value);
        error_ = std::move(error);
        ready_ = true;
        if (waiting_) readyChanged_.notify_one();
    }
    // True once the result is there (at most `wait` later).
    bool waitFor(std::chrono::steady_clock::duration wait) {
        std::unique_lock lock(mutex_);
        waiting_ = true;
        const bool ready = readyChanged_.wait_for(lock, wait, [this] { return ready_; });
        waiting_ = false;
        return ready;
    }
    // The result, or the task's exception thrown; once the result is there.
    std::unique_ptr<FileResult> take() {
        std::lock_guard lock(mutex_);
        if (error_) std::rethrow_exception(error_);
        return std::move(value_);
    }

private:
    std::mutex mutex_;
    std::condition_variable readyChanged_;
    bool ready_ = false;
    bool waiting_ = false;
    std::unique_ptr<FileResult> value_;
    std::exception_ptr error_;
};

// The work of one file, as a task runs it.
std::unique_ptr<FileResult> lf_scanFile(const ScanContext& context, std::int32_t rank, const fs::path& file,
                                        bool ivao) {
    if (context.taskBody) return lf_resultOf(context.taskBody(context, rank, file));
    return lf_resultOf(ivao ? lf_searchLiveriesinIVAOFile(context, rank, file)
                            : lf_searchLiveriesinFile(context, rank, file));
}

// Starts one file task in the slot taken for it; the running-task counter counts it until it ends
// (given back here when the task cannot be started).
std::shared_ptr<TaskResult> lf_startTask(const std::shared_ptr<const ScanContext>& context, std::int32_t rank,
                                         std::string path, bool ivao) {
    try {
        auto result = std::make_shared<TaskResult>();
        gf_postScanTask([context, rank, path = std::move(path), ivao, result] {
            struct TaskEnd {
                ~TaskEnd() { gf_endScanTask(); }
            } taskEnd;
            try {
                result->set(lf_scanFile(*context, rank, fs::path(path), ivao), nullptr);
            } catch (...) {
                result->set(nullptr, std::current_exception());
            }
        });
        return result;
    } catch (...) {
        gf_endScanTask();
        throw;
    }
}

std::size_t lf_shardOf(std::size_t titleHash) {
    // Bits that the tables' slots do not use (they start from the low ones).
    return (titleHash >> 40) % LiveryMerge::titleShards;
}

// Takes the results of one folder's tasks into the scan, in walk order: a title goes to the first
// section that offers it; a later one leaves its line in the incomplete sections. The titles are looked
// up shard by shard on several threads (each shard's in walk order), then the records are taken on
// this thread.
void lf_mergeFileResults(FileResults& results, LiveryMerge& merge) {
    std::size_t added = 0;
    for (const std::unique_ptr<FileResult>& result : results)
        added += result->extras.size();
    if (added == 0) {
        for (const std::unique_ptr<FileResult>& result : results)
            merge.reports.append(std::move(result->scan.reports));
        return;
    }
    lf_forEachOnScanThreads(LiveryMerge::titleShards, LiveryMerge::titleShards, [&](std::size_t shard) {
        TakenTitles& titles = merge.titles[shard];
        titles.reserve(added / LiveryMerge::titleShards + added / 32 + 16);
        for (const std::unique_ptr<FileResult>& result : results)
            for (LiveryExtras& extras : result->extras)
                if (lf_shardOf(extras.titleHash) == shard)
                    extras.taken = titles.take(extras.title, extras.titleHash);
    });
    // Per result, on several threads: the records whose titles were taken already out of its list (and
    // their report lines), the records kept counted; then the keys of the kept records, each result's
    // at its place in walk order.
    struct Kept {
        std::size_t liveries = 0;
        std::size_t withRegistration = 0;
        std::vector<std::string> duplicateLines;
    };
    std::vector<Kept> kept(results.size());
    constexpr std::size_t perPart = 64;
    const std::size_t parts = (results.size() + perPart - 1) / perPart;
    const auto partOf = [&](std::size_t part) {
        return std::pair{part * perPart, std::min(results.size(), (part + 1) * perPart)};
    };
    lf_forEachOnScanThreads(parts, gf_hardwareThreads(), [&](std::size_t part) {
        const auto [first, last] = partOf(part);
        for (std::size_t r = first; r < last; ++r) {
            FileResult& result = *results[r];
            std::size_t index = 0;
            for (auto livery = result.liveries.begin(); livery != result.liveries.end(); ++index) {
                const LiveryExtras& extras = result.extras[index];
                if (!extras.taken) {
                    kept[r].duplicateLines.push_back(
                        result.scan.duplicateLine(result.headers[index], livery->title));
                    livery = result.liveries.erase(livery);
                    continue;
                }
                ++kept[r].liveries;
                if (extras.registration) ++kept[r].withRegistration;
                ++livery;
            }
        }
    });
    std::vector<std::size_t> firstKey(results.size() + 1);
    firstKey[0] = merge.sortKeys.size();
    for (std::size_t r = 0; r < results.size(); ++r)
        firstKey[r + 1] = firstKey[r] + kept[r].liveries;
    LiverySortKeys keys(firstKey.back());
    std::copy(merge.sortKeys.data(), merge.sortKeys.data() + merge.sortKeys.size(), keys.data());
    // The keys are filled in a few parts of about the same size, each sorted by the thread that filled
    // it while its keys are at hand; the sort after the walk merges the runs.
    const std::size_t base = firstKey.front();
    const std::size_t total = firstKey.back() - base;
    const std::size_t runs = std::clamp<std::size_t>(total / 2048, 1, gf_hardwareThreads());
    std::vector<std::size_t> runStart(runs + 1, results.size());
    runStart[0] = 0;
    for (std::size_t run = 1; run < runs; ++run)
        runStart[run] = static_cast<std::size_t>(
            std::lower_bound(firstKey.begin(), firstKey.end() - 1, base + total * run / runs) -
            firstKey.begin());
    lf_forEachOnScanThreads(runs, runs, [&](std::size_t run) {
        for (std::size_t r = runStart[run]; r < runStart[run + 1]; ++r) {
            FileResult& result = *results[r];
            LiverySortKey* key = keys.data() + firstKey[r];
            auto livery = result.liveries.begin();
            for (const LiveryExtras& extras : result.extras) {
                if (!extras.taken) continue;
                *key = extras.sortKey;
                key->livery = livery++; // stays valid through the splice
                ++key;
            }
        }
        const std::size_t first = firstKey[runStart[run]];
        gf_sortLiveryKeyRun(keys.keys().subspan(first, firstKey[runStart[run + 1]] - first));
    });
    for (std::size_t run = 1; run <= runs; ++run)
        if (firstKey[runStart[run]] > merge.keyRuns.back()) merge.keyRuns.push_back(firstKey[runStart[run]]);
    merge.sortKeys = std::move(keys);
    for (std::size_t r = 0; r < results.size(); ++r) {
        FileResult& result = *results[r];
        merge.withRegistration += kept[r].withRegistration;
        std::vector<std::string>& lines = kept[r].duplicateLines;
        merge.reports.incompleteSections.insert(merge.reports.incompleteSections.end(),
                                                std::make_move_iterator(lines.begin()),
                                                std::make_move_iterator(lines.end()));
        scannedLiveries.splice(scannedLiveries.end(), result.liveries);
        merge.reports.append(std::move(result.scan.reports));
    }
}

// A file as the listing hands it to the walk: its result comes from the listing thread that found it
// (which reads and decodes it once the folder is listed), or from a task on the scan threads.
struct StartedFile final : StartedTask {
    std::shared_ptr<TaskResult> task;
};

// Waits for one file's result and keeps it for the merge. A stop ends the wait (the scan's results are
// not used then).
void lf_collect(StartedFile& file, FileResults& results) {
    TaskResult& task = *file.task;
    const auto deadline = std::chrono::steady_clock::now() + liveryTaskWait;
    for (;;) {
        const auto left = deadline - std::chrono::steady_clock::now();
        const auto slice = std::min<std::chrono::steady_clock::duration>(left, std::chrono::milliseconds(10));
        if (task.waitFor(slice)) break;
        if (runControl.stopping()) return;
        if (std::chrono::steady_clock::now() >= deadline)
            throw std::runtime_error("Future wait timed out after 10 seconds");
    }
    results.push_back(task.take());
}

// Tens of thousands of blocks are given back to the allocator on a scan thread: the worker goes on
// with the start-up meanwhile.
template <class Doomed> void lf_freeLater(Doomed&& doomed) {
    auto gone = std::make_shared<std::decay_t<Doomed>>(std::forward<Doomed>(doomed));
    try {
        gf_postScanTask([gone = std::move(gone)] {});
    } catch (...) {
        // no thread: freed here
    }
}

// ---- files ----

fs::path lf_errorsPath(std::string_view name) {
    return os::inWorkingFolder(outputErrorsFolder / name);
}
fs::path lf_infoPath(std::string_view name) {
    return os::inWorkingFolder(outputInfoFolder / name);
}

void lf_removePreviousScanFiles() {
    // LiveriesScanned.xml stays: it is replaced only by a complete scan, so that a scan cut short or
    // failing leaves the liveries of the last good one.
    const std::array<fs::path, 9> files{lf_infoPath("AircraftCfgWithNoFltsimSection.txt"),
                                        lf_infoPath("AirlineModelConversions.txt"),
                                        lf_errorsPath("InlineRegcodes.txt"),
                                        lf_errorsPath("InvalidAirlineCodes.txt"),
                                        lf_errorsPath("InvalidAircraftCodes.txt"),
                                        lf_errorsPath("Fixes.txt"),
                                        lf_errorsPath("InvalidAircraftCfgFiles.txt"),
                                        lf_errorsPath("IncompleFltsimSections.txt"),
                                        os::inWorkingFolder(outputErrorsFolder)};
    try {
        for (const fs::path& file : files)
            fs::remove(file);
    } catch (const std::exception& e) {
        gf_log(fmt::format("problems with removing previous files: {}", e.what()));
    }
}

void lf_readDontUseTitlesForScan(ScanContext& context) {
    try {
        const fs::path plain = refdataInputFolder() / "AIG-regcodes.xml";
        if (gf_streamDecrypt(refdataInputFolder() / "AIG-regcodes.enc", plain)) {
            gf_readAigDontUseTitles();
            gf_removeIfExists(plain);
        }
        if (gf_countDirectoryEntries(refdataInputFolder() / "my_regcodes") > 0) gf_readUserDontUseTitles();
    } catch (const std::exception& e) {
        gf_logError(fmt::format("exception: {}", e.what()));
    }
    context.dontUseTitles.insert(dontUseTitles.begin(), dontUseTitles.end());
}

template <class Lines>
void lf_writeReport(const Lines& lines, const fs::path& path, std::string_view summary) {
    fs::create_directories(path.parent_path());
    (void)gf_writeLines(lines, path); // a file that cannot be written is skipped
    const std::size_t count = lines.size();
    const std::string_view plural = gf_plural(std::uint64_t{count});
    const std::string pathText = path.string();
    gf_log(fmt::vformat(summary, fmt::make_format_args(count, plural, pathText)));
}

void lf_writeFixesFile(const std::vector<std::string>& lines) {
    const fs::path path = lf_errorsPath("Fixes.txt");
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    if (ec) {
        gf_log(fmt::format("Error writing file {}: {}", path.string(), ec.message()));
        return;
    }
    (void)gf_writeLines(lines, path);
    gf_log(fmt::format("{} code fixes, see {}", lines.size(), path.string()));
}

void lf_sort(std::vector<std::string>& lines, bool unique = false) {
    std::sort(lines.begin(), lines.end());
    if (unique) lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
}

void lf_reportScanProblems(ScanReports& reports, const std::vector<std::string>& conversions) {
    const bool noErrors = reports.invalidAirlineLines.empty() && reports.invalidAircraftLines.empty() &&
                          reports.fixLines.empty() && reports.invalidCfgFiles.empty() &&
                          reports.incompleteSections.empty();
    gf_log(noErrors ? "\nNo errors" : "\nErrors:");
    if (!reports.invalidAirlineLines.empty()) {
        lf_sort(reports.invalidAirlineLines);
        lf_writeReport(reports.invalidAirlineLines, lf_errorsPath("InvalidAirlineCodes.txt"),
                       "{0} invalid airline code{1}, see {2}");
    }
    if (!reports.invalidAircraftLines.empty()) {
        lf_sort(reports.invalidAircraftLines);
        lf_writeReport(reports.invalidAircraftLines, lf_errorsPath("InvalidAircraftCodes.txt"),
                       "{0} invalid model code{1}, see {2}");
    }
    if (!reports.fixLines.empty()) lf_writeFixesFile(reports.fixLines);
    if (!reports.invalidCfgFiles.empty()) {
        lf_sort(reports.invalidCfgFiles);
        lf_writeReport(reports.invalidCfgFiles, lf_errorsPath("InvalidAircraftCfgFiles.txt"),
                       "{0} invalid aircraft.cfg files, see {2}");
    }
    if (!reports.incompleteSections.empty()) {
        lf_sort(reports.incompleteSections, true);
        lf_writeReport(reports.incompleteSections, lf_errorsPath("IncompleFltsimSections.txt"),
                       "{0} incomplete [fltsim.x] sections, see {2}");
    }
    gf_log("\nInformation:");
    if (!reports.noFltsimFiles.empty()) {
        lf_sort(reports.noFltsimFiles);
        lf_writeReport(reports.noFltsimFiles, lf_infoPath("AircraftCfgWithNoFltsimSection.txt"),
                       "{0} empty aircraft.cfg files, see {2}");
    }
    if (!conversions.empty())
        lf_writeReport(conversions, lf_infoPath("AirlineModelConversions.txt"),
                       "{0} liveries updated with real live data from dbase, see {2}");
}

void lf_showLiveryCount(std::uint64_t count) {
    if (const auto& show = gf_liveryHooks().showLiveryCount) show(count);
}

void lf_call(const std::function<void()>& hook) {
    if (hook) hook();
}

} // namespace

// ---- AI package detection ----

void lf_findAigFolders(const fs::path& root, std::vector<fs::path>& folders) {
    lf_findPackage(root, folders, {"aig-aitraffic-oci"}, "AIG");
}
void lf_findFsltlFolders(const fs::path& root, std::vector<fs::path>& folders) {
    lf_findPackage(root, folders, {"fsltl-traffic-base"}, "FSLTL");
}
void lf_findJfFolders(const fs::path& root, std::vector<fs::path>& folders) {
    lf_findPackage(root, folders, {"justflight-aircraft-traffic-fleet", "justflight-fstraffic-module"}, "JF");
}
void lf_findMtlFolders(const fs::path& root, std::vector<fs::path>& folders) {
    lf_findPackage(root, folders, {"IVAO_MTL"}, "IVAO_MTL");
}
void lf_findUserAiTrafficFolders(const fs::path& root, std::vector<fs::path>& folders) {
    lf_findPackage(root, folders, {"user-aitraffic"}, "user-aitraffic");
}

std::vector<AiPackageScanner> gf_aiPackageScannersOf(std::string_view selection) {
    static const std::unordered_map<std::string_view, AiPackageScanner> byName{{"AIG", lf_findAigFolders},
                                                                               {"FSLTL", lf_findFsltlFolders},
                                                                               {"JF", lf_findJfFolders},
                                                                               {"MTL", lf_findMtlFolders}};
    std::vector<AiPackageScanner> scanners;
    std::size_t start = 0;
    while (start <= selection.size()) {
        std::size_t end = selection.find(", ", start);
        if (end == std::string_view::npos) end = selection.size();
        if (const auto found = byName.find(selection.substr(start, end - start)); found != byName.end())
            scanners.push_back(found->second);
        start = end + 2;
    }
    return scanners;
}

void lf_findAiPackageFolders(const fs::path& root, std::vector<fs::path>& folders) {
    const auto index = AI_PACKAGE_SELECTOR.selectedIndex();
    if (!index) throw std::runtime_error(fmt::format("{} not set", AI_PACKAGE_SELECTOR.name));
    for (const AiPackageScanner scanner : gf_aiPackageScannersOf(AI_PACKAGE_SELECTOR.choices.at(*index)))
        scanner(root, folders);
    lf_findUserAiTrafficFolders(root, folders);
}

void lf_findManualFolders(std::vector<fs::path>& folders) {
    for (const StringParameter* setting : lfolderParameters) {
        const std::string value = setting->value();
        if (value.empty()) continue;
        (void)utf8_to_wide(value); // refuses a value that is not UTF-8
        const fs::path path(value);
        if (!fs::exists(path)) {
            gf_logError(fmt::format("{}: '{}' does not exist", setting->name, value));
            throw orv::UserErrorException(
                243, fmt::format("the path pointed to by parameter '{}' does not exist, see Log.txt!",
                                 setting->name));
        }
        folders.push_back(path);
    }
}

// ---- the scan ----

fs::path gf_scanReportPath(std::string_view fileName) {
    const bool info =
        fileName == "AircraftCfgWithNoFltsimSection.txt" || fileName == "AirlineModelConversions.txt";
    return info ? lf_infoPath(fileName) : lf_errorsPath(fileName);
}

std::vector<std::string> lf_applyRegistrationData(std::list<LiveryData>& liveries) {
    std::vector<std::string> lines;
    for (LiveryData& livery : liveries) {
        if (livery.atcid.empty()) continue;
        const auto record = gf_findRegRecord(livery.atcid);
        if (!record) continue;
        if (record->cargo != livery.cargo) {
            lines.push_back(fmt::format("{:80} {} cargo {} => {}", livery.title, livery.atcid, livery.cargo,
                                        record->cargo));
            livery.cargo = record->cargo;
        }
        // The operator stands for the airline only when it is an airline code (the data set also
        // gives operators by name).
        const std::string& airline = gf_isIcaoAirline(record->opr) ? record->opr : record->airl;
        if (!airline.empty() && airline != livery.airl) {
            lines.push_back(
                fmt::format("{:80} {} airl {} => {}", livery.title, livery.atcid, livery.airl, airline));
            livery.airl = airline;
        }
        if (!record->type.empty() && record->type != livery.type) {
            lines.push_back(fmt::format("{:80} {} model {} => {}", livery.title, livery.atcid, livery.type,
                                        record->type));
            livery.type = record->type;
        }
    }
    return lines;
}

void lf_keepBestRankedLiveries(std::list<LiveryData>& liveries) {
    if (liveries.empty()) return;
    // One folder (or one rank) has nothing to remove.
    const std::int32_t firstRank = liveries.front().priority;
    if (std::all_of(liveries.begin(), liveries.end(),
                    [firstRank](const LiveryData& livery) { return livery.priority == firstRank; }))
        return;
    struct PairHash {
        std::size_t operator()(const std::pair<std::string_view, std::string_view>& key) const noexcept {
            return std::hash<std::string_view>{}(key.first) * 31u + std::hash<std::string_view>{}(key.second);
        }
    };
    std::unordered_map<std::pair<std::string_view, std::string_view>, std::int32_t, PairHash> best;
    best.reserve(liveries.size());
    for (const LiveryData& livery : liveries) {
        const auto [slot, added] = best.try_emplace({livery.airl, livery.type}, livery.priority);
        if (!added) slot->second = std::min(slot->second, livery.priority);
    }
    // The keys view the liveries' texts: decide first, then remove.
    std::vector<bool> drop;
    drop.reserve(liveries.size());
    for (const LiveryData& livery : liveries)
        drop.push_back(livery.priority > best.at({livery.airl, livery.type}));
    best.clear();
    std::size_t index = 0;
    liveries.remove_if([&](const LiveryData&) { return drop[index++]; });
}

bool TakenTitles::take(std::string_view title, std::size_t hash) {
    if ((used_ + 1) * 2 > slots_.size()) grow(std::max<std::size_t>(1024, slots_.size() * 2));
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
        Slot& slot = slots_[at];
        if (slot.text == nullptr) {
            slot = Slot{title.data(), title.size(), hash};
            ++used_;
            return true;
        }
        if (slot.hash == hash && std::string_view(slot.text, slot.size) == title) return false;
    }
}

void TakenTitles::reserve(std::size_t more) {
    std::size_t size = std::max<std::size_t>(1024, slots_.size());
    while ((used_ + more) * 2 > size)
        size *= 2;
    if (size > slots_.size()) grow(size);
}

void TakenTitles::grow(std::size_t size) {
    const std::vector<Slot> old = std::exchange(slots_, std::vector<Slot>(size));
    const std::size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
        if (slot.text == nullptr) continue;
        std::size_t at = slot.hash & mask;
        while (slots_[at].text != nullptr)
            at = (at + 1) & mask;
        slots_[at] = slot;
    }
}

void lf_searchLiveriesinFolder(const std::shared_ptr<const ScanContext>& context, std::int32_t rank,
                               const fs::path& folder, LiveryMerge& merge) {
    // The folders are listed ahead on as many threads as tasks may run, and each file is read and
    // decoded by the listing thread that found it, right after its folder is listed (one open, no hand
    // over to another thread); the results are taken in the order of the walk, each waited for at most
    // liveryTaskWait. With a look at each file's start (tests), the files go to tasks on the scan
    // threads instead, started in the slots of the task limit.
    const auto limit = static_cast<std::size_t>(gf_scanTaskLimit());
    const bool inTasks = static_cast<bool>(context->beforeParse);
    std::deque<std::unique_ptr<StartedTask>> pending;
    FileResults results;
    // A skip word in an entry's path lies in the folder's path or in the entry's name (no word holds a
    // separator, and a folder below the listed one is entered only when its own path holds none): the
    // folder's path is looked at once.
    const bool folderSkips = lf_hasSkipWord(folder.native());
    gf_listFolderTreeStarting(
        folder, limit,
        [folderSkips](const ListedName& entry) {
            ListStep step;
            try {
                if (folderSkips || lf_hasSkipWord(entry.name) || entry.path.size() >= longPathBytes)
                    step.descend = false;
                if (!lf_isAircraftCfgName(entry.name)) return step;
                // A link is taken unless it leads to a folder.
                std::error_code statusError;
                step.take = entry.type == ListedName::Type::file ||
                            (entry.type != ListedName::Type::folder &&
                             !fs::is_directory(fs::path(entry.path), statusError));
            } catch (const std::exception& e) {
                gf_logError(fmt::format("liveries search in {} aborted, cause: {}",
                                        lf_pathToUtf8(fs::path(entry.path)), e.what()));
            }
            return step;
        },
        [&context, rank, inTasks](std::string_view path) -> std::unique_ptr<StartedTask> {
            try {
                const bool ivao = lf_contains(path, "ivao_x-csl") || lf_contains(path, "IVAO_MTL");
                auto started = std::make_unique<StartedFile>();
                if (!inTasks) {
                    if (runControl.stopping()) return nullptr;
                    started->task = std::make_shared<TaskResult>();
                    // Runs on the listing thread right after its folder is listed; a file that outlives
                    // its wait goes on by itself, with the scan's context and its result of its own.
                    started->afterListing = [context, rank, path = std::string(path), ivao,
                                             result = started->task] {
                        try {
                            result->set(lf_scanFile(*context, rank, fs::path(path), ivao), nullptr);
                        } catch (...) {
                            result->set(nullptr, std::current_exception());
                        }
                    };
                    return started;
                }
                if (!gf_claimTaskSlot()) return nullptr; // a stop
                if (runControl.stopping()) {
                    gf_endScanTask();
                    return nullptr;
                }
                started->task = lf_startTask(context, rank, std::string(path), ivao);
                return started;
            } catch (const std::exception& e) {
                gf_logError(fmt::format("liveries search in {} aborted, cause: {}",
                                        lf_pathToUtf8(fs::path(path)), e.what()));
            }
            return nullptr;
        },
        [&](std::string_view, std::unique_ptr<StartedTask> started) {
            if (runControl.stopping()) return false; // the results of this scan are not used
            if (!started) return true;
            pending.push_back(std::move(started));
            if (pending.size() > limit) {
                try {
                    lf_collect(static_cast<StartedFile&>(*pending.front()), results);
                } catch (const std::exception& e) {
                    gf_logError(fmt::format("liveries inner search aborted: {}", e.what()));
                }
                pending.pop_front();
            }
            return true;
        });
    for (const std::unique_ptr<StartedTask>& started : pending) {
        if (runControl.stopping()) break;
        try {
            lf_collect(static_cast<StartedFile&>(*started), results);
        } catch (const std::exception& e) {
            gf_logError(fmt::format("liveries search aborted, futs outer, {}", e.what()));
        }
    }
    if (!runControl.stopping()) lf_mergeFileResults(results, merge);
    merge.spent.push_back(std::make_shared<FileResults>(std::move(results)));
}

LiveryScanOutcome lf_scanLiveryFolders(const std::vector<fs::path>& folders) {
    scannedLiveries.clear();
    lf_removePreviousScanFiles();
    auto context = std::make_shared<ScanContext>();
    lf_readDontUseTitlesForScan(*context);
    dontUseTitles.clear();
    context->beforeParse = liveryTaskProbe;
    context->taskBody = liveryTaskBody;
    const std::shared_ptr<const ScanContext> shared = context;

    LiveryMerge merge;
    std::int32_t rank = 0;
    std::size_t foldersWithLiveries = 0;
    std::uint64_t total = 0;
    for (const fs::path& folder : folders) {
        if (folder.empty()) continue;
        if (!fs::exists(folder)) {
            gf_log(folder.string() + " does not exist, skipped!");
            continue;
        }
        if (!fs::is_directory(folder)) {
            gf_log(folder.string() + " is not a folder name, skipped!");
            continue;
        }
        rank = std::min(rank + 1, 10);
        if (runControl.stopping()) continue;
        const std::size_t before = scannedLiveries.size();
        lf_searchLiveriesinFolder(shared, rank, folder, merge);
        const std::uint64_t added = scannedLiveries.size() - before;
        const std::string foundIn = fmt::format("found in {}", folder.string());
        if (added == 0) {
            gf_log(fmt::format("No liveries {}", foundIn));
        } else {
            gf_log(fmt::format("{} liverie{} {}", added, gf_plural(added), foundIn));
            total += added;
            ++foldersWithLiveries;
        }
    }
    if (runControl.stopping()) {
        scannedLiveries.clear();
        gf_log("Livery scan cut short by a stop: nothing written, the previous LiveriesScanned.xml kept");
        return LiveryScanOutcome::stopped;
    }
    if (scannedLiveries.empty()) {
        lf_showLiveryCount(0);
        return LiveryScanOutcome::noLiveries;
    }
    if (folders.size() > 1) gf_log(fmt::format("{} in total", total));

    // The titles view the records, some of which the steps below remove.
    merge.titles = {};
    // Steps that cannot change anything are left out: no livery with a registration, or the liveries of
    // one folder only (all of one rank).
    const std::vector<std::string> conversions =
        merge.withRegistration > 0 ? lf_applyRegistrationData(scannedLiveries) : std::vector<std::string>{};
    if (LIG_PRIORITIZE.value && foldersWithLiveries > 1) lf_keepBestRankedLiveries(scannedLiveries);
    // The tasks' sort keys hold while no step above changed or removed a record.
    // Every title is in the list once (the merge saw to that), so no two liveries are equal: the sort
    // leaves no repeat to remove.
    // The file is written from the sorted keys: the records stay where they are (they are freed next).
    std::vector<LiverySortKey> remade;
    const std::span<LiverySortKey> keys =
        conversions.empty() && merge.sortKeys.size() == scannedLiveries.size()
            ? merge.sortKeys.keys()
            : std::span<LiverySortKey>(remade = gf_sortKeysOf(scannedLiveries));
    if (remade.empty())
        gf_mergeLiveryKeyRuns(keys, std::move(merge.keyRuns));
    else
        gf_sortLiveryKeys(keys);
    (void)lf_writeLiveriesInOrder(gf_liveriesScannedPath(), keys);
    lf_freeLater(std::pair{std::move(scannedLiveries), std::move(merge.spent)});
    scannedLiveries.clear();
    lf_reportScanProblems(merge.reports, conversions);
    gf_showMessage("", false);
    return LiveryScanOutcome::complete;
}

// ---- the scan entry ----

void gf_scanForLiveries() {
    const LiveryHooks& hooks = gf_liveryHooks();
    const bool automatic = LIG_AUTOMATIC.value;
    AI_PACKAGE_SELECTOR.enable(false);
    gf_showMessage(fmt::format("Scanning {}for liveries ...", LIG_PRIORITIZE.value ? "prioritized " : ""),
                   false);
    gf_log(fmt::format("\n++++++++++++++++++++++++ liveries scan {} starts ++++++++++++++++++++++++++++++++",
                       automatic ? "automatic" : "manual"));

    std::vector<fs::path> folders;
    folders.reserve(10);
    if (automatic) {
        const fs::path root = hooks.communityFolder ? hooks.communityFolder() : fs::path();
        if (!root.empty()) lf_findAiPackageFolders(root, folders);
    } else {
        lf_findManualFolders(folders);
    }

    if (folders.empty()) {
        if (automatic) {
            AI_PACKAGE_SELECTOR.enable(true);
            throw orv::UserErrorException(43,
                                          "Automatic scan has not found any AI packages, choose a different "
                                          "selection (or go to Manual mode, see Manual 5.2)");
        }
        lf_call(hooks.openManual);
        lf_call(hooks.openParametersFolder);
        throw orv::UserErrorException(
            48,
            fmt::format(
                "Exit {} first!   Then set one or more lfolder parameters to your liveries, see Manual 5.2",
                "Skyloom"));
    }

    switch (lf_scanLiveryFolders(folders)) {
    case LiveryScanOutcome::noLiveries:
        if (!automatic) throw orv::UserErrorException(53, "no liveries found");
        AI_PACKAGE_SELECTOR.enable(true);
        throw orv::UserErrorException(143,
                                      "Automatic scan has not found any liveries, choose a different "
                                      "selection, or switch off automatic and set lfolder parameter(-s)");
    case LiveryScanOutcome::stopped:
        // The box stays ticked: the next start-up scans again.
        AI_PACKAGE_SELECTOR.enable(true);
        gf_logAndFlush("\n++++++++++++++++++++++++ liveries scan stopped ++++++++++++++++++++++++++++++++\n");
        return;
    case LiveryScanOutcome::complete:
        break;
    }

    SCAN_LIVERIES.value = false;
    SCAN_LIVERIES.save();
    SCAN_LIVERIES.showValue();
    lf_call(hooks.repaintControls);
    AI_PACKAGE_SELECTOR.enable(true);
    lf_call(hooks.repaintCounts);
    gf_logAndFlush("\n++++++++++++++++++++++++ liveries scan ends ++++++++++++++++++++++++++++++++\n");
}

void gf_resetLiveryScanForTests() {
    liveryTaskWait = std::chrono::milliseconds(10'000);
    liveryTaskProbe = nullptr;
    liveryTaskBody = nullptr;
}
